#include "expansion/variables.h"
#include "platform/text_windows.h"
#include "runtime/runtime_windows.h"

namespace tesmo {

namespace {

std::optional<WideString> variable(const WideString& name) {
    WideString value;
    if (!readEnvironment(asWindows(name), value)) return std::nullopt;
    return value;
}

WideString javaOnPath() {
    return fillWideBuffer([](wchar_t* buffer, DWORD size) {
        return SearchPathW(nullptr, L"java.exe", nullptr, size, buffer, nullptr);
    });
}

std::optional<std::string> readFileStart(const WideString& path, std::size_t capacity) {
    HANDLE file = CreateFileW(asWindows(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string content(capacity, '\0');
    DWORD got = 0;
    BOOL read = ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &got, nullptr);
    CloseHandle(file);
    if (!read) return std::nullopt;
    content.resize(got);
    return content;
}

const SearchSources kWindowsSearch = {
    kWindowsInstallation,  kWindowsRegistry, [](WideString& text) { expandVariables(text); },
    &preparePackedRuntime, &variable,        &javaOnPath,
    &readFileStart,
};

}  // namespace

SearchResult findJvm(WideString& javaExe, WideString& foundText) {
    return findJvm(kWindowsSearch, javaExe, foundText);
}

}  // namespace tesmo
