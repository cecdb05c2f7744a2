// The single-instance protocol in its platform-neutral parts: the names of the instance
// semaphores, the argument text a second start hands over, and the waits of a second
// start for the running instance to take up that text.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace tesmo {

// The ordinary mode tries the numbers 0 to this one, the last even when it is taken.
constexpr int kMaxInstanceNumber = 100000;

// A second start waits at most this many passes for the communication file to go away,
// once before writing its own and once after; a pass sleeps this long, about 10 seconds
// in all. Every kAliveCheckPasses-th pass (0, 5, 10, ...) asks whether the first instance
// still runs, so a first instance that has ended is noticed within 250 milliseconds.
constexpr int kFileWaitPasses = 200;
constexpr unsigned kFileWaitPassMilliseconds = 50;
constexpr int kAliveCheckPasses = 5;

// "Global\" (visible across sessions) or "Local\", then the lowered executable path with
// every backslash and every space made "_": backslashes are not allowed in object names
// behind the namespace.
std::string instanceSemaphoreBase(std::string_view keyPath, bool global);
std::string numberedSemaphoreName(std::string_view base, int number);
// Admits one second start at a time to the communication file.
std::string notificationSemaphoreName(std::string_view instanceName);

// The arguments part of a full command line, unchanged: behind a quoted program name (or,
// unquoted, behind the first space) with the spaces in between skipped. A quoted program
// name without its closing quote leaves no arguments.
WideView handedOverArguments(WideView commandLine);
// The communication file's content: the arguments and one line feed, UTF-16 little-endian
// without byte-order mark.
std::string notificationBytes(WideView arguments);

enum class FileWait { Free, FirstInstanceGone, TimedOut };

struct FileWaitCalls {
    std::function<bool()> fileExists;
    std::function<void(unsigned milliseconds)> sleep;
    std::function<bool()> firstInstanceAlive;
};

// Waits while the communication file exists: Free as soon as it does not,
// FirstInstanceGone when an alive check fails, TimedOut after kFileWaitPasses passes.
FileWait waitWhileFileExists(const FileWaitCalls& calls);

}  // namespace tesmo
