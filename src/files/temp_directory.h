// The system temporary directory and the launcher's private temporary directory.
#pragma once

#include "platform/text.h"

namespace tesmo {

// The directory created for this run, without trailing backslash; empty while none exists.
extern WideString launcherTempDirectory;

// GetTempPath with its fallbacks: HOMEDRIVE + HOMEPATH when there is none, and writable
// directories the narrow code page can name when the temp path holds characters it
// cannot. Determined afresh at every call; ends the launcher when nothing is usable.
WideString systemTempDirectoryWide();

// Creates and removes a probe directory inside `directory`.
bool isWritableDirectory(const WideString& directory);

}  // namespace tesmo
