#include <windows.h>

#include "launcher/console.h"

namespace tesmo {

void rebootSystem() {
    Sleep(5000);
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return;
    }
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) {
        return;
    }
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    // ERROR_NOT_ALL_ASSIGNED also reports success from the call itself: only a clean
    // last error means the privilege is held.
    if (GetLastError() != ERROR_SUCCESS) return;
    ExitWindowsEx(EWX_REBOOT, 0);
}

}  // namespace tesmo
