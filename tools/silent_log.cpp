// The tools share the launcher's core, whose code writes to the launcher's diagnostic log;
// a tool has no such log.
#include "core/log.h"

namespace tesmo {

void logWrite(LogLevel, const char*, const FormatArg*, std::size_t) {}

void logWriteWide(const char16_t*, const FormatArg*, std::size_t) {}

std::optional<WideString> logFilePath() {
    return std::nullopt;
}

}  // namespace tesmo
