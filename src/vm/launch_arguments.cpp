#include "vm/launch_arguments.h"

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
