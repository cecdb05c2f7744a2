#include "expansion/variable_expansion.h"

#include "core/log.h"

namespace tesmo {

namespace {

enum class Value { ExecutableDirectory, TempDirectory, Separator, JavaHome, SystemTemp };

struct Variable {
    const char16_t* pattern;
    Value value;
};

constexpr Variable kVariables[] = {
    {u"%TESMO_EXEDIR%", Value::ExecutableDirectory},
    {u"%KORVANE_EXEDIR%", Value::ExecutableDirectory},
    {u"%TESMO_TEMPDIR%", Value::TempDirectory},
    {u"%KORVANE_TEMPDIR%", Value::TempDirectory},
    {u"%TESMO_PATHLIST_SEPARATOR%", Value::Separator},
    {u"%KORVANE_PATHLIST_SEPARATOR%", Value::Separator},
    {u"%TESMO_JVM_HOME%", Value::JavaHome},
    {u"%KORVANE_JVM_HOME%", Value::JavaHome},
    {u"${TESMO_EXEDIR}", Value::ExecutableDirectory},
    {u"${KORVANE_EXEDIR}", Value::ExecutableDirectory},
    {u"${TESMO_TEMPDIR}", Value::TempDirectory},
    {u"${KORVANE_TEMPDIR}", Value::TempDirectory},
    {u"${TESMO_PATHLIST_SEPARATOR}", Value::Separator},
    {u"${KORVANE_PATHLIST_SEPARATOR}", Value::Separator},
    {u"${TESMO_JVM_HOME}", Value::JavaHome},
    {u"${KORVANE_JVM_HOME}", Value::JavaHome},
    {u"${launcher:sys.launcherDirectory}", Value::ExecutableDirectory},
    {u"${launcher:sys.launcherTempDirectory}", Value::TempDirectory},
    {u"${launcher:sys.pathlistSeparator}", Value::Separator},
    {u"${launcher:sys.jvmHome}", Value::JavaHome},
    {u"${launcher:sys.tempDir}", Value::SystemTemp},
};

WideString valueOf(Value which, const ExpansionValues& values) {
    switch (which) {
        case Value::ExecutableDirectory:
            return values.executableDirectory;
        case Value::TempDirectory:
            return values.launcherTempDirectory;
        case Value::Separator:
            return u";";
        case Value::JavaHome:
            return values.javaHome;
        case Value::SystemTemp:
            return values.systemTempDirectory ? values.systemTempDirectory() : WideString();
    }
    return {};
}

}  // namespace

void replaceAll(WideString& text, WideView pattern, WideView value, std::size_t capacity) {
    if (pattern.empty()) return;
    std::size_t at = text.find(pattern);
    while (at != WideString::npos) {
        std::size_t grown = text.size() - pattern.size() + value.size();
        if (capacity == 0 || grown > capacity - 1) {
            logMessage("expansion of %S refused: the result would exceed %d characters",
                       WideString(pattern), static_cast<int>(capacity) - 1);
            at = text.find(pattern, at + pattern.size());
            continue;
        }
        text.replace(at, pattern.size(), value);
        logMessage("expanding2 %S to %S in %S.", WideString(pattern), WideString(value), text);
        at = text.find(pattern, at + value.size());
    }
}

void expandVariables(WideString& text, std::size_t capacity, const ExpansionValues& values) {
    for (const Variable& variable : kVariables) {
        // Computing a value can cost file-system calls; only do it for a value in use.
        if (text.find(variable.pattern) == WideString::npos) continue;
        replaceAll(text, variable.pattern, valueOf(variable.value, values), capacity);
    }
    // Every environment reference starts with "${"; most values have none.
    if (text.find(u"${") == WideString::npos || !values.environment) return;
    for (const WideString& entry : values.environment()) {
        std::size_t equals = entry.find(u'=');
        // Entries such as "=C:=C:\x" carry the drive's current directory, not a variable.
        if (equals == WideString::npos || equals == 0) continue;
        WideString pattern = u"${" + entry.substr(0, equals) + u"}";
        WideView value = WideView(entry).substr(equals + 1);
        replaceAll(text, pattern, value, capacity);
        WideString upper = pattern;
        upperAscii(upper);
        if (upper != pattern) replaceAll(text, upper, value, capacity);
    }
}

}  // namespace tesmo
