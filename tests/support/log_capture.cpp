#include "tests/support/log_capture.h"

#include "core/log.h"

namespace tesmo {

namespace {
std::vector<std::string> lines;
std::optional<WideString> path;
}  // namespace

void logWrite(LogLevel level, const char* format, const FormatArg* args, std::size_t count) {
    std::string line = level == LogLevel::Error ? "ERROR: " : "";
    lines.push_back(line + formatNarrow(format, args, count));
}

void logWriteWide(const char16_t* format, const FormatArg* args, std::size_t count) {
    lines.push_back(toNarrow(formatWide(format, args, count)));
}

std::optional<WideString> logFilePath() {
    return path;
}

namespace testing {

const std::vector<std::string>& capturedLog() {
    return lines;
}

void clearCapturedLog() {
    lines.clear();
}

void setCapturedLogPath(const char16_t* newPath) {
    if (newPath) {
        path = WideString(newPath);
    } else {
        path.reset();
    }
}

}  // namespace testing
}  // namespace tesmo
