#include "tools/manifest_choices.h"

#include <utility>

namespace tesmo::tools {

namespace {

struct Level {
    const char* choice;
    const char* manifest;
};

const Level kLevels[] = {{"as-invoker", "asInvoker"},
                         {"highest-available", "highestAvailable"},
                         {"require-administrator", "requireAdministrator"}};

struct DpiSetting {
    const char* choice;
    const char* dpiAware;      // what Windows before 10 (1607) reads
    const char* dpiAwareness;  // what later Windows reads, ignoring dpiAware
};

const DpiSetting kDpiSettings[] = {{"unaware", nullptr, nullptr},
                                   {"system", "true", "System"},
                                   {"per-monitor-v2", "true/pm", "PerMonitorV2, PerMonitor"}};

constexpr char kLevelAttribute[] = " level=\"";

// Where the value of the requested execution level starts, and its length.
std::optional<std::pair<std::size_t, std::size_t>> levelValue(std::string_view manifest) {
    std::size_t element = manifest.find("<requestedExecutionLevel");
    std::size_t end = manifest.find('>', element);
    std::size_t attribute = manifest.find(kLevelAttribute, element);
    if (element == std::string_view::npos || attribute == std::string_view::npos ||
        attribute > end) {
        return std::nullopt;
    }
    std::size_t start = attribute + sizeof kLevelAttribute - 1;
    std::size_t close = manifest.find('"', start);
    if (close == std::string_view::npos || close > end) return std::nullopt;
    return std::make_pair(start, close - start);
}

// The windows settings element for the choices, indented as the stub's manifest is; empty
// when they ask for none.
std::string windowsSettings(const ExecutableChoices& choices) {
    std::string settings;
    for (const DpiSetting& dpi : kDpiSettings) {
        if (choices.dpiAwareness != dpi.choice || !dpi.dpiAware) continue;
        settings += std::string(
                        "      <dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/"
                        "WindowsSettings\">") +
                    dpi.dpiAware + "</dpiAware>\n";
        settings += std::string(
                        "      <dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/"
                        "2016/WindowsSettings\">") +
                    dpi.dpiAwareness + "</dpiAwareness>\n";
    }
    if (choices.longPathAware) {
        settings +=
            "      <longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/"
            "WindowsSettings\">true</longPathAware>\n";
    }
    if (settings.empty()) return {};
    return "  <application xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n    <windowsSettings>\n" +
           settings + "    </windowsSettings>\n  </application>\n";
}

template <typename Row, std::size_t count>
std::vector<std::string> choicesOf(const Row (&table)[count]) {
    std::vector<std::string> names;
    for (const Row& row : table) names.emplace_back(row.choice);
    return names;
}

}  // namespace

const std::vector<NamedChoice>& namedChoices() {
    static const std::vector<NamedChoice> choices = {
        {"executable.architecture", &ExecutableChoices::architecture, {"x86", "x64"}},
        {"executable.execution-level", &ExecutableChoices::executionLevel, choicesOf(kLevels)},
        {"executable.dpi-awareness", &ExecutableChoices::dpiAwareness, choicesOf(kDpiSettings)},
    };
    return choices;
}

const NamedChoice* namedChoiceByPath(std::string_view path) {
    for (const NamedChoice& choice : namedChoices()) {
        if (path == choice.path) return &choice;
    }
    return nullptr;
}

std::string choiceNames(const NamedChoice& choice) {
    std::string text;
    for (std::size_t i = 0; i < choice.names.size(); ++i) {
        if (i > 0) text += i + 1 == choice.names.size() ? " or " : ", ";
        text += "\"" + choice.names[i] + "\"";
    }
    return text;
}

bool changesManifest(const ExecutableChoices& choices) {
    ExecutableChoices defaults;
    return choices.executionLevel != defaults.executionLevel ||
           choices.dpiAwareness != defaults.dpiAwareness ||
           choices.longPathAware != defaults.longPathAware;
}

std::string applyManifestChoices(std::string_view manifest, const ExecutableChoices& choices,
                                 std::string& error) {
    std::string out(manifest);
    if (choices.executionLevel != ExecutableChoices().executionLevel) {
        auto value = levelValue(out);
        if (!value) {
            error = "the stub's manifest has no requestedExecutionLevel with a level";
            return {};
        }
        for (const Level& level : kLevels) {
            if (choices.executionLevel == level.choice)
                out.replace(value->first, value->second, level.manifest);
        }
    }
    if (std::string settings = windowsSettings(choices); !settings.empty()) {
        std::size_t end = out.rfind("</assembly>");
        // A second windowsSettings element would make Windows refuse the manifest.
        if (end == std::string::npos || out.find("windowsSettings") != std::string::npos) {
            error =
                "the stub's manifest has no end of its assembly or already has windows "
                "settings";
            return {};
        }
        out.insert(end, settings);
    }
    return out;
}

std::optional<ExecutableChoices> readManifestChoices(std::string_view manifest) {
    ExecutableChoices choices;
    std::string stub(manifest);
    if (auto value = levelValue(stub)) {
        std::string_view level = std::string_view(stub).substr(value->first, value->second);
        for (const Level& known : kLevels) {
            if (level == known.manifest) choices.executionLevel = known.choice;
        }
        stub.replace(value->first, value->second, kLevels[0].manifest);
    }
    for (const DpiSetting& dpi : kDpiSettings) {
        for (bool longPaths : {false, true}) {
            ExecutableChoices candidate = choices;
            candidate.dpiAwareness = dpi.choice;
            candidate.longPathAware = longPaths;
            std::string settings = windowsSettings(candidate);
            std::size_t at = settings.empty() ? std::string::npos : stub.find(settings);
            if (at == std::string::npos) continue;
            stub.erase(at, settings.size());
            choices = candidate;
        }
    }
    std::string error;
    if (applyManifestChoices(stub, choices, error) != manifest) return std::nullopt;
    return choices;
}

}  // namespace tesmo::tools
