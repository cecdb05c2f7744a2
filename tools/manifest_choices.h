// The [executable] choices that are not records of the block: the architecture, which says
// which stub a launcher is built from, and what the stub's application manifest asks of
// Windows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tesmo::tools {

struct ExecutableChoices {
    std::string architecture = "x86";
    std::string executionLevel = "as-invoker";
    std::string dpiAwareness = "unaware";
    bool longPathAware = false;

    friend bool operator==(const ExecutableChoices&, const ExecutableChoices&) = default;
};

// A setting whose value is one of a few names; the first name is the default.
struct NamedChoice {
    const char* path;
    std::string ExecutableChoices::*member;
    std::vector<std::string> names;
};

const std::vector<NamedChoice>& namedChoices();
const NamedChoice* namedChoiceByPath(std::string_view path);
// "\"a\", \"b\" or \"c\"", for messages.
std::string choiceNames(const NamedChoice& choice);

constexpr char kLongPathAwarePath[] = "executable.long-path-aware";

}  // namespace tesmo::tools
