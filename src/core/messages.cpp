#include "core/messages.h"

#include "core/settings.h"

namespace tesmo {

namespace {

template <typename String>
String substitute(String text, const String* argument) {
    if (!argument) return text;
    using Char = typename String::value_type;
    const Char placeholder[] = {'{', '0', '}', 0};
    std::size_t at = text.find(placeholder);
    if (at != String::npos) text.replace(at, 3, *argument);
    truncateToCapacity(text, kMessageCapacity);
    return text;
}

}  // namespace

std::string substituteArgument(std::string text, const std::string* argument) {
    return substitute(std::move(text), argument);
}

WideString substituteArgument(WideString text, const WideString* argument) {
    return substitute(std::move(text), argument);
}

std::optional<WideString> localizedMessage(int messageId, const WideString* argument) {
    std::optional<WideString> text = getLocalizedString(messageId, kMessageCapacity);
    if (!text) return std::nullopt;
    return substituteArgument(std::move(*text), argument);
}

WideString composeMessage(WideView text, const std::optional<WideString>& logPath) {
    WideString message(text);
    if (logPath) {
        message.append(u"\n\nLog: ");
        message.append(*logPath);
    }
    truncateToCapacity(message, kMessageCapacity);
    return message;
}

}  // namespace tesmo
