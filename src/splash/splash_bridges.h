// The two bridges between the splash and the Java side: the runtime's own splash library,
// and the application's splash controller class polled by the splash thread.
#pragma once

namespace tesmo {

// Loads splashscreen.dll from the loaded runtime's home and hands it the executable's
// RT_RCDATA 10000. Only the first call does anything; failures are logged, never fatal.
void showLibrarySplash();
// Closes the library's splash when it was shown; it is never shown again.
void closeLibrarySplash();

enum class ControllerRequest { None, Close };

// One tick of the splash thread: binds to com/tesmo/runtime/TesmoController once the VM
// exists, then asks it what to do. A new status text is applied here; Close is left to the
// caller, who hides the splash and ends the thread.
ControllerRequest pollSplashController();
// Detaches the splash thread from the VM when the poll attached it; before the thread ends.
void releaseSplashController();

}  // namespace tesmo
