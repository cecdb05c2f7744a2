// Process-wide launcher state shared between the start-up stages. Written during start-up
// on the main thread, before any other thread exists, and only read afterwards.
#pragma once

#include <string>

#include "launcher/command_line.h"

namespace tesmo {

// Fatal messages go to standard error instead of message boxes. Only ever switched on.
extern bool quietMode;
// Started again by the application with "__kvn_lang_restart" as first argument.
extern bool languageRestart;
// The split wide command line; element 0 is the program name as written.
extern ArgumentList argumentList;
// First character of key 2001: 'k' korvane flavour, 't' tesmo, 0 when absent.
extern char flavourLetter;
// "tesmo" or "korvane": the caption of the log-file question box.
extern std::string productName;
// The instance handle of the entry point, kept for creating windows.
extern void* launcherInstance;

}  // namespace tesmo
