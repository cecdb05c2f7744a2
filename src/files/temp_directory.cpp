#include "files/temp_directory.h"

namespace tesmo {

namespace {

std::string text(const std::string&, const char* literal) {
    return literal;
}

WideString text(const WideString&, const char* literal) {
    return ascii(literal);
}

template <typename String>
std::optional<String> firstWritableFallback(const String& windows,
                                            const TempFallbackCalls<String>& calls) {
    const String candidates[] = {windows + text(windows, "\\temp"), text(windows, "c:\\temp"),
                                 text(windows, "c:\\tmp"), windows};
    for (const String& candidate : candidates) {
        if (calls.writable(candidate)) return candidate;
    }
    if (calls.writable(text(windows, "c:\\"))) {
        String made = text(windows, "c:\\tmp");
        calls.createDirectory(made);
        if (calls.writable(made)) return made;
    }
    return std::nullopt;
}

}  // namespace

bool needsTempFallback(std::string_view path) {
    return path.find('?') != std::string_view::npos;
}

bool needsTempFallback(WideView path) {
    return path.find(u'?') != WideView::npos;
}

std::optional<std::string> writableTempFallback(const std::string& windowsDirectory,
                                                const TempFallbackCalls<std::string>& calls) {
    return firstWritableFallback(windowsDirectory, calls);
}

std::optional<WideString> writableTempFallback(const WideString& windowsDirectory,
                                               const TempFallbackCalls<WideString>& calls) {
    return firstWritableFallback(windowsDirectory, calls);
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

}  // namespace tesmo
