// The log file. Every line is opened, written and closed under one lock, so lines of the
// main and the splash thread never interleave and a crash loses nothing already written.
#include <share.h>
#include <stdio.h>
#include <time.h>

#include "core/launcher_state.h"
#include "core/log.h"
#include "platform/paths.h"
#include "platform/text_windows.h"

namespace tesmo {

namespace {

CRITICAL_SECTION logLock;
bool logLockReady = false;
bool logInitialised = false;
std::optional<WideString> logPath;
FILE* logFile = nullptr;

constexpr wchar_t kFixedLogPath[] = L"c:\\kvn_nlog";

std::optional<std::string> narrowEnvironment(const char* name) {
    char value[kPathCapacity];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value) return std::nullopt;
    return std::string(value, length);
}

// A fresh name "kvn_nlog_<number>" in the TMP directory (or c:\ when TMP names no
// existing directory), created exclusively so that two launchers never share a file.
FILE* createUniqueLogFile() {
    WideString directory = u"c:\\";
    WideString tmp;
    if (readEnvironment(L"TMP", tmp) && !tmp.empty()) {
        DWORD attributes = GetFileAttributesW(asWindows(tmp));
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            directory = tmp;
            if (directory.back() != u'\\') directory.push_back(u'\\');
        }
    }
    unsigned number = GetCurrentProcessId() * 7919u + GetTickCount();
    for (int attempt = 0; attempt < 1000; ++attempt, ++number) {
        WideString candidate = directory + u"kvn_nlog_" + decimal(number % 100000000u);
        if (candidate.size() >= kPathCapacity) break;
        HANDLE handle =
            CreateFileW(asWindows(candidate), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) continue;
            break;
        }
        CloseHandle(handle);
        logPath = candidate;
        return _wfsopen(asWindows(candidate), L"w", _SH_DENYNO);
    }
    return nullptr;
}

void startLog() {
    logFile = createUniqueLogFile();
    if (!logFile) {
        logPath = fromWindows(kFixedLogPath);
        logFile = _wfsopen(kFixedLogPath, L"w", _SH_DENYNO);
        if (!logFile) return;
    }
    time_t now = time(nullptr);
    const char* when = ctime(&now);
    std::string line = "Started executable " + toNarrow(executablePathWide()) + " at " +
                       (when ? when : "\n") + "\n";
    fputs(line.c_str(), logFile);
    fflush(logFile);
}

// Takes the lock and opens the file; returns with the lock held.
void acquireAndOpen() {
    if (!logLockReady) {
        InitializeCriticalSection(&logLock);
        logLockReady = true;
    }
    EnterCriticalSection(&logLock);
    if (logPath && !logFile) logFile = _wfsopen(asWindows(*logPath), L"a", _SH_DENYNO);
    if (logInitialised) return;
    logInitialised = true;
    if (logWanted(logRequested, narrowEnvironment("TESMO_LOG"), narrowEnvironment("KORVANE_LOG"))) {
        startLog();
    }
}

void writeLine(const std::string& text) {
    fputs(text.c_str(), logFile);
    fputc('\n', logFile);
    fclose(logFile);
    logFile = nullptr;
}

}  // namespace

void logWrite(LogLevel level, const char* format, const FormatArg* args, std::size_t count) {
    acquireAndOpen();
    if (logFile) {
        if (level == LogLevel::Error) fputs("ERROR: ", logFile);
        writeLine(formatNarrow(format, args, count));
    }
    LeaveCriticalSection(&logLock);
}

void logWriteWide(const char16_t* format, const FormatArg* args, std::size_t count) {
    acquireAndOpen();
    if (logFile) writeLine(toNarrow(formatWide(format, args, count)));
    LeaveCriticalSection(&logLock);
}

std::optional<WideString> logFilePath() {
    return logPath;
}

}  // namespace tesmo
