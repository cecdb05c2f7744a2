#include "tools/raw_config.h"

#include <algorithm>
#include <map>
#include <optional>

#include "tools/record_text.h"

namespace tesmo::tools {

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trimmed(std::string_view text) {
    std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Invalid sequences would reach a wide value as U+FFFD without a word of warning.
bool isValidUtf8(std::string_view text) {
    return toUtf8(fromUtf8(text)) == text;
}

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Resolves the escapes of a value; returns the fault, or an empty text.
std::string unescape(WideView text, WideString& value) {
    const std::string backslashHint = " (write \\\\ for a backslash)";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\') {
            value.push_back(text[i]);
            continue;
        }
        if (++i == text.size()) return "the value ends in a lone backslash" + backslashHint;
        char16_t kind = text[i];
        switch (kind) {
            case u'n':
                value.push_back(u'\n');
                continue;
            case u'r':
                value.push_back(u'\r');
                continue;
            case u't':
                value.push_back(u'\t');
                continue;
            case u'\\':
                value.push_back(u'\\');
                continue;
            case u'x':
            case u'u':
                break;
            default:
                return "unknown escape \\" + toUtf8(text.substr(i, 1)) + backslashHint;
        }
        std::size_t digits = kind == u'x' ? 2 : 4;
        unsigned unit = 0;
        for (std::size_t k = 1; k <= digits; ++k) {
            int digit = i + k < text.size() ? hexDigit(text[i + k]) : -1;
            if (digit < 0) {
                return "\\" + std::string(1, static_cast<char>(kind)) + " needs " +
                       std::to_string(digits) + " hexadecimal digits";
            }
            unit = unit * 16 + static_cast<unsigned>(digit);
        }
        value.push_back(static_cast<char16_t>(unit));
        i += digits;
    }
    return {};
}

struct Assignment {
    bool wide = false;
    std::int32_t key = 0;
    WideString value;
    std::string narrowValue;
};

// KEY=VALUE or wide.KEY=VALUE; `forceWide` makes both forms wide, as inside a localized
// set. Returns the fault, or an empty text.
std::string parseAssignment(std::string_view line, bool forceWide, Assignment& assignment) {
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return "expected KEY=VALUE, wide.KEY=VALUE, include NAME=HOSTPATH or [locale PREFIX]";
    }
    std::string_view keyText = trimmed(line.substr(0, equals));
    assignment.wide = forceWide;
    if (startsWith(keyText, "wide.")) {
        assignment.wide = true;
        keyText.remove_prefix(5);
    }
    std::optional<std::int32_t> key = keyNumber(keyText);
    if (!key) return "\"" + std::string(keyText) + "\" is not a key number";
    assignment.key = *key;

    std::string fault = unescape(fromUtf8(line.substr(equals + 1)), assignment.value);
    if (!fault.empty()) return "key " + std::to_string(*key) + ": " + fault;
    if (!assignment.wide) {
        if (auto beyond = firstBeyondLatin1(assignment.value)) {
            return "key " + std::to_string(*key) + ": " + codePoint(*beyond) +
                   " does not fit narrow text, which holds U+0000 to U+00FF (use wide." +
                   std::to_string(*key) + "=)";
        }
        assignment.narrowValue = latin1(assignment.value);
    }
    return {};
}

std::string alreadySet(std::int32_t key, int line) {
    return "key " + std::to_string(key) + " is already set on line " + std::to_string(line);
}

}  // namespace

namespace {

// What parsing has seen so far, for the checks that span lines.
struct RawParse {
    RawConfig result;
    std::map<std::int32_t, int> narrowLines, wideLines, setLines;
    std::map<std::string, int> prefixLines;
};

// `[locale PREFIX]`: starts a localized set. Returns the fault, or an empty text.
std::string localeLine(std::string_view content, int lineNumber, RawParse& parse) {
    std::string_view inner = trimmed(content);
    if (!startsWith(inner, "[locale") || inner.back() != ']' ||
        (inner.size() > 8 && kBlanks.find(inner[7]) == std::string_view::npos)) {
        return "expected [locale PREFIX]";
    }
    WideString prefix = fromUtf8(trimmed(inner.substr(7, inner.size() - 8)));
    if (auto beyond = firstBeyondLatin1(prefix)) {
        return "the locale prefix holds " + codePoint(*beyond) + ", beyond U+00FF";
    }
    std::string fault;
    auto [found, inserted] = parse.prefixLines.emplace(latin1(prefix), lineNumber);
    if (!inserted) {
        fault = "locale " + quotedUtf8(prefix) + " already starts a section on line " +
                std::to_string(found->second);
    }
    parse.result.description.localized.push_back({latin1(prefix), {}});
    parse.setLines.clear();
    return fault;
}

bool isIncludeLine(std::string_view content) {
    return startsWith(content, "include") && content.size() > 7 &&
           kBlanks.find(content[7]) != std::string_view::npos;
}

// `include NAME=HOSTPATH`. Returns the fault, or an empty text.
std::string includeLine(std::string_view content, int lineNumber, RawParse& parse) {
    std::string_view rest = content.substr(8);
    std::size_t equals = rest.find('=');
    if (equals == std::string_view::npos) return "expected include NAME=HOSTPATH";
    std::string_view hostPath = trimmed(rest.substr(equals + 1));
    if (hostPath.empty()) return "include has no host path after \"=\"";
    parse.result.includes.push_back(
        {fromUtf8(trimmed(rest.substr(0, equals))), std::string(hostPath), lineNumber});
    return {};
}

// KEY=VALUE or wide.KEY=VALUE, at the top level or in the current localized set.
std::string assignmentLine(std::string_view content, int lineNumber, RawParse& parse) {
    BlockDescription& description = parse.result.description;
    bool inSet = !description.localized.empty();
    Assignment assignment;
    std::string fault = parseAssignment(content, inSet, assignment);
    if (!fault.empty()) return fault;
    auto& lines = inSet ? parse.setLines : assignment.wide ? parse.wideLines : parse.narrowLines;
    auto [found, inserted] = lines.emplace(assignment.key, lineNumber);
    if (!inserted) return alreadySet(assignment.key, found->second);
    if (inSet) {
        description.localized.back().records.push_back(
            {assignment.key, std::move(assignment.value)});
    } else if (assignment.wide) {
        description.wide.push_back({assignment.key, std::move(assignment.value)});
    } else {
        description.narrow.push_back({assignment.key, std::move(assignment.narrowValue)});
    }
    return {};
}

std::string rawLine(std::string_view line, int lineNumber, RawParse& parse) {
    if (!isValidUtf8(line)) return "the line is not valid UTF-8";
    std::string_view content = line.substr(std::min(line.find_first_not_of(kBlanks), line.size()));
    if (content.empty() || content[0] == '#') return {};
    if (content[0] == '[') return localeLine(content, lineNumber, parse);
    if (isIncludeLine(content)) return includeLine(content, lineNumber, parse);
    return assignmentLine(content, lineNumber, parse);
}

}  // namespace

RawConfig parseRawConfig(std::string_view text, std::string_view fileName) {
    RawParse parse;
    if (startsWith(text, "\xEF\xBB\xBF")) text.remove_prefix(3);
    int lineNumber = 0;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find('\n', start);
        std::string_view line =
            text.substr(start, end == std::string_view::npos ? end : end - start);
        start = end == std::string_view::npos ? text.size() + 1 : end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string fault = rawLine(line, lineNumber, parse);
        if (!fault.empty()) {
            parse.result.errors.push_back(std::string(fileName) + ":" + std::to_string(lineNumber) +
                                          ": " + fault);
        }
    }
    return parse.result;
}

std::vector<std::string> applyAssignment(BlockDescription& description, std::string_view text,
                                         std::string_view location) {
    if (!isValidUtf8(text)) return {std::string(location) + ": the text is not valid UTF-8"};
    Assignment assignment;
    std::string fault = parseAssignment(text, false, assignment);
    if (!fault.empty()) return {std::string(location) + ": " + fault};
    auto replace = [&](auto& records, auto value) {
        std::erase_if(records, [&](const auto& record) { return record.key == assignment.key; });
        records.push_back({assignment.key, std::move(value)});
    };
    if (assignment.wide) {
        replace(description.wide, std::move(assignment.value));
    } else {
        replace(description.narrow, std::move(assignment.narrowValue));
    }
    return {};
}

}  // namespace tesmo::tools
