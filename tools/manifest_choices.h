// The [executable] choices that are not records of the block: the architecture, which says
// which stub a launcher is built from, and what the stub's application manifest asks of
// Windows.
#pragma once

#include <cstdint>
#include <optional>
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

constexpr std::uint16_t kResourceTypeManifest = 24;

// Whether the choices ask for anything but the stub's own manifest.
bool changesManifest(const ExecutableChoices& choices);

// The stub's manifest with the choices made: the requested execution level replaced and
// the DPI and long path settings added as windows settings at the end of the assembly;
// everything else as the stub has it. Empty, with `error` set, when the manifest has no
// place for a choice.
std::string applyManifestChoices(std::string_view manifest, const ExecutableChoices& choices,
                                 std::string& error);

// The choices applyManifestChoices made in `manifest` (with the default architecture);
// nothing when the manifest is not one it gives.
std::optional<ExecutableChoices> readManifestChoices(std::string_view manifest);

}  // namespace tesmo::tools
