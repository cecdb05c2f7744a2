// Small facts about record values that the raw form, the configuration file and the printer
// all need: how narrow text holds characters, how the launcher compares names, how long
// a value may be and what a key number looks like.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace tesmo::tools {

// The launcher compares a locale prefix of at most this many characters.
constexpr std::size_t kMaximumPrefixLength = 8;

// Narrow records hold one byte per character: U+0000 to U+00FF.
std::optional<char32_t> firstBeyondLatin1(WideView text);
std::string latin1(WideView text);
// "U+00E9"
std::string codePoint(char32_t c);
// The character that starts at `at`, with a surrogate pair taken as one.
char32_t characterAt(WideView text, std::size_t at);
// The text in double quotes, as messages show a value.
std::string quotedUtf8(WideView text);

// Windows compares file names without regard to case.
WideString foldedName(WideView name);

// A decimal key number of at most ten digits that fits a signed 32-bit key.
std::optional<std::int32_t> keyNumber(std::string_view text);

// Why a narrow value of `length` characters is too long for the reading sites of `key`
// ("the value has ..."), or an empty text.
std::string capacityFault(std::int32_t key, std::size_t length);

}  // namespace tesmo::tools
