#include "core/settings.h"

#include <climits>

namespace tesmo {

std::map<std::int32_t, std::string> narrowSettings;
std::map<std::int32_t, WideString> wideSettings;
std::map<std::int32_t, WideString> localizedSettings;

std::string getSettingString(std::int32_t key, std::size_t capacity) {
    auto found = narrowSettings.find(key);
    if (found == narrowSettings.end()) return {};
    std::string value = found->second;
    truncateToCapacity(value, capacity);
    return value;
}

WideString getSettingWideString(std::int32_t key, std::size_t capacity) {
    return widenBytes(getSettingString(key, capacity));
}

std::optional<WideString> getLocalizedString(std::int32_t key, std::size_t capacity) {
    auto found = localizedSettings.find(key);
    if (found == localizedSettings.end()) return std::nullopt;
    WideString value = found->second;
    truncateToCapacity(value, capacity);
    return value;
}

int parseDecimal(std::string_view text) {
    std::size_t i = 0;
    // The blanks of the C library's isspace in the "C" locale.
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

int getSettingInt(std::int32_t key) {
    return parseDecimal(getSettingString(key, kPathCapacity));
}

std::uint32_t getSettingColour(std::int32_t key) {
    std::string value = getSettingString(key, kPathCapacity);
    std::uint32_t colour = 0;
    std::size_t start = 0;
    for (int component = 0; component < 3 && start <= value.size(); ++component) {
        std::size_t comma = value.find(',', start);
        std::string_view part = std::string_view(value).substr(
            start, comma == std::string::npos ? std::string::npos : comma - start);
        colour |= (static_cast<std::uint32_t>(parseDecimal(part)) & 0xFFu) << (8 * component);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return colour;
}

}  // namespace tesmo
