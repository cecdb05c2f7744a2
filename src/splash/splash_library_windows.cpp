// The Java runtime's own splash library: the launcher only hands it the image stored in the
// executable and closes it on its error paths; the window is the library's.
#include <windows.h>

#include "core/launcher_state.h"
#include "core/log.h"
#include "platform/text_windows.h"
#include "runtime/runtime_library_windows.h"
#include "splash/splash_bridges.h"

namespace tesmo {

namespace {

constexpr WORD kImageResource = 10000;

// The library's published entry points: plain C functions.
using SplashInitFunction = void (*)();
using SplashLoadMemoryFunction = int (*)(void*, int);
using SplashCloseFunction = void (*)();

// Only the main thread (start-up and the error paths) gets here.
bool librarySplashShown = false;
bool librarySplashClosed = false;
SplashCloseFunction splashClose = nullptr;

template <typename Function>
Function entryPoint(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

void showLibrarySplash() {
    if (librarySplashShown) return;
    WideString path = jvmHome + u"\\bin\\splashscreen.dll";
    logMessage("loading splashscreen dll from %S", path);
    // Kept loaded for the life of the process: its window lives on.
    HMODULE library = LoadLibraryW(asWindows(path));
    if (!library) {
        logError("Could not load splashscreen.dll");
        return;
    }
    splashClose = entryPoint<SplashCloseFunction>(library, "SplashClose");
    auto splashInit = entryPoint<SplashInitFunction>(library, "SplashInit");
    auto splashLoadMemory = entryPoint<SplashLoadMemoryFunction>(library, "SplashLoadMemory");
    if (!splashClose || !splashInit || !splashLoadMemory) {
        logError("Could not find functions in splashscreen.dll");
        return;
    }
    splashInit();

    auto instance = static_cast<HMODULE>(launcherInstance);
    HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(kImageResource), RT_RCDATA);
    HGLOBAL loaded = resource ? LoadResource(instance, resource) : nullptr;
    void* data = loaded ? LockResource(loaded) : nullptr;
    int size = resource ? static_cast<int>(SizeofResource(instance, resource)) : 0;
    int result = splashLoadMemory(data, size);
    logMessage("splash load memory returned %d (%p, %p, %d)", result,
               static_cast<const void*>(resource), static_cast<const void*>(data), size);
    librarySplashShown = true;
}

// Once: a second error path has nothing left to close.
void closeLibrarySplash() {
    if (!librarySplashShown || librarySplashClosed) return;
    librarySplashClosed = true;
    splashClose();
}

}  // namespace tesmo
