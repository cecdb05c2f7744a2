// Reading the configuration block of the running executable into the setting maps.
#pragma once

#include <cstdint>

#include "core/command_line.h"

namespace tesmo {

// Opens the executable for reading with read and write sharing; ends the launcher with
// its message when that fails. Returns the Windows handle.
void* openLauncherFile();

// Reads the whole block once and makes it the process's settings; ends the launcher on any
// failure. Returns the executable type (key 107).
int readConfigurationBlock(const ArgumentList& arguments);

}  // namespace tesmo
