#include <stdlib.h>
#include <time.h>

#include <cstdint>

#include "core/error_reporting.h"
#include "core/launcher_state.h"
#include "files/removal.h"
#include "files/temp_directory.h"
#include "platform/paths.h"
#include "platform/system_calls_windows.h"
#include "platform/text_windows.h"

namespace tesmo {

namespace {

long lastError() {
    return static_cast<long>(GetLastError());
}

template <typename String>
bool exists(const String& path) {
    return pathExists(path);
}

int nextPseudoRandom() {
    static bool seeded = false;
    if (!seeded) {
        srand(static_cast<unsigned>(time(nullptr)));
        seeded = true;
    }
    return rand() & 0x7FFF;
}

const TempCalls<std::string> kNarrowCalls = {
    [](std::string& out) -> unsigned long {
        out.assign(kPathCapacity, '\0');
        return systemCalls.getTempPathA(static_cast<DWORD>(kPathCapacity), out.data());
    },
    lastError,
    [] {
        WideString drive;
        WideString path;
        readEnvironment(L"HOMEDRIVE", drive);
        readEnvironment(L"HOMEPATH", path);
        return toNarrow(drive) + toNarrow(path);
    },
    [](const std::string& path) {
        return systemCalls.createDirectoryA(path.c_str(), nullptr) != 0;
    },
    [](const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; },
    exists<std::string>,
    [](const std::string& path) {
        char buffer[kPathCapacity];
        DWORD length = GetLongPathNameA(path.c_str(), buffer, kPathCapacity);
        return length > 0 && length < kPathCapacity ? std::string(buffer, length) : std::string();
    },
    [] {
        char buffer[kPathCapacity];
        UINT length = GetWindowsDirectoryA(buffer, kPathCapacity);
        return length > 0 && length < kPathCapacity ? std::string(buffer, length) : std::string();
    },
    [](const std::string& directory, std::string& out) {
        char name[MAX_PATH] = {};
        if (systemCalls.getTempFileNameA(directory.c_str(), "tsm", 0, name) == 0) return false;
        out = name;
        return true;
    },
    nextPseudoRandom};

const TempCalls<WideString> kWideCalls = {
    [](WideString& out) -> unsigned long {
        out.assign(kPathCapacity, u'\0');
        return systemCalls.getTempPathW(static_cast<DWORD>(kPathCapacity), asWindows(out));
    },
    lastError,
    [] {
        WideString drive;
        WideString path;
        readEnvironment(L"HOMEDRIVE", drive);
        readEnvironment(L"HOMEPATH", path);
        return drive + path;
    },
    [](const WideString& path) { return CreateDirectoryW(asWindows(path), nullptr) != 0; },
    [](const WideString& path) { return RemoveDirectoryW(asWindows(path)) != 0; },
    exists<WideString>,
    [](const WideString& path) {
        return fillWideBuffer([&](wchar_t* buffer, DWORD size) {
            return GetLongPathNameW(asWindows(path), buffer, size);
        });
    },
    [] {
        return fillWideBuffer(
            [](wchar_t* buffer, DWORD size) { return GetWindowsDirectoryW(buffer, size); });
    },
    [](const WideString& directory, WideString& out) {
        wchar_t name[MAX_PATH] = {};
        if (systemCalls.getTempFileNameW(asWindows(directory), L"tsm", 0, name) == 0) return false;
        out = fromWindows(name);
        return true;
    },
    nextPseudoRandom};

const LauncherTempCalls kLauncherTempCalls = {
    makeTempFileName, [] { return static_cast<std::int32_t>(time(nullptr)); },
    [](const std::string& path) {
        return systemCalls.createDirectoryA(path.c_str(), nullptr) != 0;
    },
    lastError, [](const std::string& path) { DeleteFileA(path.c_str()); }};

void removeLauncherTempDirectory() {
    if (launcherTempDirectory.empty()) return;
    emptyDirectory(launcherTempDirectory, true);
    RemoveDirectoryW(asWindows(launcherTempDirectory));
}

}  // namespace

bool isWritableDirectory(const WideString& directory) {
    return probeWritable(directory, kWideCalls);
}

bool isWritableDirectory(const std::string& directory) {
    return probeWritable(directory, kNarrowCalls);
}

std::optional<WideString> systemTempDirectoryWide() {
    return systemTempFrom(kWideCalls);
}

std::optional<std::string> systemTempDirectory() {
    return systemTempFrom(kNarrowCalls);
}

std::optional<WideString> makeTempFileNameWide() {
    return tempFileNameFrom(kWideCalls);
}

std::optional<std::string> makeTempFileName() {
    return tempFileNameFrom(kNarrowCalls);
}

std::optional<std::string> processCommFileName(unsigned long processId) {
    std::optional<std::string> directory = systemTempDirectory();
    if (!directory) return std::nullopt;
    return processCommFileNameIn(*directory, processId);
}

LauncherTempDirectory createLauncherTempDirectory() {
    LauncherTempAttempts attempts = makeLauncherTempDirectory(kLauncherTempCalls);
    if (attempts.result == LauncherTempDirectory::Created) {
        launcherTempDirectory = toWide(attempts.directory);
        registerAtExit(removeLauncherTempDirectory);
    }
    return attempts.result;
}

}  // namespace tesmo
