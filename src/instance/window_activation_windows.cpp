#include <windows.h>

#include <string>

#include "core/keys.h"
#include "core/log.h"
#include "core/settings.h"
#include "instance/window_activation.h"
#include "platform/system_calls_windows.h"

namespace tesmo {

namespace {

// The title change has to travel to the console's window before the lookup can see it. The
// first look comes after the pause; a few more are allowed for a slow console host, whose
// window would otherwise be counted as the application's.
constexpr DWORD kConsoleTitlePauseMilliseconds = 40;
constexpr int kConsoleLookups = 5;

DWORD targetProcessId = 0;
int windowCount = 0;
bool consoleSearched = false;
HWND consoleWindow = nullptr;

bool belongsToTarget(HWND window) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner == targetProcessId;
}

BOOL CALLBACK activateWindow(HWND window, LPARAM restore) {
    if (!IsWindowVisible(window) || !belongsToTarget(window)) return TRUE;
    logMessage("found window %p", static_cast<const void*>(window));
    if (restore && IsIconic(window)) {
        logMessage("restore");
        ShowWindow(window, SW_RESTORE);
    }
    logMessage("foreground");
    SetForegroundWindow(window);
    logMessage("popup");
    SetForegroundWindow(GetLastActivePopup(window));
    logMessage("done");
    return TRUE;
}

BOOL CALLBACK countWindow(HWND window, LPARAM) {
    if (IsWindowVisible(window) && belongsToTarget(window) && window != consoleWindow) {
        ++windowCount;
    }
    return TRUE;
}

}  // namespace

void activateProcessWindows(unsigned long processId, bool restore) {
    targetProcessId = processId;
    EnumWindows(activateWindow, restore ? 1 : 0);
}

int countProcessWindows(unsigned long processId) {
    windowCount = 0;
    targetProcessId = processId;
    findConsoleWindow();
    EnumWindows(countWindow, 0);
    return windowCount;
}

void findConsoleWindow() {
    if (consoleSearched) return;
    consoleSearched = true;
    if (getSettingInt(kKeyExecutableType) == 1) return;

    char saved[kPathCapacity] = {};
    SetLastError(ERROR_SUCCESS);
    // An empty title also reads as 0; only an error means there is no console.
    if (systemCalls.getConsoleTitleA(saved, kPathCapacity) == 0 &&
        GetLastError() != ERROR_SUCCESS) {
        return;
    }
    std::string unique = std::to_string(static_cast<int>(GetTickCount())) + "/" +
                         std::to_string(static_cast<int>(GetCurrentProcessId()));
    if (!systemCalls.setConsoleTitleA(unique.c_str())) return;
    for (int lookup = 0; lookup < kConsoleLookups && consoleWindow == nullptr; ++lookup) {
        systemCalls.sleep(kConsoleTitlePauseMilliseconds);
        consoleWindow = FindWindowA(nullptr, unique.c_str());
    }
    systemCalls.setConsoleTitleA(saved);
}

}  // namespace tesmo
