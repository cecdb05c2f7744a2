// Reporting failures to the user: a message box for windowed launchers, standard error in
// quiet mode; texts from the message keys with one "{0}" argument; the log path appended
// while the log is on. The fatal forms end the process.
#pragma once

#include <string>

#include "platform/text.h"

namespace tesmo {

void showMessage(const std::string& text);
void showMessageWide(const WideString& text);
void showConfiguredMessage(int messageId, const char* argument);
void showConfiguredMessageWide(int messageId, const WideString* argument);

// Runs what was registered to run at exit (the temporary directory's removal), then ends
// the process.
[[noreturn]] void exitLauncher(int exitCode);
[[noreturn]] void fatalInternalError(const std::string& text);
[[noreturn]] void fatalMessage(int messageId, const char* argument);
[[noreturn]] void fatalMessageWide(int messageId, const WideString* argument);

// Stages above this one say here what must happen before a message is shown (the splash
// hides, so that a topmost splash cannot cover the box) and before the process ends (the
// temporary directory goes). One action each; registering again replaces it.
void registerBeforeMessage(void (*action)());
void registerAtExit(void (*action)());

// The owner of message boxes; the splash window makes itself the owner.
void setMessageOwner(void* window);
// Called by the splash thread before it destroys `window`: false while a message is being
// shown (the thread tries again later); otherwise boxes are no longer owned by it.
bool releaseMessageOwner(void* window);

}  // namespace tesmo
