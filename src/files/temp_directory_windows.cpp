#include <stdlib.h>
#include <time.h>

#include <cstdint>
#include <vector>

#include "core/error_reporting.h"
#include "core/keys.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "files/removal.h"
#include "files/temp_directory.h"
#include "platform/paths.h"
#include "platform/system_calls_windows.h"
#include "platform/text_windows.h"

namespace tesmo {

namespace {

constexpr int kTempDirectoryAttempts = 10;
// GetTempFileName writes the directory and 13 more characters into a buffer of MAX_PATH.
// Windows refuses a longer directory; Wine writes past the buffer and the launcher crashes
// (a TMP of 257 characters did), so a longer directory is never handed to it.
constexpr std::size_t kTempFileDirectoryLimit = MAX_PATH - 14;

// The narrow and wide forms follow the same steps with the calls of their width.
struct Narrow {
    using String = std::string;
    static String text(const char* ascii) { return ascii; }
    static DWORD tempPath(String& out) {
        out.assign(kPathCapacity, '\0');
        return systemCalls.getTempPathA(static_cast<DWORD>(kPathCapacity), out.data());
    }
    static String environment(const wchar_t* name) {
        WideString value;
        readEnvironment(name, value);
        return toNarrow(value);
    }
    static bool createDirectory(const String& path) {
        return systemCalls.createDirectoryA(path.c_str(), nullptr) != 0;
    }
    static BOOL removeDirectory(const String& path) { return RemoveDirectoryA(path.c_str()); }
    static String longPath(const String& path) {
        char buffer[kPathCapacity];
        DWORD length = GetLongPathNameA(path.c_str(), buffer, kPathCapacity);
        return length > 0 && length < kPathCapacity ? String(buffer, length) : String();
    }
    static String windowsDirectory() {
        char buffer[kPathCapacity];
        UINT length = GetWindowsDirectoryA(buffer, kPathCapacity);
        return length > 0 && length < kPathCapacity ? String(buffer, length) : String();
    }
    static bool exists(const String& path) { return pathExists(path); }
    static WideString wide(const String& text) { return toWide(text); }
};

struct Wide {
    using String = WideString;
    static String text(const char* ascii) { return tesmo::ascii(ascii); }
    static DWORD tempPath(String& out) {
        out.assign(kPathCapacity, u'\0');
        return systemCalls.getTempPathW(static_cast<DWORD>(kPathCapacity), asWindows(out));
    }
    static String environment(const wchar_t* name) {
        WideString value;
        readEnvironment(name, value);
        return value;
    }
    static bool createDirectory(const String& path) {
        return CreateDirectoryW(asWindows(path), nullptr) != 0;
    }
    static BOOL removeDirectory(const String& path) { return RemoveDirectoryW(asWindows(path)); }
    static String longPath(const String& path) {
        return fillWideBuffer([&](wchar_t* buffer, DWORD size) {
            return GetLongPathNameW(asWindows(path), buffer, size);
        });
    }
    static String windowsDirectory() {
        return fillWideBuffer(
            [](wchar_t* buffer, DWORD size) { return GetWindowsDirectoryW(buffer, size); });
    }
    static bool exists(const String& path) { return pathExists(path); }
    static WideString wide(const String& text) { return text; }
};

template <typename Form>
bool writable(const typename Form::String& directory) {
    typename Form::String probe = directory + Form::text("\\tsm_w_testdir");
    // A probe left behind by an earlier run must not count against the directory.
    Form::removeDirectory(probe);
    if (!Form::createDirectory(probe)) return false;
    bool exists = Form::exists(probe);
    Form::removeDirectory(probe);
    return exists;
}

// GetTempPath, or HOMEDRIVE + HOMEPATH when it gives nothing.
template <typename Form>
typename Form::String reportedTemp() {
    using String = typename Form::String;
    String out;
    DWORD length = Form::tempPath(out);
    DWORD error = GetLastError();
    logMessage("GetTempPath returned %d (last error %d)", static_cast<int>(length),
               static_cast<int>(error));
    out.resize(length < kPathCapacity ? length : 0);

    if (out.empty()) {
        out = Form::environment(L"HOMEDRIVE") + Form::environment(L"HOMEPATH");
        truncateToCapacity(out, kPathCapacity);
        logMessage("No temp dir defined. Using home %S", Form::wide(out));
    } else {
        bool made = Form::createDirectory(out);
        logMessage("make dir returned %d", made ? 0 : -1);
    }
    return out;
}

template <typename Form>
std::optional<typename Form::String> systemTemp() {
    using String = typename Form::String;
    String out = reportedTemp<Form>();
    // The long form usually cannot even be obtained for a path the code page cannot name,
    // so the path itself is tested then.
    String longForm = Form::longPath(out);
    if (!needsTempFallback(longForm.empty() ? out : longForm)) return out;
    return writableTempFallback(Form::windowsDirectory(),
                                TempFallbackCalls<String>{writable<Form>, Form::createDirectory});
}

int nextPseudoRandom() {
    static bool seeded = false;
    if (!seeded) {
        srand(static_cast<unsigned>(time(nullptr)));
        seeded = true;
    }
    return rand() & 0x7FFF;
}

// A name of its own when the system makes none, such as for a directory too long for it.
template <typename String>
String unreservedName(const String& directory, bool fits) {
    logMessage("GetTempFileName failed (last error %d)",
               static_cast<int>(fits ? GetLastError() : ERROR_BUFFER_OVERFLOW));
    return freeTempFileName(directory, nextPseudoRandom());
}

}  // namespace

bool isWritableDirectory(const WideString& directory) {
    return writable<Wide>(directory);
}

bool isWritableDirectory(const std::string& directory) {
    return writable<Narrow>(directory);
}

std::optional<WideString> systemTempDirectoryWide() {
    return systemTemp<Wide>();
}

std::optional<std::string> systemTempDirectory() {
    return systemTemp<Narrow>();
}

std::optional<WideString> makeTempFileNameWide() {
    std::optional<WideString> directory = systemTempDirectoryWide();
    if (!directory) return std::nullopt;
    logMessage("tempPath is %S", *directory);
    wchar_t name[MAX_PATH] = {};
    bool fits = directory->size() <= kTempFileDirectoryLimit;
    bool made = fits && systemCalls.getTempFileNameW(asWindows(*directory), L"tsm", 0, name) != 0;
    WideString out = made ? fromWindows(name) : unreservedName(*directory, fits);
    logMessage("tempFile is %S", out);
    return out;
}

std::optional<std::string> makeTempFileName() {
    std::optional<std::string> directory = systemTempDirectory();
    if (!directory) return std::nullopt;
    logMessage("tempPath is %s", *directory);
    char name[MAX_PATH] = {};
    bool fits = directory->size() <= kTempFileDirectoryLimit;
    bool made = fits && systemCalls.getTempFileNameA(directory->c_str(), "tsm", 0, name) != 0;
    std::string out = made ? std::string(name) : unreservedName(*directory, fits);
    logMessage("tempFile is %s", out);
    return out;
}

std::optional<std::string> processCommFileName(unsigned long processId) {
    std::optional<std::string> directory = systemTempDirectory();
    if (!directory) return std::nullopt;
    return processCommFileNameIn(*directory, processId);
}

namespace {

void removeLauncherTempDirectory() {
    if (launcherTempDirectory.empty()) return;
    emptyDirectory(launcherTempDirectory, true);
    RemoveDirectoryW(asWindows(launcherTempDirectory));
}

}  // namespace

LauncherTempDirectory createLauncherTempDirectory() {
    // GetTempFileName leaves an empty file to reserve each name; only the directory beside
    // it is used. The files are kept until the attempts end: a name given back within the
    // same clock tick would make the same directory name, which fails again.
    std::vector<std::string> reserved;
    LauncherTempDirectory result = LauncherTempDirectory::NotCreated;
    for (int attempt = 0; attempt < kTempDirectoryAttempts; ++attempt) {
        std::optional<std::string> base = makeTempFileName();
        if (!base) {
            result = LauncherTempDirectory::NoSystemTemp;
            break;
        }
        reserved.push_back(*base);
        std::string name =
            launcherTempDirectoryName(*base, static_cast<std::int32_t>(time(nullptr)));
        logMessage("Temp dir: %s", name);
        if (systemCalls.createDirectoryA(name.c_str(), nullptr) != 0) {
            launcherTempDirectory = toWide(name);
            registerAtExit(removeLauncherTempDirectory);
            result = LauncherTempDirectory::Created;
            break;
        }
        logMessage("Could not create dir (%d)", static_cast<int>(GetLastError()));
    }
    for (const std::string& base : reserved) DeleteFileA(base.c_str());
    return result;
}

}  // namespace tesmo
