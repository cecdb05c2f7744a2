// The VM options of the running launcher: its configured options, -J arguments, locale
// options, and the options file beside the executable.
#pragma once

#include <optional>
#include <string>

#include "vm/vm_options.h"

namespace tesmo {

const VmOptionSources& vmOptionSources();

// The configured options string, -J arguments (key 125) and the locale options.
void collectVmOptions(VmOptionContext& context, const ArgumentList& arguments);

// The contents of "<exe without .exe>.vmoptions" or "<exe>.vmoptions", for the long path
// and then the path as the system reports it; nothing when none exists.
std::optional<std::string> openDefaultVmOptionsFile();

}  // namespace tesmo
