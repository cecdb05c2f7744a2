// Reading the configuration block of the running executable into the setting maps.
#pragma once

#include <cstdint>

#include "launcher/command_line.h"

namespace tesmo {

// File offset of the byte after the last localized set: included files start there.
extern std::int64_t blockEndPosition;

// Opens the executable for reading with read and write sharing; ends the launcher with
// its message when that fails. Returns the Windows handle.
void* openLauncherFile();

// Reads the whole block once; ends the launcher on any failure. Returns key 107 and sets
// quiet mode unless it is 1 or 5.
int readConfigurationBlock(const ArgumentList& arguments);

}  // namespace tesmo
