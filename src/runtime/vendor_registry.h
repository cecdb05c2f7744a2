// Runtimes registered by their vendors' installers (Eclipse Temurin, AdoptOpenJDK, IBM
// Semeru, Microsoft, Azul Zulu, BellSoft Liberica), most of which write no JavaSoft keys.
#pragma once

#include "platform/text.h"
#include "runtime/installation_check.h"
#include "runtime/registry_catalogue.h"

namespace tesmo {

// The search entry V: every home the vendor keys of both hives name goes through the
// installation check; the highest version among those that pass wins, compared as
// versions. Ties go to the first in hive, vendor and enumeration order.
bool findVendorRegisteredJvm(const RegistrySources& registry,
                             const InstallationSources& installation, WideString& javaExe,
                             const WideString& lower, const WideString& upper);

}  // namespace tesmo
