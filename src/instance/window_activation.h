// Bringing a process's windows to the front and counting them. Both look at the visible
// top-level windows of one process; the count leaves out the launcher's own console window,
// which the splash screen must not take for a window of the application.
#pragma once

namespace tesmo {

// Every matching window in enumeration order is restored when minimised (with `restore`)
// and made the foreground window, so the one enumerated last ends in front.
void activateProcessWindows(unsigned long processId, bool restore);

int countProcessWindows(unsigned long processId);

// Finds the launcher's own console window once per process, by giving the console a
// unique title for a moment. A GUI launcher (key 107 = 1) never touches the console title.
void findConsoleWindow();

}  // namespace tesmo
