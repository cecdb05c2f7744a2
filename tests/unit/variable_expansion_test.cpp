#include "expansion/variable_expansion.h"

#include <gtest/gtest.h>

#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

int systemTempCalls = 0;
WideString systemTemp() {
    ++systemTempCalls;
    return u"C:\\Temp\\";
}

std::vector<WideString> environment;
std::vector<WideString> currentEnvironment() {
    return environment;
}

ExpansionValues values() {
    ExpansionValues v;
    v.executableDirectory = u"C:\\App\\";
    v.launcherTempDirectory = u"C:\\Temp\\tsm1.tmp_dir5";
    v.javaHome = u"";
    v.systemTempDirectory = systemTemp;
    v.environment = currentEnvironment;
    return v;
}

WideString expand(WideString text, std::size_t capacity = kPathCapacity) {
    expandVariables(text, capacity, values());
    return text;
}

TEST(ExpandVariables, FixedThenEnvironmentEachInsertedTextLeftAlone) {
    const WideString big(100, u'x');
    environment = {
        u"Path=C:\\bin", u"=C:=C:\\cwd",         u"EMPTY=",    u"noequals", u"A=${A}${B}",
        u"B=b",          u"DIR=${TESMO_EXEDIR}", u"BIG=" + big};
    const std::tuple<WideString, std::size_t, WideString> cases[] = {
        {u"${KORVANE_EXEDIR}\\lib", kPathCapacity, u"C:\\App\\\\lib"},
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
    systemTempCalls = 0;
    for (const auto& [input, capacity, expected] : cases) {
        EXPECT_EQ(expand(input, capacity), expected) << toUtf8(input);
    }
    // The system's temporary directory is asked for only where it is used.
    EXPECT_EQ(systemTempCalls, 1);
}

TEST(ReplaceAll, LogsEachReplacement) {
    testing::clearCapturedLog();
    WideString text = u"a%X%b%X%";
    replaceAll(text, u"%X%", u"1", kPathCapacity);
    EXPECT_EQ(text, u"a1b1");
    EXPECT_EQ(testing::capturedLog(), (std::vector<std::string>{"expanding2 %X% to 1 in a1b%X%.",
                                                                "expanding2 %X% to 1 in a1b1."}));
}

}  // namespace
}  // namespace tesmo
