#include "core/error_reporting.h"
#include "core/keys.h"
#include "core/log.h"
#include "core/settings.h"
#include "files/temp_directory.h"
#include "platform/paths.h"
#include "platform/text_windows.h"
#include "runtime/installation_check.h"
#include "runtime/java_version.h"

namespace tesmo {

namespace {

constexpr char16_t kVersionCacheKey[] = u"SOFTWARE\\dravik-labs\\tesmo\\jvms\\";
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

}  // namespace

bool javaExeForHome(const WideString& home, WideString& javaExe) {
    javaExe = home + u"\\jre\\bin\\java.exe";
    if (getSettingInt(kKeyRequireDevelopmentKit) != 0) {
        if (pathExists(home + u"\\lib\\tools.jar")) return true;
        // Development kits since Java 9 have neither tools.jar nor an embedded jre; their
        // compiler marks them.
        if (!isDirectory(home + u"\\jre") && pathExists(home + u"\\bin\\javac.exe")) {
            javaExe = home + u"\\bin\\java.exe";
            return true;
        }
        return false;
    }
    if (!pathExists(javaExe)) javaExe = home + u"\\bin\\java.exe";
    return true;
}

bool readCachedVersion(const WideString& javaExe, std::uint64_t lastWriteTime,
                       WideString& versionOut) {
    WideString key = kVersionCacheKey + versionCacheSubkey(javaExe);
    HKEY handle;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, asWindows(key), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
        return false;
    }
    bool ok = false;
    BYTE stamp[8];
    DWORD size = sizeof stamp;
    if (RegQueryValueExW(handle, L"LastWriteTime", nullptr, nullptr, stamp, &size) ==
            ERROR_SUCCESS &&
        size == 8) {
        std::uint64_t cached = 0;
        for (int i = 7; i >= 0; --i) cached = (cached << 8) | stamp[i];
        WideString version(kPathCapacity / 2, u'\0');
        DWORD bytes = static_cast<DWORD>(version.size() * 2);
        DWORD type = REG_NONE;
        // Only text is a version: a number's bytes read as text are garbage such as ".8",
        // which would refuse a runtime whose real version fits.
        if (cached == lastWriteTime &&
            RegQueryValueExW(handle, L"Version", nullptr, &type,
                             reinterpret_cast<BYTE*>(version.data()), &bytes) == ERROR_SUCCESS &&
            type == REG_SZ) {
            version.resize(bytes / 2);
            // Stored with or without terminator; either way the text ends at the first one.
            std::size_t end = version.find(u'\0');
            if (end != WideString::npos) version.resize(end);
            versionOut = version;
            ok = version != u"1.7." && version != u"1.6." && version != u"1.5.";
        }
    }
    RegCloseKey(handle);
    return ok;
}

void writeCachedVersion(const WideString& javaExe, std::uint64_t lastWriteTime,
                        const WideString& version) {
    WideString key = kVersionCacheKey + versionCacheSubkey(javaExe);
    HKEY handle;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, asWindows(key), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS) {
        return;
    }
    BYTE stamp[8];
    for (int i = 0; i < 8; ++i) stamp[i] = static_cast<BYTE>(lastWriteTime >> (8 * i));
    RegSetValueExW(handle, L"LastWriteTime", 0, REG_BINARY, stamp, sizeof stamp);
    RegSetValueExW(handle, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                   static_cast<DWORD>((version.size() + 1) * 2));
    RegCloseKey(handle);
}

bool probeJavaVersion(const WideString& javaExe, std::uint64_t lastWriteTime,
                      WideString& versionOut, unsigned long timeoutMs) {
    WideString shortPath = fillWideBuffer([&](wchar_t* buffer, DWORD size) {
        return GetShortPathNameW(asWindows(javaExe), buffer, size);
    });
    // Volumes without 8.3 names hand back the long form, spaces and all: quote whatever
    // could be split, so the probe never starts a different program.
    if (shortPath.empty()) shortPath = javaExe;
    bool quote = shortPath.find(u' ') != WideString::npos;
    WideString command = (quote ? u"\"" + shortPath + u"\"" : shortPath) + u" -version";
    std::optional<WideString> tempFile = makeTempFileNameWide();
    if (!tempFile) fatalMessageWide(kMessageNotPoweruser, nullptr);
    WideString outputFile = *tempFile;

    HANDLE file = CreateFileW(asWindows(outputFile), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE inheritable = nullptr;
    if (file != INVALID_HANDLE_VALUE) {
        if (!DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &inheritable, 0, TRUE,
                             DUPLICATE_SAME_ACCESS)) {
            inheritable = nullptr;
        }
        CloseHandle(file);
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdError = inheritable;
    PROCESS_INFORMATION process = {};
    bool ok = false;
    if (!CreateProcessW(nullptr, asWindows(command), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &process)) {
        logMessage("Could not create process %S > %S (error %d)", command, outputFile,
                   static_cast<int>(GetLastError()));
        if (inheritable) CloseHandle(inheritable);
    } else {
        WaitForSingleObject(process.hProcess, timeoutMs);
        DWORD exitCode = 0;
        GetExitCodeProcess(process.hProcess, &exitCode);
        logMessage("Exit Code %d", static_cast<int>(exitCode));
        if (exitCode == kStillActive) {
            logMessage("Terminating process");
            TerminateProcess(process.hProcess, 1);
        } else if (exitCode != 0) {
            writeCachedVersion(javaExe, lastWriteTime, u"1.0.0");
        }
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        if (inheritable) CloseHandle(inheritable);
        if (exitCode == 0) {
            std::optional<WideString> version = parseVersionOutput(readProbeOutput(outputFile));
            if (version) {
                versionOut = *version;
                logMessage("Java version: %S", versionOut);
                ok = true;
            }
        }
    }
    DeleteFileW(asWindows(outputFile));
    return ok;
}

bool checkJavaExe(WideString& javaExe, WideString& versionOut, const WideString& lower,
                  const WideString& upper, bool allowPrerelease) {
    logMessage("checkJavaExe (%S, [out], %S, %S, %d)", javaExe, lower, upper,
               allowPrerelease ? 1 : 0);
    WideString normalised;
    fullPath(normalised, javaExe, false);
    javaExe = normalised;

    bool result = false;
    std::uint64_t lastWriteTime = 0;
    if (!findEntry(javaExe, &lastWriteTime)) {
        logMessage("file doesn't exist");
    } else {
        logMessage("file exists");
        versionOut.clear();
        bool prereleaseConfigured = getSettingInt(kKeyAllowPrerelease) != 0;
        if (readCachedVersion(javaExe, lastWriteTime, versionOut) && versionOut != u"1.0.0") {
            logMessage("got version from registry %S", versionOut);
            result =
                versionAcceptable(versionOut, lower, upper, allowPrerelease, prereleaseConfigured);
        } else if (probeJavaVersion(javaExe, lastWriteTime, versionOut)) {
            logMessage("got version from execution %S", versionOut);
            writeCachedVersion(javaExe, lastWriteTime, versionOut);
            result =
                versionAcceptable(versionOut, lower, upper, allowPrerelease, prereleaseConfigured);
        } else {
            logMessage("couldn't get version");
        }
    }
    if (result && getSettingInt(kKeyExecutableType) == 1 && javaExe.size() >= 4) {
        javaExe.replace(javaExe.size() - 4, 4, u"w.exe");
        result = pathExists(javaExe);
    }
    logMessage("checkJavaExe returning %d", result ? 1 : 0);
    return result;
}

}  // namespace tesmo
