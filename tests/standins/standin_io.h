// What the stand-ins share: UTF-8 text, their own directory, and the records they leave
// there for the tests to read.
#pragma once

#include <windows.h>

#include <cwchar>
#include <optional>
#include <string>

namespace standin {

inline std::string toUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

inline std::wstring modulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// With the trailing backslash, so that a file name can be appended directly.
inline std::wstring moduleDirectory(HMODULE module) {
    std::wstring path = modulePath(module);
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

// Several probes of one runtime may run at once and must not lose each other's lines. On
// Windows a handle with only FILE_APPEND_DATA writes atomically at the end; Wine finds the
// end and writes there in two steps, so two processes can write to the same offset. A mutex
// named by the file's identity closes that gap whatever path form (short or long) each
// process knows the file by; a holder that is terminated abandons it, which still hands it on.
inline bool appendLine(const std::wstring& path, const std::string& line) {
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    HANDLE lock = nullptr;
    BY_HANDLE_FILE_INFORMATION identity;
    if (GetFileInformationByHandle(file, &identity)) {
        wchar_t name[64];
        swprintf(name, 64, L"Local\\tesmo-standin-%08lx-%08lx%08lx",
                 static_cast<unsigned long>(identity.dwVolumeSerialNumber),
                 static_cast<unsigned long>(identity.nFileIndexHigh),
                 static_cast<unsigned long>(identity.nFileIndexLow));
        lock = CreateMutexW(nullptr, FALSE, name);
    }
    if (lock != nullptr) WaitForSingleObject(lock, 10000);
    std::string text = line + "\n";
    DWORD written = 0;
    bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size();
    CloseHandle(file);
    if (lock != nullptr) {
        ReleaseMutex(lock);
        CloseHandle(lock);
    }
    return ok;
}

inline std::optional<std::string> readFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string content;
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0) {
        content.append(buffer, got);
    }
    CloseHandle(file);
    if (!ok) return std::nullopt;
    return content;
}

// Standard handles may be missing: a prober that wants only standard error leaves the others
// empty.
inline void writeHandle(DWORD which, const std::string& bytes) {
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || bytes.empty()) return;
    DWORD written = 0;
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace standin
