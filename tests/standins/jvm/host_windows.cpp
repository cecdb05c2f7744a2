#include "host_windows.h"

#include <cstdlib>

#include "../standin_io.h"

namespace standin::jvm {
namespace {

void writeAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string toAnsi(const std::wstring& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

int callVfprintf(const Hooks& hooks, FILE* stream, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int result = hooks.vfprintf(stream, format, arguments);
    va_end(arguments);
    return result;
}

}  // namespace

std::wstring wide(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

std::u16string utf16(const std::wstring& text) {
    return std::u16string(text.begin(), text.end());
}

bool WindowsFiles::isDirectory(const std::u16string& path) {
    DWORD attributes = GetFileAttributesW(wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::vector<std::uint8_t>> WindowsFiles::readFile(const std::u16string& path) {
    auto content = standin::readFile(wide(path));
    if (!content) return std::nullopt;
    return std::vector<std::uint8_t>(content->begin(), content->end());
}

WindowsHost::WindowsHost(HMODULE module) : directory_(standin::moduleDirectory(module)) {
    recordPath_ = directory_ + L"jvm-launch-" + std::to_wstring(GetCurrentProcessId()) + L".json";
}

// Written whole under another name and renamed over the record, so that a reader, or a
// process ended by System.exit, never leaves half a document behind.
void WindowsHost::persist(const std::string& json) {
    std::wstring temporary = recordPath_ + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    writeAll(file, json);
    CloseHandle(file);
    MoveFileExW(temporary.c_str(), recordPath_.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void WindowsHost::printError(const std::u16string& text) {
    std::string bytes = toAnsi(wide(text));
    if (hooks_.vfprintf != nullptr) {
        callVfprintf(hooks_, stderr, "%s", bytes.c_str());
        return;
    }
    standin::writeHandle(STD_ERROR_HANDLE, bytes);
}

void WindowsHost::fatal(const std::string& message) {
    appendLoadRecord("fatal " + message);
    die(message);
}

void WindowsHost::die(const std::string& message) {
    standin::writeHandle(STD_ERROR_HANDLE, "jvm stand-in: " + message + "\r\n");
    if (hooks_.abort != nullptr) hooks_.abort();
    std::abort();
}

std::u16string WindowsHost::decodeOption(std::string_view bytes) {
    if (bytes.empty()) return {};
    int size =
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), result.data(),
                        size);
    return utf16(result);
}

void WindowsHost::appendLoadRecord(const std::string& line) {
    standin::appendLine(directory_ + L"jvm-record.txt", line);
}

void WindowsHost::mainCalled() {
    standin::appendLine(directory_ + L"jvm-main.txt", "main");
}

void WindowsHost::exitProcess(long code) {
    if (hooks_.exit != nullptr) hooks_.exit(code);
    ExitProcess(static_cast<UINT>(code));
}

}  // namespace standin::jvm
