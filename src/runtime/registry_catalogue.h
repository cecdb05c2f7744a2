// Runtimes known to the registry: the Java runtime's own registrations, the list of
// located runtimes other programs keep, and the runtimes of earlier installations.
#pragma once

#include "platform/text.h"

namespace tesmo {

// The search entry Y: the registered runtime and the located one, the higher version wins.
bool findRegisteredJvm(WideString& javaExe, const WideString& lower, const WideString& upper);

// Runtimes carried in the "jre" folder of an earlier installation of this application.
// `machine` selects HKEY_LOCAL_MACHINE, else HKEY_CURRENT_USER.
bool findPreviousInstallation(bool machine, WideString& javaExe, const WideString& lower,
                              const WideString& upper);

}  // namespace tesmo
