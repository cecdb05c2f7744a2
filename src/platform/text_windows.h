// The bridge between the core's UTF-16 strings and the wide Windows API. Windows code only.
#pragma once

#include <windows.h>

#include "platform/text.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

namespace tesmo {

inline const wchar_t* asWindows(const WideString& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline wchar_t* asWindows(WideString& text) {
    return reinterpret_cast<wchar_t*>(text.data());
}

inline WideString fromWindows(const wchar_t* text) {
    return text ? WideString(reinterpret_cast<const char16_t*>(text)) : WideString();
}

inline WideString fromWindows(const wchar_t* text, std::size_t length) {
    return WideString(reinterpret_cast<const char16_t*>(text), length);
}

// Runs a Windows call that fills a wide buffer of kPathCapacity characters and returns
// the length it wrote; a result that did not fit counts as failure (empty text).
template <typename Call>
WideString fillWideBuffer(Call call) {
    WideString buffer(kPathCapacity, u'\0');
    DWORD length = call(asWindows(buffer), static_cast<DWORD>(kPathCapacity));
    if (length == 0 || length >= kPathCapacity) return {};
    buffer.resize(length);
    return buffer;
}

// An environment variable, or nothing when it is not set.
bool readEnvironment(const wchar_t* name, WideString& value);

// Sets a variable in the process environment and in the C runtime's own copy, which the
// runtime library and programs started through the C runtime read. Windows refuses values
// beyond 32767 characters; Wine takes them but hands back only that much, which would cut
// a PATH inside an entry, so such a value is refused here (false, last error set).
bool writeEnvironment(const wchar_t* name, const WideString& value);

}  // namespace tesmo
