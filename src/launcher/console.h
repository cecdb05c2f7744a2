// Console attachment for GUI launchers, and the reboot operation.
#pragma once

namespace tesmo {

// Attaches to the parent's console, or creates one; a process that already has a console
// keeps it. Always reports success: a launcher without console still runs.
bool obtainConsole();

// Waits five seconds, then asks Windows to reboot when the shutdown privilege is granted.
void rebootSystem();

}  // namespace tesmo
