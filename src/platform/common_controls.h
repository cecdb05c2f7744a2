#pragma once

namespace tesmo {

// Readies the common controls (version 6 by the manifest) for the launcher's first window:
// a message box or the splash screen. Done then rather than at start-up, so that a launch
// that shows neither does not load the controls library and its theming at all; it costs
// a Windows start a few milliseconds and Wine's much more. Safe to call more than once and
// from any thread.
void initialiseCommonControls();

}  // namespace tesmo
