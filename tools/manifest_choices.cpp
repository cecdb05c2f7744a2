#include "tools/manifest_choices.h"

namespace tesmo::tools {

const std::vector<NamedChoice>& namedChoices() {
    static const std::vector<NamedChoice> choices = {
        {"executable.architecture", &ExecutableChoices::architecture, {"x86", "x64"}},
        {"executable.execution-level",
         &ExecutableChoices::executionLevel,
         {"as-invoker", "highest-available", "require-administrator"}},
        {"executable.dpi-awareness",
         &ExecutableChoices::dpiAwareness,
         {"unaware", "system", "per-monitor-v2"}},
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

}  // namespace tesmo::tools
