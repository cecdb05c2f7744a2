// The JSON a test reads back: objects written field by field, strings from UTF-16.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace standin::jvm {

// Unpaired surrogates cannot be written in UTF-8; they become U+FFFD.
inline std::string jsonString(std::wstring_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint16_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDFFF) {
            bool paired =
                c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
            c = paired ? 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00) : 0xFFFD;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out + "\"";
}

class JsonObject {
  public:
    JsonObject& raw(std::string_view key, std::string_view json) {
        text_ += text_.size() > 1 ? ",\"" : "\"";
        text_ += key;
        text_ += "\":";
        text_ += json;
        return *this;
    }
    JsonObject& set(std::string_view key, std::wstring_view value) {
        return raw(key, jsonString(value));
    }
    JsonObject& set(std::string_view key, const wchar_t* value) {
        return raw(key, value ? jsonString(value) : "null");
    }
    template <class T, class = std::enable_if_t<std::is_integral_v<T>>>
    JsonObject& set(std::string_view key, T value) {
        if constexpr (std::is_same_v<T, bool>) {
            return raw(key, value ? "true" : "false");
        } else {
            return raw(key, std::to_string(value));
        }
    }
    JsonObject& maybe(std::string_view key, const std::optional<std::wstring>& value) {
        return raw(key, value ? jsonString(*value) : "null");
    }
    std::string text() const { return text_ + "}"; }

  private:
    std::string text_ = "{";
};

inline std::string jsonArray(const std::vector<std::string>& items) {
    std::string out = "[";
    for (const auto& item : items) out += (out.size() > 1 ? "," : "") + item;
    return out + "]";
}

}  // namespace standin::jvm
