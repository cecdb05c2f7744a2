#include "core/error_reporting.h"
#include "core/keys.h"
#include "core/log.h"
#include "files/temp_directory.h"
#include "platform/paths.h"
#include "platform/text_windows.h"
#include "runtime/java_version.h"
#include "runtime/runtime_windows.h"

namespace tesmo {

namespace {

constexpr DWORD kStillActive = 259;
// Enough for the notices a VM prints before its version line; the version line itself
// is read only to its first 99 bytes.
constexpr DWORD kProbeOutputCapacity = 64 * 1024;

bool isDirectory(const WideString& path) {
    DWORD attributes = GetFileAttributesW(asWindows(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string readProbeOutput(const WideString& file) {
    HANDLE handle = CreateFileW(asWindows(file), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    std::string output(kProbeOutputCapacity, '\0');
    DWORD total = 0, got = 0;
    while (total < kProbeOutputCapacity &&
           ReadFile(handle, output.data() + total, kProbeOutputCapacity - total, &got, nullptr) &&
           got > 0) {
        total += got;
    }
    CloseHandle(handle);
    output.resize(total);
    // The file was written through a text-mode stream: lines end in "\r\n".
    std::string lines;
    lines.reserve(output.size());
    for (char c : output) {
        if (c != '\r') lines.push_back(c);
    }
    return lines;
}

bool readCache(const WideString& key, CachedVersionRecord& record) {
    HKEY handle;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, asWindows(key), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    char stamp[8];
    DWORD size = sizeof stamp;
    if (RegQueryValueExW(handle, L"LastWriteTime", nullptr, nullptr, reinterpret_cast<BYTE*>(stamp),
                         &size) == ERROR_SUCCESS) {
        record.stamp.assign(stamp, size);
    }
    WideString version(kPathCapacity / 2, u'\0');
    DWORD bytes = static_cast<DWORD>(version.size() * 2);
    DWORD type = REG_NONE;
    if (RegQueryValueExW(handle, L"Version", nullptr, &type,
                         reinterpret_cast<BYTE*>(version.data()), &bytes) == ERROR_SUCCESS &&
        type == REG_SZ) {
        version.resize(bytes / 2);
        record.text = version;
    }
    RegCloseKey(handle);
    return true;
}

void writeCache(const WideString& key, const std::string& stamp, const WideString& version) {
    HKEY handle;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, asWindows(key), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExW(handle, L"LastWriteTime", 0, REG_BINARY,
                   reinterpret_cast<const BYTE*>(stamp.data()), static_cast<DWORD>(stamp.size()));
    RegSetValueExW(handle, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                   static_cast<DWORD>((version.size() + 1) * 2));
    RegCloseKey(handle);
}

ProbeResult probe(const WideString& javaExe, WideString& version) {
    return probeJavaVersion(javaExe, version);
}

}  // namespace

const InstallationSources kWindowsInstallation = {
    [](const WideString& path) { return pathExists(path); },
    &isDirectory,
    &fullPath,
    &findEntry,
    &readCache,
    &writeCache,
    &probe,
};

namespace {

// Volumes without 8.3 names hand back the long form, spaces and all: quote whatever could be
// split, so the probe never starts a different program.
WideString probeCommand(const WideString& javaExe) {
    WideString shortPath = fillWideBuffer([&](wchar_t* buffer, DWORD size) {
        return GetShortPathNameW(asWindows(javaExe), buffer, size);
    });
    if (shortPath.empty()) shortPath = javaExe;
    bool quote = shortPath.find(u' ') != WideString::npos;
    return (quote ? u"\"" + shortPath + u"\"" : shortPath) + u" -version";
}

// The probe's standard error goes to this file; null when it cannot be opened.
HANDLE inheritableOutput(const WideString& outputFile) {
    HANDLE file = CreateFileW(asWindows(outputFile), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    HANDLE inheritable = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &inheritable, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        inheritable = nullptr;
    }
    CloseHandle(file);
    return inheritable;
}

// Waits for the started probe, ends it after `timeoutMs`, and reads the version it printed.
ProbeResult finishProbe(PROCESS_INFORMATION& process, const WideString& outputFile,
                        WideString& versionOut, unsigned long timeoutMs) {
    ProbeResult result = ProbeResult::Failed;
    WaitForSingleObject(process.hProcess, timeoutMs);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    logMessage("Exit Code %d", static_cast<int>(exitCode));
    if (exitCode == kStillActive) {
        logMessage("Terminating process");
        TerminateProcess(process.hProcess, 1);
    } else if (exitCode != 0) {
        result = ProbeResult::ExitCode;
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (exitCode != 0) return result;
    std::optional<WideString> version = parseVersionOutput(readProbeOutput(outputFile));
    if (!version) return result;
    versionOut = *version;
    logMessage("Java version: %S", versionOut);
    return ProbeResult::Version;
}

}  // namespace

ProbeResult probeJavaVersion(const WideString& javaExe, WideString& versionOut,
                             unsigned long timeoutMs) {
    WideString command = probeCommand(javaExe);
    std::optional<WideString> tempFile = makeTempFileNameWide();
    if (!tempFile) fatalMessageWide(kMessageNotPoweruser, nullptr);
    WideString outputFile = *tempFile;
    HANDLE inheritable = inheritableOutput(outputFile);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdError = inheritable;
    PROCESS_INFORMATION process = {};
    ProbeResult result = ProbeResult::Failed;
    bool started = CreateProcessW(nullptr, asWindows(command), nullptr, nullptr, TRUE,
                                  NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process);
    DWORD error = GetLastError();
    // The probe has its own copy now.
    if (inheritable) CloseHandle(inheritable);
    if (!started) {
        logMessage("Could not create process %S > %S (error %d)", command, outputFile,
                   static_cast<int>(error));
    } else {
        result = finishProbe(process, outputFile, versionOut, timeoutMs);
    }
    DeleteFileW(asWindows(outputFile));
    return result;
}

}  // namespace tesmo
