#include "instance/instance_protocol.h"

#include "core/internal_errors.h"
#include "core/keys.h"
#include "core/log.h"

namespace tesmo {

std::string instanceSemaphoreBase(std::string_view keyPath, bool global) {
    std::string name = global ? "Global\\" : "Local\\";
    for (char c : keyPath) name.push_back(c == '\\' || c == ' ' ? '_' : c);
    return name;
}

std::string numberedSemaphoreName(std::string_view base, int number) {
    return std::string(base) + std::to_string(number);
}

std::string notificationSemaphoreName(std::string_view instanceName) {
    return std::string(instanceName) + "_notification";
}

WideView handedOverArguments(WideView commandLine) {
    std::size_t from = 0;
    if (!commandLine.empty() && commandLine.front() == u'"') {
        from = commandLine.find(u'"', 1);
        if (from == WideView::npos) return {};
    }
    std::size_t space = commandLine.find(u' ', from);
    if (space == WideView::npos) return {};
    std::size_t start = commandLine.find_first_not_of(u' ', space);
    return start == WideView::npos ? WideView() : commandLine.substr(start);
}

std::string notificationBytes(WideView arguments) {
    std::string bytes;
    bytes.reserve((arguments.size() + 1) * 2);
    auto put = [&bytes](char16_t unit) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    };
    for (char16_t unit : arguments) put(unit);
    put(u'\n');
    return bytes;
}

namespace {

void logSemaphore(const std::string& name, const SemaphoreOpening& opening) {
    logMessage("semaphore name %s, code %d, value %p", name, static_cast<int>(opening.error),
               static_cast<const void*>(opening.handle));
}

FileWait waitForFreeFile(const std::string& file, const std::optional<std::string>& semaphore,
                         const InstanceCalls& calls) {
    return waitWhileFileExists([&] { return calls.fileExists(file); }, calls.sleep,
                               [&] { return firstInstanceAlive(semaphore, calls); });
}

// Runs while this start holds the notification semaphore.
const char* writeNotification(const std::string& file, WideView arguments,
                              const std::optional<std::string>& semaphore,
                              const InstanceCalls& calls) {
    if (!firstInstanceAlive(semaphore, calls)) return nullptr;
    if (waitForFreeFile(file, semaphore, calls) == FileWait::FirstInstanceGone) return nullptr;

    void* handle = calls.createNewFile(file);
    if (handle == nullptr) {
        logMessage("CreateFile failed %d", static_cast<int>(calls.lastError()));
        return internal_error::kCommFileCreate;
    }
    long error = 0;
    if (!calls.writeFile(handle, notificationBytes(arguments), error)) {
        logError("WriteFile failed %d", static_cast<int>(error));
        calls.closeHandle(handle);
        // A cut text would hand the application wrong arguments, and a file nobody takes
        // would keep every later start from handing over its own.
        calls.deleteFile(file);
        return internal_error::kCommFileWrite;
    }
    calls.closeHandle(handle);

    logMessage("waiting for file deletion");
    if (waitForFreeFile(file, semaphore, calls) == FileWait::FirstInstanceGone) {
        calls.deleteFile(file);
    }
    return nullptr;
}

}  // namespace

std::string takeNumberedSemaphore(const std::string& base, const InstanceCalls& calls) {
    for (int number = 0;; ++number) {
        std::string name = numberedSemaphoreName(base, number);
        SemaphoreOpening opening = calls.openSemaphore(name);
        if (!opening.existed || number == kMaxInstanceNumber) {
            logSemaphore(name, opening);
            return name;
        }
        calls.closeHandle(opening.handle);
    }
}

bool claimFirstInstance(const std::string& name, const InstanceCalls& calls) {
    SemaphoreOpening opening = calls.openSemaphore(name);
    logSemaphore(name, opening);
    if (!opening.existed) return true;
    calls.closeHandle(opening.handle);
    return false;
}

bool firstInstanceAlive(const std::optional<std::string>& semaphoreName,
                        const InstanceCalls& calls) {
    if (!semaphoreName) return true;
    SemaphoreOpening opening = calls.openSemaphore(*semaphoreName);
    if (opening.handle == nullptr) return true;
    if (opening.existed) {
        calls.closeHandle(opening.handle);
        return true;
    }
    // This call made the semaphore afresh: the first instance's is gone.
    if (!calls.releaseSemaphore(opening.handle)) {
        logMessage("release semaphore 2 failed %d", static_cast<int>(calls.lastError()));
    }
    calls.closeHandle(opening.handle);
    logMessage("main process already released semaphore.");
    return false;
}

HandOverFailure handOverArguments(unsigned long processId, WideView arguments,
                                  const std::optional<std::string>& semaphoreName,
                                  const InstanceCalls& calls) {
    // A file named after no process would never be taken, and would then keep every
    // later start from handing over its arguments.
    if (processId == 0) {
        logMessage("no running instance recorded");
        return {};
    }
    std::optional<std::string> file = calls.commFileName(processId);
    if (!file) return {kMessageNotPoweruser, nullptr};
    logMessage("notification via %s", *file);
    std::string name = notificationSemaphoreName(semaphoreName.value_or(""));
    SemaphoreOpening opening = calls.openSemaphore(name);
    void* notification = opening.handle;
    if (notification == nullptr) {
        logMessage("semaphore creation failed %d", static_cast<int>(opening.error));
    }
    logMessage("waiting for notification semaphore");
    long waited = calls.waitForSemaphore(notification);
    logMessage("wait returned %d", static_cast<int>(waited));

    const char* failure = writeNotification(*file, arguments, semaphoreName, calls);

    // Released on failures too: a count left at 0 would keep the next starts waiting for
    // ever, since they hold the semaphore open.
    if (!calls.releaseSemaphore(notification)) {
        logMessage("release semaphore failed %d", static_cast<int>(calls.lastError()));
    }
    if (notification != nullptr) calls.closeHandle(notification);
    if (failure != nullptr) return {kMessageInternalError, failure};
    return {};
}

}  // namespace tesmo
