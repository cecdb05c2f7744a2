#include "files/temp_directory.h"

#include "core/log.h"

namespace tesmo {

namespace {

constexpr int kTempDirectoryAttempts = 10;
// GetTempFileName writes the directory and 13 more characters into a buffer of 260.
// Windows refuses a longer directory; Wine writes past the buffer and the launcher crashes
// (a TMP of 257 characters did), so a longer directory is never handed to it.
constexpr std::size_t kTempFileDirectoryLimit = 260 - 14;
// What Windows reports for a buffer too small, logged when the directory is not even tried.
constexpr long kErrorBufferOverflow = 111;

std::string text(const std::string&, const char* literal) {
    return literal;
}

WideString text(const WideString&, const char* literal) {
    return ascii(literal);
}

WideString wide(const std::string& text) {
    return toWide(text);
}

const WideString& wide(const WideString& text) {
    return text;
}

void logTempPath(const char* label, const std::string& path) {
    logMessage("%s is %s", label, path);
}

void logTempPath(const char* label, const WideString& path) {
    logMessage("%s is %S", label, path);
}

template <typename String>
String reportedTemp(const TempCalls<String>& calls) {
    String out;
    unsigned long length = calls.tempPath(out);
    long error = calls.lastError();
    logMessage("GetTempPath returned %d (last error %d)", static_cast<int>(length),
               static_cast<int>(error));
    out.resize(length < kPathCapacity ? length : 0);

    if (out.empty()) {
        out = calls.home();
        truncateToCapacity(out, kPathCapacity);
        logMessage("No temp dir defined. Using home %S", wide(out));
    } else {
        bool made = calls.createDirectory(out);
        logMessage("make dir returned %d", made ? 0 : -1);
    }
    return out;
}

}  // namespace

template <typename String>
bool probeWritable(const String& directory, const TempCalls<String>& calls) {
    String probe = directory + text(directory, "\\tsm_w_testdir");
    // A probe left behind by an earlier run must not count against the directory.
    calls.removeDirectory(probe);
    if (!calls.createDirectory(probe)) return false;
    bool exists = calls.exists(probe);
    calls.removeDirectory(probe);
    return exists;
}

template <typename String>
std::optional<String> writableTempFallback(const String& windows, const TempCalls<String>& calls) {
    const String candidates[] = {windows + text(windows, "\\temp"), text(windows, "c:\\temp"),
                                 text(windows, "c:\\tmp"), windows};
    for (const String& candidate : candidates) {
        if (probeWritable(candidate, calls)) return candidate;
    }
    if (probeWritable(text(windows, "c:\\"), calls)) {
        String made = text(windows, "c:\\tmp");
        calls.createDirectory(made);
        if (probeWritable(made, calls)) return made;
    }
    return std::nullopt;
}

template <typename String>
std::optional<String> systemTempFrom(const TempCalls<String>& calls) {
    String out = reportedTemp(calls);
    // The long form usually cannot even be obtained for a path the code page cannot name,
    // so the path itself is tested then.
    String longForm = calls.longPath(out);
    if (!needsTempFallback(longForm.empty() ? out : longForm)) return out;
    return writableTempFallback(calls.windowsDirectory(), calls);
}

template <typename String>
std::optional<String> tempFileNameFrom(const TempCalls<String>& calls) {
    std::optional<String> directory = systemTempFrom(calls);
    if (!directory) return std::nullopt;
    logTempPath("tempPath", *directory);
    bool fits = directory->size() <= kTempFileDirectoryLimit;
    String out;
    if (!fits || !calls.tempFileName(*directory, out)) {
        // A name of its own when the system makes none, such as for a directory too long.
        logMessage("GetTempFileName failed (last error %d)",
                   static_cast<int>(fits ? calls.lastError() : kErrorBufferOverflow));
        out = freeTempFileName(*directory, calls.pseudoRandom());
    }
    logTempPath("tempFile", out);
    return out;
}

template bool probeWritable(const std::string&, const TempCalls<std::string>&);
template bool probeWritable(const WideString&, const TempCalls<WideString>&);
template std::optional<std::string> writableTempFallback(const std::string&,
                                                         const TempCalls<std::string>&);
template std::optional<WideString> writableTempFallback(const WideString&,
                                                        const TempCalls<WideString>&);
template std::optional<std::string> systemTempFrom(const TempCalls<std::string>&);
template std::optional<WideString> systemTempFrom(const TempCalls<WideString>&);
template std::optional<std::string> tempFileNameFrom(const TempCalls<std::string>&);
template std::optional<WideString> tempFileNameFrom(const TempCalls<WideString>&);

bool needsTempFallback(std::string_view path) {
    return path.find('?') != std::string_view::npos;
}

bool needsTempFallback(WideView path) {
    return path.find(u'?') != WideView::npos;
}

std::string freeTempFileName(const std::string& directory, int number) {
    return directory + "tsm" + std::to_string(number);
}

WideString freeTempFileName(const WideString& directory, int number) {
    return directory + u"tsm" + decimal(number);
}

std::string processCommFileNameIn(const std::string& directory, unsigned long processId) {
    return directory + "tsm_p" + std::to_string(processId) + ".tmp";
}

std::string launcherTempDirectoryName(const std::string& reservedFile, std::int32_t time) {
    return reservedFile + "_dir" + std::to_string(time);
}

LauncherTempAttempts makeLauncherTempDirectory(const LauncherTempCalls& calls) {
    // GetTempFileName leaves an empty file to reserve each name; only the directory beside
    // it is used. The files are kept until the attempts end: a name given back within the
    // same clock tick would make the same directory name, which fails again.
    std::vector<std::string> reserved;
    LauncherTempAttempts attempts;
    for (int attempt = 0; attempt < kTempDirectoryAttempts; ++attempt) {
        std::optional<std::string> base = calls.reserveName();
        if (!base) {
            attempts.result = LauncherTempDirectory::NoSystemTemp;
            break;
        }
        reserved.push_back(*base);
        std::string name = launcherTempDirectoryName(*base, calls.clock());
        logMessage("Temp dir: %s", name);
        if (calls.createDirectory(name)) {
            attempts = {LauncherTempDirectory::Created, name};
            break;
        }
        logMessage("Could not create dir (%d)", static_cast<int>(calls.lastError()));
    }
    for (const std::string& base : reserved) calls.deleteFile(base);
    return attempts;
}

}  // namespace tesmo
