// Stands in for a runtime's java.exe (and, built for the GUI subsystem, javaw.exe). What it
// prints comes from standin.cfg beside it, so that every copy in a runtime home can claim its
// own version; invocations.log beside it tells a test how often it was started and whether
// each start ran to its end or was terminated.
#include <windows.h>

#include <charconv>
#include <string>
#include <string_view>
#include <vector>

#include "standin_io.h"

namespace {

constexpr int kExitBadConfig = 120;

struct Config {
    std::vector<std::string> banner{"java version \"1.8.0_201\""};
    std::vector<std::string> out;
    long long exitCode = 0;
    long long delayMs = 0;
    std::string problem;
};

bool parseNumber(std::string_view text, long long low, long long high, long long& value) {
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc{} && stop == end && value >= low && value <= high;
}

Config parse(const std::string& content) {
    Config config;
    config.banner.clear();
    std::string_view rest = content;
    if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);
    for (int number = 1; !rest.empty(); ++number) {
        std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        std::size_t equals = line.find('=');
        std::string_view key = line.substr(0, equals);
        std::string_view value =
            equals == std::string_view::npos ? std::string_view{} : line.substr(equals + 1);
        bool ok = equals != std::string_view::npos;
        if (ok && key == "banner") {
            config.banner.emplace_back(value);
        } else if (ok && key == "stdout") {
            config.out.emplace_back(value);
        } else if (ok && key == "exit") {
            ok = parseNumber(value, -2147483648LL, 4294967295LL, config.exitCode);
        } else if (ok && key == "delay_ms") {
            ok = parseNumber(value, 0, 3600000, config.delayMs);
        } else {
            ok = false;
        }
        // A mistyped key would otherwise make a test pass for the wrong reason.
        if (!ok) {
            config.problem = "standin.cfg line " + std::to_string(number) + " is not understood";
            return config;
        }
    }
    return config;
}

}  // namespace

int main() {
    std::wstring directory = standin::moduleDirectory(nullptr);
    std::wstring log = directory + L"invocations.log";
    std::string commandLine = standin::toUtf8(GetCommandLineW());
    standin::appendLine(log, "start " + commandLine);

    Config config;
    if (auto content = standin::readFile(directory + L"standin.cfg")) config = parse(*content);
    if (!config.problem.empty()) {
        standin::writeHandle(STD_ERROR_HANDLE, "java-standin: " + config.problem + "\r\n");
        standin::appendLine(log, "end " + commandLine);
        return kExitBadConfig;
    }

    if (config.delayMs > 0) Sleep(static_cast<DWORD>(config.delayMs));
    for (const std::string& line : config.banner) {
        standin::writeHandle(STD_ERROR_HANDLE, line + "\r\n");
    }
    for (const std::string& line : config.out) {
        standin::writeHandle(STD_OUTPUT_HANDLE, line + "\r\n");
    }
    // The command line is repeated so that java.exe and javaw.exe, which share a directory
    // and so a log, can be told apart.
    standin::appendLine(log, "end " + commandLine);
    return static_cast<int>(config.exitCode);
}
