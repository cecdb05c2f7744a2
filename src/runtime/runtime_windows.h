// The Windows calls behind the runtime search, as tables for the neutral search.
#pragma once

#include "runtime/runtime_search.h"

namespace tesmo {

extern const InstallationSources kWindowsInstallation;
extern const RegistrySources kWindowsRegistry;

// The search over the Windows tables.
SearchResult findJvm(WideString& javaExe, WideString& foundText);

// Runs "<short path> -version" and parses what it printed on its error stream.
ProbeResult probeJavaVersion(const WideString& javaExe, WideString& versionOut,
                             unsigned long timeoutMs = kVersionProbeTimeoutMs);

void preparePackedRuntime(const WideString& runtimeHome);

}  // namespace tesmo
