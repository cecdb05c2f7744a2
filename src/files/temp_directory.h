// The system temporary directory and the launcher's private temporary directory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace tesmo {

// GetTempPath with its fallbacks: HOMEDRIVE + HOMEPATH when there is none, and writable
// directories the narrow code page can name when the path holds characters it cannot.
// Determined afresh at every call; nothing when no directory is usable, which the stage
// that asked reports as message 1015.
std::optional<WideString> systemTempDirectoryWide();
std::optional<std::string> systemTempDirectory();

// Creates and removes a probe directory inside `directory`.
bool isWritableDirectory(const WideString& directory);
bool isWritableDirectory(const std::string& directory);

// A new empty file in the system temporary directory (prefix "tsm"), or, when the system
// cannot make one, a free-standing name "tsm<number>" in that directory. Nothing when there
// is no system temporary directory.
std::optional<WideString> makeTempFileNameWide();
std::optional<std::string> makeTempFileName();

// The process communication file of the process with this id; both sides of the
// single-instance protocol form it here so that they agree. Nothing when there is no system
// temporary directory.
std::optional<std::string> processCommFileName(unsigned long processId);

enum class LauncherTempDirectory { Created, NotCreated, NoSystemTemp };

// Creates the run's own directory (10 attempts), records it and has it removed when the
// launcher exits with a failure.
LauncherTempDirectory createLauncherTempDirectory();

// --- the decisions behind these, apart from the calls ---------------------------------

// A narrow path holds "?" where the code page cannot name a character; such a path names no
// directory, and writable fallbacks take its place.
bool needsTempFallback(std::string_view path);
bool needsTempFallback(WideView path);

template <typename String>
struct TempFallbackCalls {
    bool (*writable)(const String& directory);
    bool (*createDirectory)(const String& path);
};

// The first writable of "<windows>\temp", "c:\temp", "c:\tmp" and the Windows directory;
// then "c:\tmp" made afresh when "c:\" is writable; nothing when none of these will do.
std::optional<std::string> writableTempFallback(const std::string& windowsDirectory,
                                                const TempFallbackCalls<std::string>& calls);
std::optional<WideString> writableTempFallback(const WideString& windowsDirectory,
                                               const TempFallbackCalls<WideString>& calls);

// The name formed when the system makes no temporary file: "tsm<number>" straight behind
// the directory (which keeps or lacks its trailing backslash).
std::string freeTempFileName(const std::string& directory, int number);
WideString freeTempFileName(const WideString& directory, int number);

std::string processCommFileNameIn(const std::string& directory, unsigned long processId);

// The run's own directory beside a reserved temporary file, told apart by the clock.
std::string launcherTempDirectoryName(const std::string& reservedFile, std::int32_t time);

}  // namespace tesmo
