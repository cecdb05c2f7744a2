// Echo program for the tests of the test rig: its standard output is the command line it
// received, byte for byte in UTF-8, and its standard error its environment block, one
// variable a line, so a test can see exactly what a starter passed.
#include <windows.h>

#include <cwchar>
#include <string>

namespace {

void writeUtf8(DWORD which, const wchar_t* text, int length) {
    if (length == 0) return;
    int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, bytes.data(), size, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
}

}  // namespace

int wmain() {
    const wchar_t* line = GetCommandLineW();
    writeUtf8(STD_OUTPUT_HANDLE, line, static_cast<int>(std::wcslen(line)));

    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        writeUtf8(STD_ERROR_HANDLE, entry, static_cast<int>(std::wcslen(entry)));
        writeUtf8(STD_ERROR_HANDLE, L"\n", 1);
    }
    FreeEnvironmentStringsW(block);

    // Lets a test check that the starter hands on the exit code.
    wchar_t code[16];
    DWORD length = GetEnvironmentVariableW(L"ARGECHO_EXIT_CODE", code, 16);
    return length > 0 && length < 16 ? static_cast<int>(std::wcstol(code, nullptr, 10)) : 0;
}
