// Process-wide values that one start-up stage hands to later ones. Each is written once, on
// the main thread, by the stage named beside it, and only read afterwards; the one value a
// second thread reads while it may still change is atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/text.h"

namespace tesmo {

// Entry point: fatal messages go to standard error instead of boxes; the driver also sets it
// from the executable type once the block is read. Only ever switched on.
extern bool quietMode;
// Entry point: started again by the application with "__kvn_lang_restart" as first argument.
extern bool languageRestart;
// Entry point: the instance handle, kept for creating windows.
extern void* launcherInstance;
// Initialisation, from the log switch; read before the first log line is written.
extern bool logRequested;
// Initialisation, from key 2001: 'k' korvane flavour, 't' tesmo, 0 when absent.
extern char flavourLetter;
// Initialisation: "tesmo" or "korvane", the caption of the log-file question box.
extern std::string productName;
// Configuration loader, from the chosen locale: two letters, and two letters or empty.
extern std::string userLanguage;
extern std::string userCountry;
// Configuration loader: file offset of the byte after the last localized set, where the
// included files start.
extern std::int64_t blockEndPosition;
// Temporary directory: the directory created for this run, without trailing backslash;
// empty while none exists.
extern WideString launcherTempDirectory;
// Extraction: the file position behind the last included file read; 0 until set.
extern std::int64_t unextractedPosition;
// Single-instance stage: the semaphore this start holds, for "tesmo.semaphoreName".
extern std::optional<std::string> instanceSemaphoreName;
// Runtime library: the directory of the chosen java.exe or javaw.exe followed by "..", such
// as C:\jre\bin\..; empty before a runtime has been chosen.
extern WideString jvmHome;
// VM launch: the VM exists and may be attached to; read by the splash thread.
extern std::atomic<bool> vmCreated;

}  // namespace tesmo
