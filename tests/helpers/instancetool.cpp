// The end-to-end tests' hands on the windows of running launchers: it reports and minimises
// a process's windows, ends a process, shows plain windows of its own, and calls the
// launcher's own window counting (linked in) with a console, which no launcher start under
// the rig has.
//
//   instancetool windows --pid N --out F        visible top-level windows of N and the foreground
//   instancetool minimize --pid N               minimises each visible top-level window of N
//   instancetool end --pid N                    ends process N with exit code 9
//   instancetool show --title T --count K --ms N [--ready-file F]
//                                               shows K windows "T 1".."T K" for N ms
//   instancetool console --type T [--fake 1] --out F
//       counts its own windows with a console (a real one, or with --fake one of its own
//       windows playing the console window through the console-title calls) and key 107 = T
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "core/settings.h"
#include "instance/window_activation.h"
#include "platform/system_calls_windows.h"

namespace {

constexpr int kExitUsage = 2;

std::string narrow(const std::wstring& text) {
    std::string result;
    for (wchar_t c : text) result.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return result;
}

std::string json(const std::string& text) {
    std::string result = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') result.push_back('\\');
        result.push_back(c);
    }
    return result + "\"";
}

std::string number(const void* handle) {
    return std::to_string(reinterpret_cast<UINT_PTR>(handle));
}

bool writeFile(const std::wstring& path, const std::string& content) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok =
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
        written == content.size();
    CloseHandle(file);
    return ok;
}

std::optional<std::wstring> option(int argc, wchar_t** argv, const wchar_t* name) {
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::wstring(argv[i]) == std::wstring(L"--") + name) return std::wstring(argv[i + 1]);
    }
    return std::nullopt;
}

DWORD numberOption(int argc, wchar_t** argv, const wchar_t* name, DWORD fallback) {
    auto text = option(argc, argv, name);
    return text ? static_cast<DWORD>(std::wcstoul(text->c_str(), nullptr, 10)) : fallback;
}

struct Search {
    DWORD process;
    std::vector<HWND> windows;
};

BOOL CALLBACK collect(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.process && IsWindowVisible(window)) search.windows.push_back(window);
    return TRUE;
}

std::vector<HWND> visibleWindows(DWORD process) {
    Search search{process, {}};
    EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

std::string windowTitle(HWND window) {
    wchar_t title[256] = {};
    GetWindowTextW(window, title, 256);
    return narrow(title);
}

int windows(int argc, wchar_t** argv) {
    DWORD process = numberOption(argc, argv, L"pid", 0);
    auto out = option(argc, argv, L"out");
    if (process == 0 || !out) return kExitUsage;
    HWND foreground = GetForegroundWindow();
    DWORD foregroundProcess = 0;
    if (foreground != nullptr) GetWindowThreadProcessId(foreground, &foregroundProcess);
    std::string text = "{\"foreground\": " + number(foreground) +
                       ", \"foregroundPid\": " + std::to_string(foregroundProcess) +
                       ", \"windows\": [";
    bool first = true;
    for (HWND window : visibleWindows(process)) {
        text += std::string(first ? "" : ", ") + "{\"handle\": " + number(window) +
                ", \"title\": " + json(windowTitle(window)) +
                ", \"iconic\": " + (IsIconic(window) ? "true" : "false") + "}";
        first = false;
    }
    return writeFile(*out, text + "]}\n") ? 0 : 1;
}

int minimize(int argc, wchar_t** argv) {
    DWORD process = numberOption(argc, argv, L"pid", 0);
    if (process == 0) return kExitUsage;
    std::vector<HWND> found = visibleWindows(process);
    for (HWND window : found) ShowWindow(window, SW_MINIMIZE);
    return found.empty() ? 1 : 0;
}

int end(int argc, wchar_t** argv) {
    DWORD process = numberOption(argc, argv, L"pid", 0);
    HANDLE handle = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process);
    if (handle == nullptr) return 1;
    BOOL ended = TerminateProcess(handle, 9);
    WaitForSingleObject(handle, 10000);
    CloseHandle(handle);
    return ended ? 0 : 1;
}

HWND makeWindow(const std::wstring& title) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"TesmoInstanceTool";
        RegisterClassW(&windowClass);
        registered = true;
    }
    HWND window = CreateWindowExW(0, L"TesmoInstanceTool", title.c_str(), WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 320, 200, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return window;
}

void pumpMessages(DWORD milliseconds) {
    ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                  QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
}

int show(int argc, wchar_t** argv) {
    std::wstring title = option(argc, argv, L"title").value_or(L"instancetool");
    DWORD count = numberOption(argc, argv, L"count", 1);
    for (DWORD i = 1; i <= count; ++i) makeWindow(title + L" " + std::to_wstring(i));
    if (auto ready = option(argc, argv, L"ready-file")) writeFile(*ready, "ready\n");
    pumpMessages(numberOption(argc, argv, L"ms", 30000));
    return 0;
}

// With --fake, this window plays the console window: the console-title calls read and set
// its title, so the search finds a window of this very process.
HWND consoleStandIn = nullptr;

DWORD WINAPI standInTitle(LPSTR buffer, DWORD size) {
    return static_cast<DWORD>(GetWindowTextA(consoleStandIn, buffer, static_cast<int>(size)));
}

BOOL WINAPI setStandInTitle(LPCSTR title) {
    return SetWindowTextA(consoleStandIn, title);
}

std::string consoleTitle() {
    char title[6000] = {};
    tesmo::systemCalls.getConsoleTitleA(title, sizeof title);
    return title;
}

int console(int argc, wchar_t** argv) {
    auto out = option(argc, argv, L"out");
    auto type = option(argc, argv, L"type");
    if (!out || !type) return kExitUsage;
    tesmo::narrowSettings[107] = narrow(*type);
    makeWindow(L"instancetool own window");
    if (numberOption(argc, argv, L"fake", 0) != 0) {
        consoleStandIn = makeWindow(L"console stand-in");
        tesmo::systemCalls.getConsoleTitleA = standInTitle;
        tesmo::systemCalls.setConsoleTitleA = setStandInTitle;
    } else {
        // A console of its own with a window, as a windowed launcher gets from "-console".
        FreeConsole();
        AllocConsole();
        SetConsoleTitleA("instancetool console");
    }
    pumpMessages(200);
    std::string before = consoleTitle();
    int counted = tesmo::countProcessWindows(GetCurrentProcessId());
    std::string after = consoleTitle();
    HWND consoleWindow = consoleStandIn != nullptr ? consoleStandIn : GetConsoleWindow();
    std::string text = "{\"count\": " + std::to_string(counted) + ", \"visible\": " +
                       std::to_string(visibleWindows(GetCurrentProcessId()).size()) +
                       ", \"titleBefore\": " + json(before) + ", \"titleAfter\": " + json(after) +
                       ", \"consoleWindow\": " + number(consoleWindow) + "}\n";
    return writeFile(*out, text) ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"windows") return windows(argc, argv);
    if (command == L"minimize") return minimize(argc, argv);
    if (command == L"end") return end(argc, argv);
    if (command == L"show") return show(argc, argv);
    if (command == L"console") return console(argc, argv);
    std::fputs("usage: instancetool windows|minimize|end|show|console ...\n", stderr);
    return kExitUsage;
}
