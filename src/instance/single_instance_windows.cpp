#include <windows.h>

#include "core/error_reporting.h"
#include "core/internal_errors.h"
#include "core/keys.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/settings.h"
#include "files/temp_directory.h"
#include "instance/instance_protocol.h"
#include "instance/single_instance.h"
#include "instance/window_activation.h"
#include "platform/paths.h"
#include "platform/system_calls_windows.h"
#include "platform/text_windows.h"

namespace tesmo {

namespace {

constexpr char kInstanceRegistryKey[] = "SOFTWARE\\dravik-labs\\tesmo\\pids\\";

// The lowered full path of the executable: the registry value name and the basis of the
// semaphore names. Formed once, on the main thread, which alone runs this stage; a plain
// check keeps the thread-safe static guard and its threads library out of the launcher.
std::string keyPath;

const std::string& instanceKeyPath() {
    if (keyPath.empty()) {
        WideString full;
        fullPath(full, toWide(executablePath()), false);
        keyPath = toNarrow(full);
    }
    return keyPath;
}

HANDLE createSemaphore(const std::string& name, DWORD& error) {
    HANDLE handle = CreateSemaphoreA(nullptr, 1, 1, name.c_str());
    error = GetLastError();
    return handle;
}

void logSemaphore(const std::string& name, DWORD error, HANDLE handle) {
    logMessage("semaphore name %s, code %d, value %p", name, static_cast<int>(error),
               static_cast<const void*>(handle));
}

// The handle stays open for the life of the process: it keeps the semaphore, and with it
// this instance's number, taken while the instance runs.
void takeNumberedSemaphore(const std::string& base) {
    std::string name;
    HANDLE handle = nullptr;
    DWORD error = 0;
    for (int number = 0; number <= kMaxInstanceNumber; ++number) {
        name = numberedSemaphoreName(base, number);
        handle = createSemaphore(name, error);
        if (error != ERROR_ALREADY_EXISTS || number == kMaxInstanceNumber) break;
        CloseHandle(handle);
    }
    instanceSemaphoreName = name;
    logSemaphore(name, error, handle);
}

FileWait waitForFreeFile(const std::string& file) {
    return waitWhileFileExists({[&file] { return pathExists(file); },
                                [](unsigned milliseconds) { systemCalls.sleep(milliseconds); },
                                [] { return isMainInstanceAlive(); }});
}

// Runs while this start holds the notification semaphore.
const char* handOver(const std::string& file, WideView arguments) {
    if (!isMainInstanceAlive()) return nullptr;
    if (waitForFreeFile(file) == FileWait::FirstInstanceGone) return nullptr;

    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        logMessage("CreateFile failed %d", static_cast<int>(GetLastError()));
        return internal_error::kCommFileCreate;
    }
    std::string bytes = notificationBytes(arguments);
    DWORD written = 0;
    BOOL ok = systemCalls.writeFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()),
                                    &written, nullptr);
    if (!ok || written != bytes.size()) {
        logError("WriteFile failed %d",
                 static_cast<int>(ok ? ERROR_HANDLE_DISK_FULL : GetLastError()));
        CloseHandle(handle);
        // A cut text would hand the application wrong arguments, and a file nobody takes
        // would keep every later start from handing over its own.
        DeleteFileA(file.c_str());
        return internal_error::kCommFileWrite;
    }
    CloseHandle(handle);

    logMessage("waiting for file deletion");
    if (waitForFreeFile(file) == FileWait::FirstInstanceGone) DeleteFileA(file.c_str());
    return nullptr;
}

}  // namespace

long writeInstancePid() {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, kInstanceRegistryKey, 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    DWORD pid = GetCurrentProcessId();
    RegSetValueExA(key, instanceKeyPath().c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&pid),
                   sizeof pid);
    return RegCloseKey(key);
}

unsigned long readInstancePid() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kInstanceRegistryKey, 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return 0;
    }
    DWORD pid = 0;
    DWORD size = sizeof pid;
    LONG status = RegQueryValueExA(key, instanceKeyPath().c_str(), nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(&pid), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && size == sizeof pid ? pid : 0;
}

bool isMainInstanceAlive() {
    if (!instanceSemaphoreName) return true;
    DWORD error = 0;
    HANDLE handle = createSemaphore(*instanceSemaphoreName, error);
    if (handle == nullptr) return true;
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(handle);
        return true;
    }
    // This call made the semaphore afresh: the first instance's is gone.
    if (!ReleaseSemaphore(handle, 1, nullptr)) {
        logMessage("release semaphore 2 failed %d", static_cast<int>(GetLastError()));
    }
    CloseHandle(handle);
    logMessage("main process already released semaphore.");
    return false;
}

HandOverFailure notifyRunningInstance(unsigned long processId, WideView arguments) {
    // A file named after no process would never be taken, and would then keep every
    // later start from handing over its arguments.
    if (processId == 0) {
        logMessage("no running instance recorded");
        return {};
    }
    std::optional<std::string> file = processCommFileName(processId);
    if (!file) return {kMessageNotPoweruser, nullptr};
    logMessage("notification via %s", *file);
    std::string name = notificationSemaphoreName(instanceSemaphoreName.value_or(""));
    HANDLE notification = CreateSemaphoreA(nullptr, 1, 1, name.c_str());
    if (notification == nullptr) {
        logMessage("semaphore creation failed %d", static_cast<int>(GetLastError()));
    }
    logMessage("waiting for notification semaphore");
    DWORD waited = WaitForSingleObject(notification, INFINITE);
    logMessage("wait returned %d", static_cast<int>(waited));

    const char* failure = handOver(*file, arguments);

    // Released on failures too: a count left at 0 would keep the next starts waiting for
    // ever, since they hold the semaphore open.
    if (!ReleaseSemaphore(notification, 1, nullptr)) {
        logMessage("release semaphore failed %d", static_cast<int>(GetLastError()));
    }
    if (notification != nullptr) CloseHandle(notification);
    if (failure != nullptr) return {kMessageInternalError, failure};
    return {};
}

void checkSingleInstance() {
    std::string base =
        instanceSemaphoreBase(instanceKeyPath(), getSettingInt(kKeyGlobalSemaphore) != 0);
    if (getSettingInt(kKeySingleInstance) == 0) {
        takeNumberedSemaphore(base);
        return;
    }

    logMessage("single instance mode");
    instanceSemaphoreName = base;
    DWORD error = 0;
    HANDLE handle = createSemaphore(base, error);
    logSemaphore(base, error, handle);
    if (error != ERROR_ALREADY_EXISTS) {
        writeInstancePid();
        return;
    }

    CloseHandle(handle);
    unsigned long other = readInstancePid();
    logMessage("other pid %d", static_cast<int>(other));
    activateProcessWindows(other, true);
    HandOverFailure failure =
        notifyRunningInstance(other, handedOverArguments(fromWindows(GetCommandLineW())));
    if (failure.messageId == kMessageNotPoweruser) fatalMessageWide(kMessageNotPoweruser, nullptr);
    if (failure.messageId != 0) fatalMessage(failure.messageId, failure.internalError);
    logMessage("exiting");
    exitLauncher(0);
}

}  // namespace tesmo
