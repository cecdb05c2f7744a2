// The diagnostic log: off by default, switched on by TESMO_LOG/KORVANE_LOG = "yes" or the
// log switch. Every line is one call; the log adds the line break and closes the file
// after each line, so a crash never loses what was written before it.
#pragma once

#include <optional>

#include "core/log_format.h"

namespace tesmo {

enum class LogLevel { Plain, Error };

// Supplied by the platform: the Windows log file, or a recorder in the native tests.
// Implementations check whether the log is on before they format anything.
void logWrite(LogLevel level, const char* format, const FormatArg* args, std::size_t count);
void logWriteWide(const char16_t* format, const FormatArg* args, std::size_t count);

// Path of the log file, or nothing while the log is off.
std::optional<WideString> logFilePath();

template <typename... Args>
void logMessage(NarrowFormat<Args...> format, const Args&... args) {
    const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
    logWrite(LogLevel::Plain, format.text, list, sizeof...(Args));
}

template <typename... Args>
void logError(NarrowFormat<Args...> format, const Args&... args) {
    const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
    logWrite(LogLevel::Error, format.text, list, sizeof...(Args));
}

template <typename... Args>
void logMessageWide(WideFormat<Args...> format, const Args&... args) {
    const FormatArg list[] = {FormatArg(args)..., FormatArg(0)};
    logWriteWide(format.text, list, sizeof...(Args));
}

// The switch-on decision: the log switch, or either variable exactly "yes".
bool logWanted(bool requested, const std::optional<std::string>& tesmoLog,
               const std::optional<std::string>& korvaneLog);

}  // namespace tesmo
