// UTF-16 text helpers shared by every subsystem. Platform-neutral: the code-page
// conversions are declared here and supplied by the platform layer (the Windows
// code pages on Windows, a Latin-1 stand-in in the native test build).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tesmo {

// Capacity of every path buffer, in characters including the terminator.
constexpr std::size_t kPathCapacity = 6000;

using WideString = std::u16string;
using WideView = std::u16string_view;

// ASCII text to UTF-16; for literals and other 7-bit text only.
WideString ascii(std::string_view text);

// Each byte becomes the code unit of the same number (0xE9 -> U+00E9).
WideString widenBytes(std::string_view bytes);

// Cuts `text` so that it fits a buffer of `capacity` characters including the terminator.
template <typename String>
void truncateToCapacity(String& text, std::size_t capacity) {
    if (capacity == 0) {
        text.clear();
    } else if (text.size() > capacity - 1) {
        text.resize(capacity - 1);
    }
}

// Lowers A-Z only; every other code unit stays as it is.
void lowerAscii(WideString& text);
void upperAscii(WideString& text);

bool startsWith(WideView text, WideView prefix);
bool startsWith(std::string_view text, std::string_view prefix);

// Decimal text of a signed number.
WideString decimal(long long value);

// UTF-8 <-> UTF-16 for files and tools that speak UTF-8; invalid input becomes U+FFFD.
std::string toUtf8(WideView text);
WideString fromUtf8(std::string_view text);

// Conversions through the narrow code page of the file functions. `defaultUsed`
// reports a character that the code page cannot represent (it becomes "?").
std::string toNarrow(WideView text, bool* defaultUsed = nullptr);
WideString toWide(std::string_view text);

}  // namespace tesmo
