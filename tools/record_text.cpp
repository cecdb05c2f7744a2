#include "tools/record_text.h"

#include <climits>
#include <cstdio>

#include "core/keys.h"

namespace tesmo::tools {

std::optional<char32_t> firstBeyondLatin1(WideView text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] > 0xFF) return characterAt(text, i);
    }
    return std::nullopt;
}

std::string latin1(WideView text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (char16_t c : text) bytes.push_back(static_cast<char>(c <= 0xFF ? c : '?'));
    return bytes;
}

std::string codePoint(char32_t c) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return text;
}

char32_t characterAt(WideView text, std::size_t at) {
    char32_t c = text[at];
    if (c >= 0xD800 && c <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
        text[at + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[at + 1] - 0xDC00);
    }
    return c;
}

std::string quotedUtf8(WideView text) {
    return "\"" + toUtf8(text) + "\"";
}

WideString foldedName(WideView name) {
    WideString folded(name);
    for (char16_t& c : folded) {
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) c -= 0x20;
    }
    return folded;
}

std::optional<std::int32_t> keyNumber(std::string_view text) {
    bool digits = !text.empty() && text.size() <= 10;
    long long value = 0;
    for (char c : text) {
        digits = digits && c >= '0' && c <= '9';
        value = value * 10 + (c - '0');
    }
    if (!digits || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::string capacityFault(std::int32_t key, std::size_t length) {
    const KeyInfo* info = findKey(key);
    std::size_t capacity = info ? info->capacity : kPathCapacity;
    if (length <= capacity - 1) return {};
    return "the value has " + std::to_string(length) +
           " characters, but the launcher reads at most " + std::to_string(capacity - 1);
}

}  // namespace tesmo::tools
