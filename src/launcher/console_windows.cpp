#include <windows.h>

#include "launcher/console.h"

namespace tesmo {

bool obtainConsole() {
    // Looked up at run time: older systems have no AttachConsole.
    using Attach = BOOL(WINAPI*)(DWORD);
    auto attach = reinterpret_cast<Attach>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "AttachConsole")));
    if (attach) {
        if (attach(ATTACH_PARENT_PROCESS)) return true;
        // Access denied: the process has a console already.
        if (GetLastError() == ERROR_ACCESS_DENIED) return true;
    }
    AllocConsole();
    return true;
}

}  // namespace tesmo
