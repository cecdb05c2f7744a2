// The single-instance protocol in its platform-neutral parts: the names of the instance
// semaphores, the argument text a second start hands over, and the waits of a second
// start for the running instance to take up that text.
#pragma once

#include <optional>
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

// Waits while the communication file exists: Free as soon as it does not,
// FirstInstanceGone when an alive check fails, TimedOut after kFileWaitPasses passes. The
// calls are plain callables (bool(), void(unsigned milliseconds), bool()): no type erasure
// in the launcher for a loop this small.
template <typename FileExists, typename Sleep, typename FirstInstanceAlive>
FileWait waitWhileFileExists(FileExists fileExists, Sleep sleep,
                             FirstInstanceAlive firstInstanceAlive) {
    for (int pass = 0; pass < kFileWaitPasses; ++pass) {
        if (!fileExists()) return FileWait::Free;
        sleep(kFileWaitPassMilliseconds);
        if (pass % kAliveCheckPasses == 0 && !firstInstanceAlive()) {
            return FileWait::FirstInstanceGone;
        }
    }
    return FileWait::TimedOut;
}

// --- the steps of the stage, apart from the calls ------------------------------------

// A semaphore as its creation left it: the handle (null when none was made), the error the
// call reported, and whether the name was taken already.
struct SemaphoreOpening {
    void* handle = nullptr;
    long error = 0;
    bool existed = false;
};

struct InstanceCalls {
    SemaphoreOpening (*openSemaphore)(const std::string& name);
    bool (*releaseSemaphore)(void* handle);
    void (*closeHandle)(void* handle);
    // Blocks until the semaphore's count is taken; the wait's result code.
    long (*waitForSemaphore)(void* handle);
    long (*lastError)();
    bool (*fileExists)(const std::string& path);
    void (*sleep)(unsigned milliseconds);
    // Null when the file exists already or cannot be made; lastError tells why.
    void* (*createNewFile)(const std::string& path);
    // False, with the reason in `error`, when not every byte was written.
    bool (*writeFile)(void* handle, const std::string& bytes, long& error);
    void (*deleteFile)(const std::string& path);
    std::optional<std::string> (*commFileName)(unsigned long processId);
};

// The first free numbered semaphore, or the last number even when it is taken. Its handle
// stays open for the life of the process: it keeps this instance's number taken.
std::string takeNumberedSemaphore(const std::string& base, const InstanceCalls& calls);

// Makes the single-instance semaphore; true when no other instance held it. The handle of a
// first instance stays open, a second start's is closed.
bool claimFirstInstance(const std::string& name, const InstanceCalls& calls);

// Whether the first instance's semaphore still exists; true when there is none to ask
// about or it cannot be told.
bool firstInstanceAlive(const std::optional<std::string>& semaphoreName,
                        const InstanceCalls& calls);

// What ended a hand-over early: message 1015 when there is no temporary directory to hold
// the communication file, message 1009 with the internal error code "21" when the file
// cannot be created or "22" when it cannot be written; messageId 0 otherwise.
struct HandOverFailure {
    int messageId = 0;
    const char* internalError = nullptr;
};

// Writes `arguments` into the communication file of process `processId` once the file is
// free, and waits for the first instance to take them. Done (no failure) also when the first
// instance ended meanwhile, which leaves nothing behind. Either way the next waiting start
// is let in before this returns.
HandOverFailure handOverArguments(unsigned long processId, WideView arguments,
                                  const std::optional<std::string>& semaphoreName,
                                  const InstanceCalls& calls);

}  // namespace tesmo
