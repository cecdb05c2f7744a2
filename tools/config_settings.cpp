#include "tools/config_settings.h"

#include <cstdio>
#include <set>

#include "config/locale.h"
#include "core/command_line.h"
#include "core/keys.h"
#include "runtime/search_sequence.h"
#include "vm/class_path.h"

namespace tesmo::tools {

namespace {

std::vector<SettingShape> makeSpecs() {
    std::vector<SettingShape> shapes;
    for (KeyRole role : {KeyRole::Setting, KeyRole::Message}) {
        for (std::size_t i = 0; i < kKeyTableSize; ++i) {
            const KeyInfo& info = kKeyTable[i];
            if (info.role != role) continue;
            shapes.push_back({info.key, info.kind, info.minimum, info.maximum, info.setting});
        }
    }
    return shapes;
}

std::vector<WideString> split(WideView text, char16_t separator) {
    std::vector<WideString> pieces;
    for (std::size_t start = 0;;) {
        std::size_t end = text.find(separator, start);
        pieces.emplace_back(text.substr(start, end - start));
        if (end == WideView::npos) break;
        start = end + 1;
    }
    return pieces;
}

// A ";"-terminated list of non-empty pieces, without the last (empty) piece.
std::optional<std::vector<WideString>> terminatedPieces(WideView stored) {
    if (stored.empty()) return std::vector<WideString>{};
    if (stored.back() != u';') return std::nullopt;
    std::vector<WideString> pieces = split(stored.substr(0, stored.size() - 1), u';');
    for (const WideString& piece : pieces) {
        if (piece.empty()) return std::nullopt;
    }
    return pieces;
}

}  // namespace

const char* const kExecutableTypeNames = "\"windowed\", \"console\" or \"console-message-boxes\"";

const std::vector<SettingShape>& settingSpecs() {
    static const std::vector<SettingShape> shapes = makeSpecs();
    return shapes;
}

const SettingShape* settingByPath(std::string_view path) {
    for (const SettingShape& shape : settingSpecs()) {
        if (path == shape.path) return &shape;
    }
    return nullptr;
}

const SettingShape* settingByKey(std::int32_t key) {
    for (const SettingShape& shape : settingSpecs()) {
        if (shape.key == key) return &shape;
    }
    return nullptr;
}

std::optional<std::string> flavourLetter(std::string_view name) {
    if (name == "tesmo") return "t";
    if (name == "korvane") return "k";
    return std::nullopt;
}

std::optional<std::string> flavourName(std::string_view letter) {
    if (letter == "t") return "tesmo";
    if (letter == "k") return "korvane";
    return std::nullopt;
}

std::optional<std::string> executableTypeValue(std::string_view name) {
    if (name == "windowed") return "1";
    if (name == "console") return "0";
    if (name == "console-message-boxes") return "5";
    return std::nullopt;
}

std::optional<std::string> executableTypeName(std::string_view value) {
    if (value == "1") return "windowed";
    if (value == "0") return "console";
    if (value == "5") return "console-message-boxes";
    return std::nullopt;
}

std::string versionFault(std::string_view version) {
    bool digits = !version.empty() && version.front() >= '0' && version.front() <= '9' &&
                  version.back() >= '0' && version.back() <= '9';
    for (char c : version) digits = digits && ((c >= '0' && c <= '9') || c == '.' || c == '_');
    if (digits) return {};
    return "\"" + std::string(version) +
           "\" is not a Java version such as \"1.8\", \"11\" or \"1.7.0_51\"; the launcher "
           "compares versions as text";
}

std::string colourTextFault(std::string_view text) {
    std::vector<WideString> parts = split(ascii(text), u',');
    if (parts.size() != 3) {
        return "\"" + std::string(text) + "\" is not three numbers \"red,green,blue\"";
    }
    for (const WideString& part : parts) {
        std::size_t first = part.find_first_not_of(u" \t");
        bool number = first != WideString::npos && part.size() - first <= 3;
        int value = 0;
        for (std::size_t i = first; number && i < part.size(); ++i) {
            number = part[i] >= u'0' && part[i] <= u'9';
            value = value * 10 + (part[i] - u'0');
        }
        if (!number || value > 255) {
            return "\"" + std::string(text) +
                   "\" is not three numbers from 0 to 255 \"red,green,blue\"";
        }
    }
    return {};
}

std::optional<WideString> joinArguments(const std::vector<WideString>& arguments,
                                        std::string& error) {
    WideString joined;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const WideString& argument = arguments[i];
        WideString quoted = argument;
        if (argument.empty() || argument.find_first_of(u" \"'") != WideString::npos) {
            if (argument.find(u'"') == WideString::npos) {
                quoted = u"\"" + argument + u"\"";
            } else if (argument.find(u'\'') == WideString::npos) {
                quoted = u"'" + argument + u"'";
            } else {
                error = "element " + std::to_string(i + 1) + " " + quotedUtf8(argument) +
                        " holds both kinds of quote, which the launcher's splitting of "
                        "arguments cannot pass on; give the whole setting as one string";
                return std::nullopt;
            }
        }
        if (i > 0) joined.push_back(u' ');
        joined += quoted;
    }
    ArgumentList check;
    splitCommandLine(joined, check);
    if (check != arguments) {
        error =
            "the arguments do not survive the launcher's splitting; give the whole setting "
            "as one string";
        return std::nullopt;
    }
    return joined;
}

std::optional<std::vector<WideString>> canonicalArguments(WideView text) {
    ArgumentList arguments;
    splitCommandLine(text, arguments);
    std::string ignored;
    std::optional<WideString> joined = joinArguments(arguments, ignored);
    if (!joined || *joined != text) return std::nullopt;
    return arguments;
}

std::optional<std::vector<WideString>> canonicalPathList(WideView text) {
    if (text.empty()) return std::vector<WideString>{};
    std::vector<WideString> pieces = split(text, u';');
    for (const WideString& piece : pieces) {
        if (piece.empty()) return std::nullopt;
    }
    return pieces;
}

std::optional<WideString> searchEntryText(WideView entry, std::string& error) {
    std::size_t colon = entry.find(u':');
    std::string kind = toUtf8(entry.substr(0, colon));
    WideView text = colon == WideView::npos ? WideView() : entry.substr(colon + 1);
    for (std::size_t i = 0; i < kSearchLetterCount; ++i) {
        const SearchLetter& known = kSearchLetters[i];
        if (kind != known.name) continue;
        if (known.hasText && text.empty()) {
            error = "\"" + kind + "\" needs its text: \"" + kind + ":...\"";
            return std::nullopt;
        }
        if (!known.hasText && colon != WideView::npos) {
            error = "\"" + kind + "\" takes no text after it";
            return std::nullopt;
        }
        if (text.find(u';') != WideView::npos) {
            error = quotedUtf8(entry) + " holds \";\", which separates the search entries";
            return std::nullopt;
        }
        return known.letter + WideString(text);
    }
    error = "unknown search entry " + quotedUtf8(entry) +
            "; use \"bundled:DIRECTORY\", \"directory:DIRECTORY\", \"env:VARIABLE\", "
            "\"registry\", \"vendor-registry\" or \"system-path\"";
    return std::nullopt;
}

std::optional<std::vector<WideString>> canonicalSearchEntries(WideView stored) {
    std::optional<std::vector<WideString>> pieces = terminatedPieces(stored);
    if (!pieces) return std::nullopt;
    std::vector<WideString> entries;
    for (const WideString& piece : *pieces) {
        const SearchLetter* found = findSearchLetter(piece[0]);
        if (!found || found->hasText != (piece.size() > 1)) return std::nullopt;
        WideString entry = ascii(found->name);
        if (found->hasText) entry += u":" + piece.substr(1);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string storedSearchFault(WideView stored) {
    for (const WideString& piece : split(stored, u';')) {
        if (piece.empty()) continue;
        if (!findSearchLetter(piece[0])) {
            return "the entry " + quotedUtf8(piece) +
                   " does not start with a search letter (A, B, R, E, S, Y or V); the launcher "
                   "would skip it";
        }
    }
    return {};
}

const char* classPathTypeName(char16_t type) {
    const ClassPathLetter* known = findClassPathLetter(type);
    return known ? known->name : nullptr;
}

char16_t classPathType(std::string_view name) {
    for (std::size_t i = 0; i < kClassPathLetterCount; ++i) {
        if (name == kClassPathLetters[i].name) return kClassPathLetters[i].letter;
    }
    return 0;
}

WideString classPathText(const std::vector<ClassPathEntry>& entries) {
    WideString text;
    for (const ClassPathEntry& entry : entries) {
        text.push_back(entry.type);
        text.push_back(entry.required ? u'1' : u'0');
        text += entry.value + u";";
    }
    return text;
}

std::optional<std::vector<ClassPathEntry>> canonicalClassPath(WideView stored) {
    std::optional<std::vector<WideString>> pieces = terminatedPieces(stored);
    if (!pieces) return std::nullopt;
    std::vector<ClassPathEntry> entries;
    for (const WideString& piece : *pieces) {
        if (piece.size() < 3 || !classPathTypeName(piece[0]) ||
            (piece[1] != u'0' && piece[1] != u'1')) {
            return std::nullopt;
        }
        entries.push_back({piece[0], piece[1] == u'1', piece.substr(2)});
    }
    return entries;
}

std::string storedClassPathFault(WideView stored) {
    for (const WideString& piece : split(stored, u';')) {
        if (piece.empty()) continue;
        if (piece.size() < 3) {
            return "the entry " + quotedUtf8(piece) +
                   " is shorter than a type letter, a required flag and a value";
        }
        if (!classPathTypeName(piece[0])) {
            return "the entry " + quotedUtf8(piece) +
                   " does not start with a type letter (A, D, E or S); the launcher would add "
                   "nothing for it";
        }
    }
    return {};
}

bool matchesSomeLocale(std::string_view prefix) {
    static const std::set<std::string> locales = [] {
        std::set<std::string> all;
        for (unsigned id = 0; id <= 0xFFFF; ++id) {
            all.insert(localeForLanguage(static_cast<std::uint16_t>(id)));
        }
        return all;
    }();
    for (const std::string& locale : locales) {
        if (startsWith(std::string_view(locale), prefix)) return true;
    }
    return false;
}

}  // namespace tesmo::tools
