#include <windows.h>

#include "core/error_reporting.h"
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

SemaphoreOpening openSemaphore(const std::string& name) {
    HANDLE handle = CreateSemaphoreA(nullptr, 1, 1, name.c_str());
    DWORD error = GetLastError();
    return {handle, static_cast<long>(error), error == ERROR_ALREADY_EXISTS};
}

bool releaseSemaphore(void* handle) {
    return ReleaseSemaphore(handle, 1, nullptr) != 0;
}

void closeHandle(void* handle) {
    CloseHandle(handle);
}

long waitForSemaphore(void* handle) {
    return static_cast<long>(WaitForSingleObject(handle, INFINITE));
}

long lastError() {
    return static_cast<long>(GetLastError());
}

bool fileExists(const std::string& path) {
    return pathExists(path);
}

void sleepFor(unsigned milliseconds) {
    systemCalls.sleep(milliseconds);
}

void* createNewFile(const std::string& path) {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

bool writeFile(void* handle, const std::string& bytes, long& error) {
    DWORD written = 0;
    BOOL ok = systemCalls.writeFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()),
                                    &written, nullptr);
    if (ok && written == bytes.size()) return true;
    error = static_cast<long>(ok ? ERROR_HANDLE_DISK_FULL : GetLastError());
    return false;
}

void deleteFile(const std::string& path) {
    DeleteFileA(path.c_str());
}

const InstanceCalls kInstanceCalls = {
    openSemaphore, releaseSemaphore, closeHandle, waitForSemaphore, lastError,          fileExists,
    sleepFor,      createNewFile,    writeFile,   deleteFile,       processCommFileName};

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
    return firstInstanceAlive(instanceSemaphoreName, kInstanceCalls);
}

HandOverFailure notifyRunningInstance(unsigned long processId, WideView arguments) {
    return handOverArguments(processId, arguments, instanceSemaphoreName, kInstanceCalls);
}

void checkSingleInstance() {
    std::string base =
        instanceSemaphoreBase(instanceKeyPath(), getSettingInt(kKeyGlobalSemaphore) != 0);
    if (getSettingInt(kKeySingleInstance) == 0) {
        instanceSemaphoreName = takeNumberedSemaphore(base, kInstanceCalls);
        return;
    }

    logMessage("single instance mode");
    instanceSemaphoreName = base;
    if (claimFirstInstance(base, kInstanceCalls)) {
        writeInstancePid();
        return;
    }

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
