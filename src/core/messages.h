// Composing the texts of failure messages: argument substitution and the log suffix.
#pragma once

#include <optional>
#include <string>

#include "platform/text.h"

namespace tesmo {

// Capacity of a composed message in characters, terminator included.
constexpr std::size_t kMessageCapacity = 6000;

// Replaces the first "{0}" by `argument`; later ones stay. Without an argument the text
// is returned unchanged, "{0}" included.
std::string substituteArgument(std::string text, const std::string* argument);
WideString substituteArgument(WideString text, const WideString* argument);

// The text of a message key in the user's language: the matching localized set's, cut to
// the message capacity like the narrow text, with the argument substituted; nothing when
// no matching set carries the key.
std::optional<WideString> localizedMessage(int messageId, const WideString* argument);

// The text, then an empty line and "Log: " with the log path when the log is on; cut to
// the message capacity.
WideString composeMessage(WideView text, const std::optional<WideString>& logPath);

}  // namespace tesmo
