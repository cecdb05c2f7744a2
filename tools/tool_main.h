// The entry of each command-line tool: arguments arrive as UTF-8 (read wide on Windows, so
// that names outside the ANSI code page survive), an exception that escapes the tool becomes
// one line on standard error and the failure exit code, and --version prints the project's
// version, the one the launcher's version resource carries.
#pragma once

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "platform/text.h"

namespace tesmo::tools {

constexpr int kToolFailure = 2;

using ToolRun = int (*)(const std::vector<std::string>& arguments);

inline int runTool(const char* name, ToolRun run, const std::vector<std::string>& arguments) {
    if (arguments.size() == 1 && arguments[0] == "--version") {
        std::printf("%s %s\n", name, TESMO_VERSION);
        return 0;
    }
    try {
        return run(arguments);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s: %s\n", name, failure.what());
        return kToolFailure;
    }
}

#ifdef _WIN32
inline std::vector<std::string> utf8Arguments(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        WideString text;
        for (const wchar_t* c = argv[i]; *c; ++c) text.push_back(static_cast<char16_t>(*c));
        arguments.push_back(toUtf8(text));
    }
    return arguments;
}
#endif

}  // namespace tesmo::tools

#ifdef _WIN32
#define TESMO_TOOL_MAIN(name, run)                                                        \
    int wmain(int argc, wchar_t** argv) {                                                 \
        return tesmo::tools::runTool(name, run, tesmo::tools::utf8Arguments(argc, argv)); \
    }
#else
#define TESMO_TOOL_MAIN(name, run)                                                                \
    int main(int argc, char** argv) {                                                             \
        return tesmo::tools::runTool(name, run, std::vector<std::string>(argv + 1, argv + argc)); \
    }
#endif
