#include "vm/launch_arguments.h"

#include <algorithm>

namespace tesmo {

std::vector<WideString> systemProperties(const PropertyValues& values) {
    std::vector<WideString> properties;
    if (values.semaphoreName) {
        properties.push_back(u"-Dtesmo.semaphoreName=" + toWide(*values.semaphoreName));
    }
    if (values.korvane) properties.push_back(u"-Dtesmo.isKorvane=true");
    properties.push_back(u"-Dtesmo.moduleName=" + toWide(values.modulePath));
    properties.push_back(u"-Dsun.java.command=" + toWide(values.modulePath));
    if (values.processCommFile) {
        properties.push_back(u"-Dtesmo.processCommFile=" + toWide(*values.processCommFile));
    }
    properties.push_back(u"-Dtesmo.tempDir=" + values.tempDirectory);
    properties.push_back(u"-Dtesmo.unextractedPosition=" + decimal(values.unextractedPosition));
    properties.push_back(u"-Djava.library.path=" + values.libraryPath);
    if (values.consoleCodepage) {
        properties.push_back(u"-Dtesmo.consoleCodepage=cp" + decimal(*values.consoleCodepage));
    }
    return properties;
}

WideString narrowablePathList(WideView list, ShortPathLookup shortPath) {
    WideString result;
    for (std::size_t start = 0; start <= list.size();) {
        std::size_t end = std::min(list.find(u';', start), list.size());
        WideString entry(list.substr(start, end - start));
        if (std::any_of(entry.begin(), entry.end(), [](char16_t c) { return c > 0xFF; })) {
            WideString shortForm = shortPath(entry);
            if (!shortForm.empty()) entry = shortForm;
        }
        result += entry;
        if (end < list.size()) result.push_back(u';');
        start = end + 1;
    }
    return result;
}

WideString narrowableClassPathOption(WideView option, ShortPathLookup shortPath) {
    constexpr std::size_t kPrefix = sizeof "-Djava.class.path=" - 1;
    std::size_t cut = std::min(kPrefix, option.size());
    return WideString(option.substr(0, cut)) + narrowablePathList(option.substr(cut), shortPath);
}

WideString wrapperLogName(bool enabled, WideString name, void (*expand)(WideString& text),
                          WideString (*fullPath)(const WideString& path)) {
    if (!enabled) return {};
    expand(name);
    if (startsWith(name, u"$")) return name;
    return fullPath(name);
}

std::vector<WideString> wrapperArguments(const WrapperSettings& settings,
                                         const ArgumentList& arguments) {
    std::vector<WideString> result = {settings.windowed ? u"true" : u"false", settings.mainClass,
                                      settings.errorLog, settings.outputLog,
                                      settings.flag ? u"true" : u"false"};
    if (!arguments.empty()) result.push_back(arguments[0]);
    splitCommandLine(settings.fixedArguments, result);
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const WideString& argument = arguments[i];
        if (settings.dashJOptions && startsWith(argument, u"-J")) continue;
        if (startsWith(argument, u"-Dsun.locale.formatasdefault=")) continue;
        result.push_back(argument);
    }
    return result;
}

std::string narrowOption(WideView option) {
    std::string bytes;
    bytes.reserve(option.size());
    for (char16_t unit : option) bytes.push_back(unit <= 0xFF ? static_cast<char>(unit) : '?');
    return bytes;
}

}  // namespace tesmo
