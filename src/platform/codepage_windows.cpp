#include <stdlib.h>

#include "platform/text_windows.h"

namespace tesmo {

namespace {

// The code page the file functions use; asked afresh each time because a process can
// switch its file functions to OEM.
UINT fileCodePage() {
    return AreFileApisANSI() ? CP_ACP : CP_OEMCP;
}

}  // namespace

std::string toNarrow(WideView text, bool* defaultUsed) {
    if (defaultUsed) *defaultUsed = false;
    if (text.empty()) return {};
    const wchar_t* source = reinterpret_cast<const wchar_t*>(text.data());
    int length = static_cast<int>(text.size());
    UINT codePage = fileCodePage();
    // UTF-8 and a few other code pages refuse the default-character arguments.
    bool canReport = codePage != CP_UTF8 && GetACP() != CP_UTF8;
    BOOL used = FALSE;
    int size = WideCharToMultiByte(codePage, 0, source, length, nullptr, 0,
                                   canReport ? "?" : nullptr, canReport ? &used : nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, source, length, out.data(), size, canReport ? "?" : nullptr,
                        canReport ? &used : nullptr);
    if (defaultUsed) *defaultUsed = used != FALSE;
    return out;
}

WideString toWide(std::string_view text) {
    if (text.empty()) return {};
    int length = static_cast<int>(text.size());
    int size = MultiByteToWideChar(fileCodePage(), 0, text.data(), length, nullptr, 0);
    if (size <= 0) return {};
    WideString out(static_cast<std::size_t>(size), u'\0');
    MultiByteToWideChar(fileCodePage(), 0, text.data(), length, asWindows(out), size);
    return out;
}

bool readEnvironment(const wchar_t* name, WideString& value) {
    value.clear();
    DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed == 0) return false;
    WideString buffer(needed, u'\0');
    DWORD length = GetEnvironmentVariableW(name, asWindows(buffer), needed);
    if (length >= needed) return false;
    buffer.resize(length);
    value = std::move(buffer);
    return true;
}

bool writeEnvironment(const wchar_t* name, const WideString& value) {
    constexpr std::size_t kEnvironmentValueLimit = 32767;
    if (value.size() > kEnvironmentValueLimit) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (!SetEnvironmentVariableW(name, asWindows(value))) return false;
    WideString assignment = fromWindows(name) + u"=" + value;
    _wputenv(asWindows(assignment));
    return true;
}

}  // namespace tesmo
