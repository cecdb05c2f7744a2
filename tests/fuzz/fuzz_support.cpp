#include "tests/fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include "core/log.h"

namespace tesmo {

// Every line is formatted as the log file would hold it and then dropped, so that the
// formatter sees each text the fuzzer makes the core log.
void logWrite(LogLevel, const char* format, const FormatArg* args, std::size_t count) {
    formatNarrow(format, args, count);
}

void logWriteWide(const char16_t* format, const FormatArg* args, std::size_t count) {
    formatWide(format, args, count);
}

std::optional<WideString> logFilePath() {
    return std::nullopt;
}

namespace fuzz {

void fail(const char* property, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, property);
    std::abort();
}

std::vector<std::string_view> pieces(std::string_view text, char separator) {
    std::vector<std::string_view> result;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            result.push_back(text.substr(start));
            return result;
        }
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace fuzz
}  // namespace tesmo
