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

// --- the steps behind these, apart from the calls -------------------------------------

// The calls of one width (narrow or wide) that the steps need.
template <typename String>
struct TempCalls {
    // GetTempPath's result: the length written into `out`, or the size it would need.
    unsigned long (*tempPath)(String& out);
    long (*lastError)();
    // HOMEDRIVE followed by HOMEPATH.
    String (*home)();
    bool (*createDirectory)(const String& path);
    bool (*removeDirectory)(const String& path);
    bool (*exists)(const String& path);
    // "" when the long form cannot be obtained.
    String (*longPath)(const String& path);
    String (*windowsDirectory)();
    // GetTempFileName with prefix "tsm" into `out`; false when the system makes no file.
    bool (*tempFileName)(const String& directory, String& out);
    int (*pseudoRandom)();
};

// Creates and removes a probe directory inside `directory`.
template <typename String>
bool probeWritable(const String& directory, const TempCalls<String>& calls);

// GetTempPath, or HOMEDRIVE + HOMEPATH when it gives nothing; then, when that path holds
// "?" (in its long form when it has one), the first writable fallback.
template <typename String>
std::optional<String> systemTempFrom(const TempCalls<String>& calls);

// A new temporary file's name in the system temporary directory: the system's, or a
// free-standing "tsm<number>" when it makes none (or the directory is too long for it).
template <typename String>
std::optional<String> tempFileNameFrom(const TempCalls<String>& calls);

// A narrow path holds "?" where the code page cannot name a character; such a path names no
// directory, and writable fallbacks take its place.
bool needsTempFallback(std::string_view path);
bool needsTempFallback(WideView path);

// The first writable of "<windows>\temp", "c:\temp", "c:\tmp" and the Windows directory;
// then "c:\tmp" made afresh when "c:\" is writable; nothing when none of these will do.
template <typename String>
std::optional<String> writableTempFallback(const String& windowsDirectory,
                                           const TempCalls<String>& calls);

// The name formed when the system makes no temporary file: "tsm<number>" straight behind
// the directory (which keeps or lacks its trailing backslash).
std::string freeTempFileName(const std::string& directory, int number);
WideString freeTempFileName(const WideString& directory, int number);

std::string processCommFileNameIn(const std::string& directory, unsigned long processId);

// The run's own directory beside a reserved temporary file, told apart by the clock.
std::string launcherTempDirectoryName(const std::string& reservedFile, std::int32_t time);

struct LauncherTempCalls {
    std::optional<std::string> (*reserveName)();
    std::int32_t (*clock)();
    bool (*createDirectory)(const std::string& path);
    long (*lastError)();
    void (*deleteFile)(const std::string& path);
};

struct LauncherTempAttempts {
    LauncherTempDirectory result = LauncherTempDirectory::NotCreated;
    std::string directory;  // when Created
};

// Up to 10 attempts, each beside a freshly reserved name; the reserved files are deleted at
// the end.
LauncherTempAttempts makeLauncherTempDirectory(const LauncherTempCalls& calls);

}  // namespace tesmo
