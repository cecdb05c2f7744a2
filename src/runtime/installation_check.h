// Judging one Java installation: which executable represents a home, and whether that
// executable is an acceptable runtime (exists, known version within the limits, no
// refused prerelease, javaw.exe beside it for windowed launchers).
#pragma once

#include <cstdint>

#include "platform/text.h"

namespace tesmo {

// A version probe that runs longer than this is ended and refused.
constexpr unsigned long kVersionProbeTimeoutMs = 60000;

// home\jre\bin\java.exe for a development kit's home, else home\bin\java.exe. False only
// when a development kit is required (key 131) and the home is none.
bool javaExeForHome(const WideString& home, WideString& javaExe);

// The whole check of one executable. `javaExe` is rewritten into its normalised form (and
// to javaw.exe for a windowed launcher that passed).
bool checkJavaExe(WideString& javaExe, WideString& versionOut, const WideString& lower,
                  const WideString& upper, bool allowPrerelease);

// Runs "<short path> -version" and parses what it printed on its error stream.
bool probeJavaVersion(const WideString& javaExe, std::uint64_t lastWriteTime,
                      WideString& versionOut, unsigned long timeoutMs = kVersionProbeTimeoutMs);

// The per-user version cache, keyed by the executable's path and valid while the
// executable's last-write time is unchanged.
bool readCachedVersion(const WideString& javaExe, std::uint64_t lastWriteTime,
                       WideString& versionOut);
void writeCachedVersion(const WideString& javaExe, std::uint64_t lastWriteTime,
                        const WideString& version);

}  // namespace tesmo
