// The system temporary directory and the launcher's private temporary directory.
#pragma once

#include <string>

#include "platform/text.h"

namespace tesmo {

// GetTempPath with its fallbacks: HOMEDRIVE + HOMEPATH when there is none, and writable
// directories the narrow code page can name when the path holds characters it cannot.
// Determined afresh at every call; ends the launcher when nothing is usable.
WideString systemTempDirectoryWide();
std::string systemTempDirectory();

// Creates and removes a probe directory inside `directory`.
bool isWritableDirectory(const WideString& directory);
bool isWritableDirectory(const std::string& directory);

// A new empty file in the system temporary directory (prefix "tsm"), or, when the system
// cannot make one, a free-standing name "tsm<number>" in that directory.
WideString makeTempFileNameWide();
std::string makeTempFileName();

// The process communication file of the process with this id; both sides of the
// single-instance protocol form it here so that they agree.
std::string processCommFileName(unsigned long processId);

// Creates the run's own directory (10 attempts), records it and has it removed when the
// launcher exits with a failure. False when every attempt failed.
bool createLauncherTempDirectory();

}  // namespace tesmo
