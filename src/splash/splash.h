// The splash screen shown while the launcher starts the application: the launcher's own
// window on a thread of its own (bitmap 10000 of the executable with a status line and a
// version line), or, with key 10123, the Java runtime's splash library.
#pragma once

#include "platform/text.h"

namespace tesmo {

// A non-zero show-window code starts the splash, 0 hides it. Any thread may hide it at any
// time; a hide that comes before or while the window is made keeps it from showing.
void splashScreen(int showCommand);

// Replaces the status line and repaints at once. Only on the splash thread (the controller
// poll calls it there); ignored while the window is not shown.
void setSplashStatusText(const WideString& text);

}  // namespace tesmo
