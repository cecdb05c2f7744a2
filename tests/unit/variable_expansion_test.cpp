#include "expansion/variable_expansion.h"

#include <gtest/gtest.h>

#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

int systemTempCalls = 0;
std::vector<WideString> environment;

WideString expand(WideString text, std::size_t capacity = kPathCapacity) {
    const ExpansionValues values{u"C:\\App\\", u"C:\\Temp\\tsm1.tmp_dir5", u"",
                                 [] { return ++systemTempCalls, WideString(u"C:\\Temp\\"); },
                                 [] { return environment; }};
    expandVariables(text, capacity, values);
    return text;
}

TEST(ExpandVariables, FixedThenEnvironmentEachInsertedTextLeftAlone) {
    const WideString big(100, u'x');
    environment = {
        u"Path=C:\\bin", u"=C:=C:\\cwd",         u"EMPTY=",    u"noequals", u"A=${A}${B}",
        u"B=b",          u"DIR=${TESMO_EXEDIR}", u"BIG=" + big};
    const std::tuple<WideString, std::size_t, WideString> cases[] = {
        {u"%TESMO_EXEDIR%a;%KORVANE_EXEDIR%b", kPathCapacity, u"C:\\App\\a;C:\\App\\b"},
        {u"${TESMO_TEMPDIR}\\x%TESMO_PATHLIST_SEPARATOR%y", kPathCapacity,
         u"C:\\Temp\\tsm1.tmp_dir5\\x;y"},
        {u"[${launcher:sys.jvmHome}]${launcher:sys.tempDir}f", kPathCapacity, u"[]C:\\Temp\\f"},
        {u"%OTHER% %tesmo_exedir% ${path} ${}", kPathCapacity,
         u"%OTHER% %tesmo_exedir% ${path} ${}"},
        {u"${Path}${PATH}a${EMPTY}b", kPathCapacity, u"C:\\binC:\\binab"},
        {u"${A}|${DIR}", kPathCapacity, u"${A}b|${TESMO_EXEDIR}"},
        // Replacements that would not fit are refused.
        {u"a${BIG}b", 50, u"a${BIG}b"},
        {u"${BIG}${BIG}", 150, big + u"${BIG}"}};
    testing::clearCapturedLog();
    for (const auto& [input, capacity, expected] : cases) {
        EXPECT_EQ(expand(input, capacity), expected) << toUtf8(input);
    }
    // The system's temporary directory is asked for only where it is used.
    EXPECT_EQ(systemTempCalls, 1);
    const auto& log = testing::capturedLog();
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "expanding2 ${Path} to C:\\bin in C:\\bin${PATH}a${EMPTY}b."),
              log.end());
}

}  // namespace
}  // namespace tesmo
