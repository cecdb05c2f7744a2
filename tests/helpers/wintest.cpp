// Test driver for the end-to-end tests under Wine. Wine rebuilds a program's command line
// from the Unix argv and fills its environment from its own registry, so tests that depend
// on the exact command line or environment start the launcher through `wintest run`, or
// many of them through `wintest batch`;
// `wintest box` reads and dismisses the message boxes the launcher shows; `wintest hold`
// keeps the desktop of a session alive (see there); `wintest add-resource` gives an
// executable a resource section at its end, or the splash pictures; `wintest resources`
// reports the pictures of a launcher the way Windows loads them, `wintest version` its version
// information and what its manifest asks; `wintest watch` records
// when the windows of a process can be seen; `wintest registry` writes a registry fixture.
#include <windows.h>
#include <winver.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitBoxTimeout = 3;
constexpr int kExitBoxNotDismissed = 4;
constexpr int kExitBoxProcessGone = 5;
constexpr int kExitRunTimeout = 124;

std::string toUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

std::wstring fromUtf8(const std::string& text) {
    if (text.empty()) return {};
    int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        size);
    return result;
}

// Writes through the handle rather than stdio so that the bytes arrive unchanged whatever
// code page the console reports.
void writeHandle(DWORD which, const std::string& bytes) {
    HANDLE handle = GetStdHandle(which);
    DWORD written = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

void fail(const std::string& message) {
    writeHandle(STD_ERROR_HANDLE, "wintest: " + message + "\n");
}

std::optional<std::string> readFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        content.append(buffer, got);
    }
    CloseHandle(file);
    return content;
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

// Options of the form `--name value`; a missing value is a usage error.
class Options {
  public:
    Options(int argc, wchar_t** argv, int first) {
        for (int i = first; i < argc; ++i) {
            std::wstring name = argv[i];
            if (name.rfind(L"--", 0) != 0 || i + 1 >= argc) {
                bad_ = true;
                return;
            }
            values_.emplace_back(name.substr(2), argv[++i]);
        }
    }

    bool bad() const { return bad_; }

    std::optional<std::wstring> get(const wchar_t* name) const {
        for (const auto& [key, value] : values_) {
            if (key == name) return value;
        }
        return std::nullopt;
    }

    bool onlyKnown(std::initializer_list<const wchar_t*> names) const {
        return std::all_of(values_.begin(), values_.end(), [&](const auto& entry) {
            return std::any_of(names.begin(), names.end(),
                               [&](const wchar_t* name) { return entry.first == name; });
        });
    }

  private:
    std::vector<std::pair<std::wstring, std::wstring>> values_;
    bool bad_ = false;
};

std::optional<DWORD> parseNumber(const std::optional<std::wstring>& text) {
    if (!text || text->empty()) return std::nullopt;
    wchar_t* end = nullptr;
    unsigned long value = std::wcstoul(text->c_str(), &end, 0);
    if (*end != L'\0') return std::nullopt;
    return static_cast<DWORD>(value);
}

// Windows keeps environment blocks sorted without regard to case; some programs rely on it.
bool environmentLess(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
}

std::optional<std::wstring> environmentBlock(const std::wstring& path) {
    std::optional<std::string> content = readFile(path);
    if (!content) return std::nullopt;
    std::vector<std::wstring> entries;
    std::size_t start = 0;
    while (start < content->size()) {
        std::size_t end = content->find('\n', start);
        if (end == std::string::npos) end = content->size();
        std::string line = content->substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) entries.push_back(fromUtf8(line));
        start = end + 1;
    }
    std::stable_sort(entries.begin(), entries.end(), environmentLess);
    std::wstring block;
    for (const std::wstring& entry : entries) {
        block += entry;
        block.push_back(L'\0');
    }
    if (entries.empty()) block.push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

HANDLE openInheritable(const std::wstring& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE inheritableCopy(DWORD which) {
    HANDLE own = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (own == nullptr || own == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

// Gives the child an empty standard input and its output and error in the given files (or
// copies of wintest's own); nothing changes when neither file is given. The handles to close
// once the child has started are added to `opened`.
// Under load Wine's CreateProcessW now and then fails with ERROR_INTERNAL_ERROR before the
// child exists (seen in a full run; the same call in the same prefix worked afterwards).
// Nothing of the program has run then, so it is simply made again.
BOOL createProcess(wchar_t* commandLine, DWORD flags, void* environment, const wchar_t* directory,
                   STARTUPINFOW& startup, PROCESS_INFORMATION& process) {
    BOOL created = FALSE;
    for (int attempt = 0; attempt < 3 && !created; ++attempt) {
        created = CreateProcessW(nullptr, commandLine, nullptr, nullptr, TRUE, flags, environment,
                                 directory, &startup, &process);
        if (!created && GetLastError() != ERROR_INTERNAL_ERROR) break;
    }
    return created;
}

bool redirectStandardHandles(STARTUPINFOW& startup, const std::optional<std::wstring>& stdoutPath,
                             const std::optional<std::wstring>& stderrPath,
                             std::vector<HANDLE>& opened) {
    if (!stdoutPath && !stderrPath) return true;
    startup.dwFlags |= STARTF_USESTDHANDLES;
    // An empty standard input keeps a child that reads it from waiting for the test.
    startup.hStdInput = openInheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = stdoutPath ? openInheritable(*stdoutPath, GENERIC_WRITE, CREATE_ALWAYS)
                                    : inheritableCopy(STD_OUTPUT_HANDLE);
    startup.hStdError = stderrPath ? openInheritable(*stderrPath, GENERIC_WRITE, CREATE_ALWAYS)
                                   : inheritableCopy(STD_ERROR_HANDLE);
    bool ok = true;
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        if (handle == INVALID_HANDLE_VALUE) {
            ok = false;
        } else if (handle != nullptr) {
            opened.push_back(handle);
        }
    }
    return ok;
}

int run(const Options& options) {
    if (!options.onlyKnown({L"cmdline", L"cmdline-file", L"env-file", L"cwd", L"stdout", L"stderr",
                            L"timeout-ms", L"show", L"pid-file", L"exit-code-file",
                            L"resume-file"})) {
        fail("run: unknown option");
        return kExitUsage;
    }
    std::wstring commandLine;
    if (auto file = options.get(L"cmdline-file")) {
        std::optional<std::string> content = readFile(*file);
        if (!content) {
            fail("run: cannot read the command line file");
            return kExitUsage;
        }
        commandLine = fromUtf8(*content);
    } else if (auto line = options.get(L"cmdline")) {
        commandLine = *line;
    } else {
        fail("run: --cmdline or --cmdline-file is required");
        return kExitUsage;
    }

    std::optional<std::wstring> environment;
    if (auto file = options.get(L"env-file")) {
        environment = environmentBlock(*file);
        if (!environment) {
            fail("run: cannot read the environment file");
            return kExitUsage;
        }
    }

    std::optional<DWORD> timeout = parseNumber(options.get(L"timeout-ms"));
    std::optional<DWORD> show = parseNumber(options.get(L"show"));
    if ((options.get(L"timeout-ms") && !timeout) || (options.get(L"show") && !show)) {
        fail("run: --timeout-ms and --show take numbers");
        return kExitUsage;
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::vector<HANDLE> opened;
    if (!redirectStandardHandles(startup, options.get(L"stdout"), options.get(L"stderr"), opened)) {
        fail("run: cannot open a standard handle file");
        return kExitUsage;
    }
    if (show) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(*show);
    }

    auto directory = options.get(L"cwd");
    PROCESS_INFORMATION process{};
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    // With --resume-file the child starts suspended, so a test can change its world
    // (remove its executable, say) after it exists and before it runs.
    auto resumeFile = options.get(L"resume-file");
    DWORD flags = CREATE_UNICODE_ENVIRONMENT | (resumeFile ? CREATE_SUSPENDED : 0);
    BOOL created = createProcess(mutableLine.data(), flags,
                                 environment ? static_cast<void*>(environment->data()) : nullptr,
                                 directory ? directory->c_str() : nullptr, startup, process);
    DWORD createError = GetLastError();
    for (HANDLE handle : opened) CloseHandle(handle);
    if (!created) {
        fail("run: CreateProcessW failed with error " + std::to_string(createError));
        return kExitUsage;
    }
    if (auto pidFile = options.get(L"pid-file")) {
        if (!writeFile(*pidFile, std::to_string(process.dwProcessId) + "\n")) {
            fail("run: cannot write the pid file");
        }
    }
    if (resumeFile) {
        DWORD waited = 0;
        while (GetFileAttributesW(resumeFile->c_str()) == INVALID_FILE_ATTRIBUTES &&
               waited < (timeout ? *timeout : INFINITE)) {
            Sleep(20);
            waited += 20;
        }
        ResumeThread(process.hThread);
    }
    CloseHandle(process.hThread);

    if (WaitForSingleObject(process.hProcess, timeout ? *timeout : INFINITE) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, kExitRunTimeout);
        WaitForSingleObject(process.hProcess, 5000);
        writeHandle(STD_ERROR_HANDLE, "timeout\n");
        if (auto exitFile = options.get(L"exit-code-file")) {
            writeFile(*exitFile, "timeout\n");
        }
        return kExitRunTimeout;
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    // Wine hands only the low eight bits of an exit code to the Unix parent.
    if (auto exitFile = options.get(L"exit-code-file")) {
        if (!writeFile(*exitFile, std::to_string(exitCode) + "\n")) {
            fail("run: cannot write the exit code file");
        }
    }
    return static_cast<int>(exitCode);
}

// Runs the command lines of a file (UTF-8, one a line, empty lines skipped) one after the
// other, each with the environment of --env-file, its standard output and error in
// <output-dir>\<n>.out and <n>.err and at most --timeout-ms (default 30 s). One line per
// run, "<n> <pid> <exit code>" with "timeout" or "error <code>" for the code, is added to
// the results file as soon as the run ends, so that the runs a crash of wintest itself
// cut short are told apart. One wine64 start thus serves a thousand short runs.
int batch(const Options& options) {
    auto list = options.get(L"list");
    auto outputDirectory = options.get(L"output-dir");
    auto resultsPath = options.get(L"results");
    std::optional<DWORD> timeout = parseNumber(options.get(L"timeout-ms"));
    if (!list || !outputDirectory || !resultsPath || (options.get(L"timeout-ms") && !timeout) ||
        !options.onlyKnown(
            {L"list", L"env-file", L"cwd", L"output-dir", L"results", L"timeout-ms"})) {
        fail("batch: --list, --output-dir and --results are required");
        return kExitUsage;
    }
    std::optional<std::string> content = readFile(*list);
    std::optional<std::wstring> environment;
    if (auto file = options.get(L"env-file")) environment = environmentBlock(*file);
    if (!content || (options.get(L"env-file") && !environment)) {
        fail("batch: cannot read the list or the environment file");
        return kExitUsage;
    }
    HANDLE results = CreateFileW(resultsPath->c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (results == INVALID_HANDLE_VALUE) {
        fail("batch: cannot write the results file");
        return kExitUsage;
    }
    auto directory = options.get(L"cwd");
    std::size_t start = 0;
    for (int index = 0; start < content->size();) {
        std::size_t end = std::min(content->find('\n', start), content->size());
        std::wstring line = fromUtf8(content->substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.empty()) continue;
        std::wstring base = *outputDirectory + L"\\" + std::to_wstring(index);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::vector<HANDLE> opened;
        std::string outcome;
        PROCESS_INFORMATION process{};
        line.push_back(L'\0');
        if (!redirectStandardHandles(startup, base + L".out", base + L".err", opened)) {
            outcome = "0 error " + std::to_string(GetLastError());
        } else if (!createProcess(line.data(), CREATE_UNICODE_ENVIRONMENT,
                                  environment ? static_cast<void*>(environment->data()) : nullptr,
                                  directory ? directory->c_str() : nullptr, startup, process)) {
            outcome = "0 error " + std::to_string(GetLastError());
        } else {
            CloseHandle(process.hThread);
            outcome = std::to_string(process.dwProcessId) + " ";
            if (WaitForSingleObject(process.hProcess, timeout.value_or(30000)) != WAIT_OBJECT_0) {
                TerminateProcess(process.hProcess, kExitRunTimeout);
                WaitForSingleObject(process.hProcess, 5000);
                outcome += "timeout";
            } else {
                DWORD exitCode = 0;
                GetExitCodeProcess(process.hProcess, &exitCode);
                outcome += std::to_string(exitCode);
            }
            CloseHandle(process.hProcess);
        }
        for (HANDLE handle : opened) CloseHandle(handle);
        std::string entry = std::to_string(index++) + " " + outcome + "\n";
        DWORD written = 0;
        WriteFile(results, entry.data(), static_cast<DWORD>(entry.size()), &written, nullptr);
    }
    CloseHandle(results);
    return 0;
}

std::string jsonString(const std::wstring& text) {
    std::string utf8 = toUtf8(text);
    std::string result = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
            case '"':
                result += "\\\"";
                break;
            case '\\':
                result += "\\\\";
                break;
            case '\n':
                result += "\\n";
                break;
            case '\r':
                result += "\\r";
                break;
            case '\t':
                result += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    result += escaped;
                } else {
                    result.push_back(static_cast<char>(c));
                }
        }
    }
    return result + "\"";
}

std::wstring windowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got));
    return text;
}

std::wstring className(HWND window) {
    wchar_t name[256];
    int length = GetClassNameW(window, name, 256);
    return std::wstring(name, static_cast<std::size_t>(length));
}

bool sameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The caption as displayed: "&Yes" reads "Yes", "&&" is a literal ampersand.
std::wstring withoutMnemonic(const std::wstring& text) {
    std::wstring result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) ++i;
        result.push_back(text[i]);
    }
    return result;
}

struct BoxSearch {
    DWORD process = 0;
    HWND found = nullptr;
};

BOOL CALLBACK findBox(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<BoxSearch*>(context);
    if (!IsWindowVisible(window) || className(window) != L"#32770") return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search.process != 0 && owner != search.process) return TRUE;
    search.found = window;
    return FALSE;
}

struct BoxContent {
    std::vector<std::wstring> texts;
    std::vector<std::pair<HWND, std::wstring>> buttons;
};

BOOL CALLBACK collectControl(HWND control, LPARAM context) {
    auto& content = *reinterpret_cast<BoxContent*>(context);
    std::wstring type = className(control);
    // Wine keeps the buttons a message box does not use as hidden children.
    if (!IsWindowVisible(control)) return TRUE;
    if (sameText(type, L"Static")) {
        std::wstring text = windowText(control);
        if (!text.empty()) content.texts.push_back(text);
    } else if (sameText(type, L"Button")) {
        content.buttons.emplace_back(control, withoutMnemonic(windowText(control)));
    }
    return TRUE;
}

struct ProcessWindows {
    DWORD process = 0;
    std::vector<HWND> windows;
};

BOOL CALLBACK collectProcessWindow(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<ProcessWindows*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.process) search.windows.push_back(window);
    return TRUE;
}

// The top-level windows of a process, in enumeration (z) order.
std::vector<HWND> processWindows(DWORD process) {
    ProcessWindows search{process, {}};
    EnumWindows(collectProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

bool press(HWND box, const BoxContent& content, const std::wstring& choice) {
    static const std::pair<const wchar_t*, int> known[] = {
        {L"ok", IDOK}, {L"yes", IDYES}, {L"no", IDNO}, {L"cancel", IDCANCEL}};
    for (const auto& [name, id] : known) {
        HWND button = GetDlgItem(box, id);
        if (sameText(choice, name) && button != nullptr && IsWindowVisible(button)) {
            return PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                reinterpret_cast<LPARAM>(button));
        }
    }
    for (const auto& [button, text] : content.buttons) {
        if (sameText(text, choice)) {
            int id = GetDlgCtrlID(button);
            return PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                reinterpret_cast<LPARAM>(button));
        }
    }
    return false;
}

int box(const Options& options) {
    if (!options.onlyKnown({L"pid", L"timeout-ms", L"press", L"out"})) {
        fail("box: unknown option");
        return kExitUsage;
    }
    std::optional<DWORD> process = parseNumber(options.get(L"pid"));
    std::optional<DWORD> timeout = parseNumber(options.get(L"timeout-ms"));
    if ((options.get(L"pid") && !process) || (options.get(L"timeout-ms") && !timeout)) {
        fail("box: --pid and --timeout-ms take numbers");
        return kExitUsage;
    }
    std::wstring choice = options.get(L"press").value_or(L"none");
    auto emit = [&](const std::string& json) {
        if (auto out = options.get(L"out")) return writeFile(*out, json + "\n");
        writeHandle(STD_OUTPUT_HANDLE, json + "\n");
        return true;
    };

    BoxSearch search;
    search.process = process.value_or(0);
    // A watched process that ends without a box ends the wait early.
    HANDLE watched = process ? OpenProcess(SYNCHRONIZE, FALSE, *process) : nullptr;
    if (process && watched == nullptr) {
        emit("{\"exited\": true}");
        return kExitBoxProcessGone;
    }
    ULONGLONG deadline = GetTickCount64() + timeout.value_or(30000);
    while (true) {
        EnumWindows(findBox, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) break;
        if (watched != nullptr && WaitForSingleObject(watched, 0) == WAIT_OBJECT_0) {
            emit("{\"exited\": true}");
            return kExitBoxProcessGone;
        }
        if (GetTickCount64() >= deadline) {
            emit("{\"timeout\": true}");
            return kExitBoxTimeout;
        }
        Sleep(50);
    }

    HWND found = search.found;
    BoxContent content;
    EnumChildWindows(found, collectControl, reinterpret_cast<LPARAM>(&content));
    std::wstring text;
    for (const std::wstring& part : content.texts) {
        if (!text.empty()) text += L"\n";
        text += part;
    }
    std::string json = "{\"title\": " + jsonString(windowText(found)) +
                       ", \"text\": " + jsonString(text) + ", \"buttons\": [";
    for (std::size_t i = 0; i < content.buttons.size(); ++i) {
        if (i > 0) json += ", ";
        json += jsonString(content.buttons[i].second);
    }
    HWND owner = GetWindow(found, GW_OWNER);
    json += "], \"owner\": " +
            std::to_string(static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(owner)));
    json += ", \"ownerClass\": " + (owner ? jsonString(className(owner)) : std::string("null"));
    // What else of the process could be seen while the box was up.
    json += ", \"otherVisibleClasses\": [";
    std::vector<HWND> others = processWindows(search.process);
    bool first = true;
    for (HWND other : others) {
        if (other == found || !IsWindowVisible(other)) continue;
        json += (first ? "" : ", ") + jsonString(className(other));
        first = false;
    }
    json += "]";

    bool dismissed = false;
    if (!sameText(choice, L"none")) {
        if (press(found, content, choice)) {
            ULONGLONG until = GetTickCount64() + 5000;
            while (IsWindow(found) && IsWindowVisible(found) && GetTickCount64() < until) Sleep(20);
            dismissed = !IsWindow(found) || !IsWindowVisible(found);
        }
        json += std::string(", \"dismissed\": ") + (dismissed ? "true" : "false");
    }
    if (!emit(json + "}")) {
        fail("box: cannot write the output file");
        return kExitUsage;
    }
    return sameText(choice, L"none") || dismissed ? 0 : kExitBoxNotDismissed;
}

// Wine's desktop process takes the display of the first program that needs a desktop and
// quits a few seconds after the last one ends. A program without a display would start a
// desktop that cannot show windows, so boxes would fail for whoever came next; one
// program with a display, kept running for the whole session, keeps the desktop usable.
int hold(const Options& options) {
    if (!options.onlyKnown({L"ready-file"})) {
        fail("hold: unknown option");
        return kExitUsage;
    }
    if (GetDesktopWindow() == nullptr) {
        fail("hold: no desktop window");
        return 1;
    }
    if (auto ready = options.get(L"ready-file")) {
        if (!writeFile(*ready, "ready\n")) {
            fail("hold: cannot write the ready file");
            return kExitUsage;
        }
    }
    Sleep(INFINITE);
    return 0;
}

}  // namespace

// Adds RT_RCDATA 10000 to an executable the way resource editors do; Wine's rewrite makes
// .rsrc the last section, which is the layout a launcher built after adding resources has.
// With --bitmap (a .bmp file) and --rcdata (any file) it adds the splash pictures instead:
// bitmap 10000 and the bytes of RT_RCDATA 10000.
int addResource(const Options& options) {
    auto file = options.get(L"file");
    std::optional<DWORD> size = parseNumber(options.get(L"size"));
    auto bitmapFile = options.get(L"bitmap");
    auto dataFile = options.get(L"rcdata");
    if (!file || !options.onlyKnown({L"file", L"size", L"bitmap", L"rcdata"})) {
        fail("add-resource: --file is required");
        return kExitUsage;
    }
    std::vector<std::pair<WORD, std::string>> resources;
    if (bitmapFile) {
        std::optional<std::string> bmp = readFile(*bitmapFile);
        // A bitmap resource is the file without its 14-byte file header.
        if (!bmp || bmp->size() <= 14 || bmp->compare(0, 2, "BM") != 0) {
            fail("add-resource: --bitmap needs a .bmp file");
            return kExitUsage;
        }
        resources.emplace_back(2, bmp->substr(14));
    }
    if (dataFile) {
        std::optional<std::string> bytes = readFile(*dataFile);
        if (!bytes) {
            fail("add-resource: cannot read the --rcdata file");
            return kExitUsage;
        }
        resources.emplace_back(10, *bytes);
    }
    if (!bitmapFile && !dataFile) {
        // Too large to fit the gap behind the old resource section, so it has to move.
        resources.emplace_back(10, std::string(size ? *size : 65536, 'r'));
    }
    HANDLE update = BeginUpdateResourceW(file->c_str(), FALSE);
    bool updated = update != nullptr;
    for (auto& [type, bytes] : resources) {
        updated =
            updated && UpdateResourceW(update, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(10000),
                                       MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), bytes.data(),
                                       static_cast<DWORD>(bytes.size()));
    }
    if (!updated || !EndUpdateResourceW(update, FALSE)) {
        fail("add-resource: updating the resources failed with error " +
             std::to_string(GetLastError()));
        return 1;
    }
    return 0;
}

// What Windows finds of a launcher's pictures: the splash bitmap with its size and one
// pixel, the raw splash image, and the icon group loaded at two sizes. Printed as JSON.
int resources(const Options& options) {
    auto file = options.get(L"file");
    if (!file || !options.onlyKnown({L"file"})) {
        fail("resources: --file is required");
        return kExitUsage;
    }
    HMODULE module = LoadLibraryExW(file->c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
        fail("resources: cannot load the file, error " + std::to_string(GetLastError()));
        return 1;
    }
    std::string json = "{";
    auto bitmap = static_cast<HBITMAP>(
        LoadImageW(module, MAKEINTRESOURCEW(10000), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    json += "\"bitmap\": ";
    BITMAP info{};
    if (bitmap && GetObjectW(bitmap, sizeof info, &info)) {
        HDC memory = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(memory, bitmap);
        COLORREF pixel = GetPixel(memory, 5, 0);
        SelectObject(memory, old);
        DeleteDC(memory);
        DeleteObject(bitmap);
        json += "{\"width\": " + std::to_string(info.bmWidth) +
                ", \"height\": " + std::to_string(info.bmHeight) +
                ", \"pixel_5_0\": " + std::to_string(pixel) + "}";
    } else {
        json += "null";
    }

    json += ", \"data\": ";
    HRSRC data = FindResourceW(module, MAKEINTRESOURCEW(10000), MAKEINTRESOURCEW(10));
    HGLOBAL loaded = data ? LoadResource(module, data) : nullptr;
    const auto* bytes = loaded ? static_cast<const unsigned char*>(LockResource(loaded)) : nullptr;
    if (bytes) {
        std::string hex;
        char digits[3];
        for (DWORD i = 0; i < SizeofResource(module, data); ++i) {
            std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
            hex += digits;
        }
        json += "\"" + hex + "\"";
    } else {
        json += "null";
    }

    for (int size : {16, 32}) {
        json += ", \"icon" + std::to_string(size) + "\": ";
        auto icon = static_cast<HICON>(
            LoadImageW(module, L"ID_SPLASH_ICON", IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
        ICONINFO parts{};
        BITMAP mask{};
        if (icon && GetIconInfo(icon, &parts) && GetObjectW(parts.hbmMask, sizeof mask, &mask)) {
            // A colour icon's mask is as high as the icon.
            json += "[" + std::to_string(mask.bmWidth) + ", " + std::to_string(mask.bmHeight) + "]";
            DeleteObject(parts.hbmMask);
            if (parts.hbmColor) DeleteObject(parts.hbmColor);
        } else {
            json += "null";
        }
        if (icon) DestroyIcon(icon);
    }
    FreeLibrary(module);
    writeHandle(STD_OUTPUT_HANDLE, json + "}\n");
    return 0;
}

// version.dll is loaded by name, so that the helper links no more than its other commands need.
template <typename Function>
Function* versionFunction(const char* name) {
    static HMODULE library = LoadLibraryW(L"version.dll");
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// The run level and the windows settings of an activation context made from the file's
// manifest; nothing when Windows refuses the manifest.
std::string manifestSettings(const std::wstring& file) {
    std::string out;
    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = file.c_str();
    request.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE context = CreateActCtxW(&request);
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level{};
    if (context != INVALID_HANDLE_VALUE &&
        QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext, &level,
                     sizeof level, nullptr)) {
        out += "run-level=" + std::to_string(level.RunLevel) + "\n";
        const std::pair<const wchar_t*, const wchar_t*> settings[] = {
            {L"dpiAware", L"http://schemas.microsoft.com/SMI/2005/WindowsSettings"},
            {L"dpiAwareness", L"http://schemas.microsoft.com/SMI/2016/WindowsSettings"},
            {L"longPathAware", L"http://schemas.microsoft.com/SMI/2016/WindowsSettings"}};
        for (const auto& [setting, space] : settings) {
            wchar_t value[64] = L"";
            QueryActCtxSettingsW(0, context, space, setting, value, 64, nullptr);
            out += toUtf8(setting) + "=" + toUtf8(value) + "\n";
        }
        ReleaseActCtx(context);
    }
    return out;
}

// What Windows reads of a file's version information and of its manifest, as "name=value"
// lines: the fixed numbers, the translation, each string of the table the translation names,
// and what the manifest asks.
int version(const Options& options) {
    auto file = options.get(L"file");
    if (!file || !options.onlyKnown({L"file"})) {
        fail("version: --file is required");
        return kExitUsage;
    }
    auto query = versionFunction<decltype(VerQueryValueW)>("VerQueryValueW");
    std::vector<char> info(versionFunction<decltype(GetFileVersionInfoSizeW)>(
        "GetFileVersionInfoSizeW")(file->c_str(), nullptr));
    VS_FIXEDFILEINFO* fixed = nullptr;
    WORD* translation = nullptr;
    UINT length = 0;
    std::string out;
    if (!info.empty() &&
        versionFunction<decltype(GetFileVersionInfoW)>("GetFileVersionInfoW")(
            file->c_str(), 0, info.size(), info.data()) &&
        query(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) &&
        query(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
              &length)) {
        char line[96];
        std::snprintf(line, sizeof line, "fixed=%lu.%lu.%lu.%lu %lu.%lu.%lu.%lu\n",
                      fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xFFFF,
                      fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF,
                      fixed->dwProductVersionMS >> 16, fixed->dwProductVersionMS & 0xFFFF,
                      fixed->dwProductVersionLS >> 16, fixed->dwProductVersionLS & 0xFFFF);
        char table[16];
        std::snprintf(table, sizeof table, "%04x%04x", translation[0], translation[1]);
        out += line + std::string("translation=") + table + "\n";
        for (const wchar_t* name :
             {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
              L"LegalCopyright", L"LegalTrademarks", L"OriginalFilename", L"ProductName",
              L"ProductVersion", L"Comments"}) {
            std::wstring path = L"\\StringFileInfo\\" + fromUtf8(table) + L"\\" + name;
            wchar_t* text = nullptr;
            if (query(info.data(), path.c_str(), reinterpret_cast<void**>(&text), &length)) {
                out += toUtf8(name) + "=" + toUtf8(text) + "\n";
            }
        }
    }
    out += manifestSettings(*file);
    writeHandle(STD_OUTPUT_HANDLE, out);
    return 0;
}

// Milliseconds since the Unix epoch, the clock a test's own time.time() reads.
long long unixMilliseconds() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    ULARGE_INTEGER value;
    value.LowPart = now.dwLowDateTime;
    value.HighPart = now.dwHighDateTime;
    return static_cast<long long>((value.QuadPart - 116444736000000000ull) / 10000);
}

struct WatchedWindow {
    HWND handle = nullptr;
    std::wstring type;
    std::wstring title;
    bool visible = false;
    // Seen topmost while visible at least once.
    bool topmost = false;
    RECT rect{};
    // Times in Unix milliseconds at which the window was first seen visible and first seen
    // hidden again; an open interval ends when the process ends.
    std::vector<std::pair<long long, long long>> intervals;
};

// Samples the top-level windows of a process every few milliseconds until it ends (or the
// timeout), then writes when each was visible, where, and whether it was topmost.
int watch(const Options& options) {
    if (!options.onlyKnown({L"pid", L"out", L"timeout-ms", L"interval-ms"})) {
        fail("watch: unknown option");
        return kExitUsage;
    }
    std::optional<DWORD> process = parseNumber(options.get(L"pid"));
    std::optional<DWORD> timeout = parseNumber(options.get(L"timeout-ms"));
    std::optional<DWORD> interval = parseNumber(options.get(L"interval-ms"));
    auto out = options.get(L"out");
    if (!process || !out) {
        fail("watch: --pid and --out are required");
        return kExitUsage;
    }
    HANDLE watched = OpenProcess(SYNCHRONIZE, FALSE, *process);
    long long started = unixMilliseconds();
    ULONGLONG deadline = GetTickCount64() + timeout.value_or(120000);
    std::vector<WatchedWindow> windows;
    while (true) {
        long long now = unixMilliseconds();
        for (HWND handle : processWindows(*process)) {
            auto known = std::find_if(windows.begin(), windows.end(),
                                      [&](const WatchedWindow& w) { return w.handle == handle; });
            if (known == windows.end()) {
                WatchedWindow seen;
                seen.handle = handle;
                seen.type = className(handle);
                seen.title = windowText(handle);
                windows.push_back(seen);
                known = windows.end() - 1;
            }
            bool visible = IsWindowVisible(handle) != FALSE;
            if (visible) {
                // Where and how it first showed: a window being destroyed at the process's
                // end reports less.
                if (known->intervals.empty()) {
                    GetWindowRect(handle, &known->rect);
                    known->title = windowText(handle);
                }
                known->topmost |= (GetWindowLongW(handle, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
                if (!known->visible) known->intervals.emplace_back(now, -1);
            } else if (known->visible) {
                known->intervals.back().second = now;
            }
            known->visible = visible;
        }
        // Destroyed windows are hidden from then on.
        for (WatchedWindow& window : windows) {
            if (window.visible && !IsWindow(window.handle)) {
                window.intervals.back().second = now;
                window.visible = false;
            }
        }
        if (watched == nullptr ||
            WaitForSingleObject(watched, interval.value_or(5)) == WAIT_OBJECT_0 ||
            GetTickCount64() >= deadline) {
            break;
        }
    }
    long long ended = unixMilliseconds();
    std::string json = "{\"started\": " + std::to_string(started) +
                       ", \"ended\": " + std::to_string(ended) + ", \"windows\": [";
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const WatchedWindow& window = windows[i];
        json += (i > 0 ? ", " : "") + std::string("{\"class\": ") + jsonString(window.type) +
                ", \"title\": " + jsonString(window.title) +
                ", \"topmost\": " + (window.topmost ? "true" : "false") + ", \"rect\": [" +
                std::to_string(window.rect.left) + ", " + std::to_string(window.rect.top) + ", " +
                std::to_string(window.rect.right) + ", " + std::to_string(window.rect.bottom) +
                "], \"visible\": [";
        for (std::size_t j = 0; j < window.intervals.size(); ++j) {
            long long until = window.intervals[j].second < 0 ? ended : window.intervals[j].second;
            json += (j > 0 ? ", " : "") + std::string("[") +
                    std::to_string(window.intervals[j].first) + ", " + std::to_string(until) + "]";
        }
        json += "]}";
    }
    if (!writeFile(*out, json + "]}\n")) {
        fail("watch: cannot write the output file");
        return kExitUsage;
    }
    return 0;
}

// Prints the 8.3 form of a path, which only Windows can compute.
int shortPath(const Options& options) {
    auto path = options.get(L"path");
    if (!path || !options.onlyKnown({L"path"})) {
        fail("short-path: --path is required");
        return kExitUsage;
    }
    wchar_t buffer[MAX_PATH];
    DWORD length = GetShortPathNameW(path->c_str(), buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    std::printf("%s\n", toUtf8(std::wstring(buffer, length)).c_str());
    return 0;
}

// The bytes of a hex field; nullopt when it is not hex.
std::optional<std::string> fromHex(const std::string& text) {
    if (text.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        std::string pair = text.substr(i, 2);
        unsigned long value = std::strtoul(pair.c_str(), &end, 16);
        if (*end != '\0') return std::nullopt;
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

std::wstring wideFromBytes(const std::string& bytes) {
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

// "HKEY_CURRENT_USER\SOFTWARE\x" -> the open hive and "SOFTWARE\x".
std::optional<std::pair<HKEY, std::wstring>> splitHive(const std::wstring& path) {
    std::size_t slash = path.find(L'\\');
    std::wstring hive = path.substr(0, slash);
    std::wstring rest = slash == std::wstring::npos ? L"" : path.substr(slash + 1);
    if (hive == L"HKEY_CURRENT_USER") return std::make_pair(HKEY_CURRENT_USER, rest);
    if (hive == L"HKEY_LOCAL_MACHINE") return std::make_pair(HKEY_LOCAL_MACHINE, rest);
    return std::nullopt;
}

// Writes a whole registry fixture in one process with the registry API, so that values of
// any type, size and termination can be written exactly. The file holds one operation a
// line, fields separated by tabs, names and data as hex (names and key paths UTF-16LE):
//   key <path>                    creates the key, which later lines act on
//   delete <path>                 deletes the key with everything below it, if it exists
//   value <type> <name> <data>    sets a value of the current key (type as a number)
//   drop <name>                   deletes a value of the current key, if it exists
int registry(const Options& options) {
    auto path = options.get(L"file");
    if (!path || !options.onlyKnown({L"file"})) {
        fail("registry: --file is required");
        return kExitUsage;
    }
    std::optional<std::string> content = readFile(*path);
    if (!content) {
        fail("registry: cannot read the fixture file");
        return kExitUsage;
    }
    HKEY current = nullptr;
    auto closeCurrent = [&] {
        if (current != nullptr) RegCloseKey(current);
        current = nullptr;
    };
    std::size_t start = 0;
    int line = 0;
    while (start < content->size()) {
        std::size_t end = content->find('\n', start);
        if (end == std::string::npos) end = content->size();
        std::vector<std::string> fields;
        std::size_t field = start;
        for (std::size_t tab; (tab = content->find('\t', field)) < end; field = tab + 1) {
            fields.push_back(content->substr(field, tab - field));
        }
        fields.push_back(content->substr(field, end - field));
        start = end + 1;
        ++line;
        const std::string op = fields[0];
        std::optional<DWORD> type;
        if (op == "value" && fields.size() > 1) {
            type = parseNumber(fromUtf8(fields[1]));
            fields.erase(fields.begin() + 1);
        }
        std::vector<std::string> decoded;
        for (std::size_t i = 1; i < fields.size(); ++i) {
            std::optional<std::string> bytes = fromHex(fields[i]);
            if (!bytes) {
                fail("registry: line " + std::to_string(line) + ": a field is not hex");
                closeCurrent();
                return kExitUsage;
            }
            decoded.push_back(*bytes);
        }
        LSTATUS status = ERROR_SUCCESS;
        if ((op == "key" || op == "delete") && decoded.size() == 1) {
            auto hive = splitHive(wideFromBytes(decoded[0]));
            if (!hive) {
                fail("registry: line " + std::to_string(line) + ": not a key of HKCU or HKLM");
                closeCurrent();
                return kExitUsage;
            }
            closeCurrent();
            if (op == "key") {
                status =
                    RegCreateKeyExW(hive->first, hive->second.c_str(), 0, nullptr, 0,
                                    KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &current, nullptr);
            } else {
                status = RegDeleteTreeW(hive->first, hive->second.c_str());
                if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
            }
        } else if (op == "value" && type && decoded.size() == 2 && current != nullptr) {
            status = RegSetValueExW(current, wideFromBytes(decoded[0]).c_str(), 0, *type,
                                    reinterpret_cast<const BYTE*>(decoded[1].data()),
                                    static_cast<DWORD>(decoded[1].size()));
        } else if (op == "drop" && decoded.size() == 1 && current != nullptr) {
            status = RegDeleteValueW(current, wideFromBytes(decoded[0]).c_str());
            if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
        } else if (!op.empty() || !decoded.empty()) {
            fail("registry: line " + std::to_string(line) + " not understood");
            closeCurrent();
            return kExitUsage;
        }
        if (status != ERROR_SUCCESS) {
            fail("registry: line " + std::to_string(line) + " failed with error " +
                 std::to_string(status));
            closeCurrent();
            return 1;
        }
    }
    closeCurrent();
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    std::wstring command = argc > 1 ? argv[1] : L"";
    Options options(argc, argv, 2);
    if (options.bad()) {
        fail("options come as --name value pairs");
        return kExitUsage;
    }
    if (command == L"run") return run(options);
    if (command == L"batch") return batch(options);
    if (command == L"box") return box(options);
    if (command == L"hold") return hold(options);
    if (command == L"add-resource") return addResource(options);
    if (command == L"resources") return resources(options);
    if (command == L"version") return version(options);
    if (command == L"watch") return watch(options);
    if (command == L"short-path") return shortPath(options);
    if (command == L"registry") return registry(options);
    fail(
        "usage: wintest run|batch|box|hold|add-resource|resources|version|watch|short-path|"
        "registry "
        "[--option value]...");
    return kExitUsage;
}
