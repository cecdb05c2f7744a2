#include "text.h"

#include <algorithm>
#include <cstdint>

namespace standin::jvm {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

void appendUtf16(std::u16string& out, std::uint32_t code) {
    if (code < 0x10000) {
        out.push_back(static_cast<char16_t>(code));
    } else {
        code -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 | (code >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 | (code & 0x3FF)));
    }
}

bool isHigh(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLow(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// One sequence of one to three bytes starting at `at`, or nothing when malformed; the
// smallest value each length may carry rejects overlong forms, except the JVM's C0 80.
bool decodeShort(std::string_view text, std::size_t at, bool allowNulPair, std::uint32_t& code,
                 std::size_t& length) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    auto continuation = [&](std::size_t i) { return i < text.size() && (byte(i) & 0xC0) == 0x80; };
    unsigned char lead = byte(at);
    if (lead < 0x80) {
        code = lead;
        length = 1;
        return true;
    }
    if ((lead & 0xE0) == 0xC0 && continuation(at + 1)) {
        code = ((lead & 0x1Fu) << 6) | (byte(at + 1) & 0x3Fu);
        length = 2;
        return code >= 0x80 || (allowNulPair && code == 0);
    }
    if ((lead & 0xF0) == 0xE0 && continuation(at + 1) && continuation(at + 2)) {
        code = ((lead & 0x0Fu) << 12) | ((byte(at + 1) & 0x3Fu) << 6) | (byte(at + 2) & 0x3Fu);
        length = 3;
        return code >= 0x800;
    }
    return false;
}

}  // namespace

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (isHigh(c) && i + 1 < text.size() && isLow(text[i + 1])) {
            appendUtf8(out, 0x10000 + ((std::uint32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (isHigh(c) || isLow(c)) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        std::uint32_t code = 0;
        std::size_t length = 0;
        if (decodeShort(text, i, false, code, length)) {
            if (code >= 0xD800 && code <= 0xDFFF) code = kReplacement;
            appendUtf16(out, code);
            i += length;
            continue;
        }
        auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
        unsigned char lead = byte(i);
        if ((lead & 0xF8) == 0xF0 && i + 3 < text.size() && (byte(i + 1) & 0xC0) == 0x80 &&
            (byte(i + 2) & 0xC0) == 0x80 && (byte(i + 3) & 0xC0) == 0x80) {
            code = ((lead & 0x07u) << 18) | ((byte(i + 1) & 0x3Fu) << 12) |
                   ((byte(i + 2) & 0x3Fu) << 6) | (byte(i + 3) & 0x3Fu);
            if (code >= 0x10000 && code <= 0x10FFFF) {
                appendUtf16(out, code);
                i += 4;
                continue;
            }
        }
        out.push_back(kReplacement);
        ++i;
    }
    return out;
}

std::u16string modifiedUtf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        std::uint32_t code = 0;
        std::size_t length = 0;
        if (decodeShort(text, i, true, code, length) && !(length == 1 && code == 0)) {
            out.push_back(static_cast<char16_t>(code));
            i += length;
        } else {
            out.push_back(kReplacement);
            ++i;
        }
    }
    return out;
}

std::string utf16ToModifiedUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c == 0) {
            out += "\xC0\x80";
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

bool isModifiedUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        std::uint32_t code = 0;
        std::size_t length = 0;
        if (!decodeShort(text, i, true, code, length) || (length == 1 && code == 0)) return false;
        i += length;
    }
    return true;
}

std::u16string latin1ToUtf16(std::string_view bytes) {
    std::u16string out(bytes.size(), u'\0');
    std::transform(bytes.begin(), bytes.end(), out.begin(),
                   [](char c) { return static_cast<char16_t>(static_cast<unsigned char>(c)); });
    return out;
}

std::string dottedName(std::string_view internalName) {
    std::string out(internalName);
    std::replace(out.begin(), out.end(), '/', '.');
    return out;
}

std::string internalName(std::string_view dottedName) {
    std::string out(dottedName);
    std::replace(out.begin(), out.end(), '.', '/');
    return out;
}

}  // namespace standin::jvm
