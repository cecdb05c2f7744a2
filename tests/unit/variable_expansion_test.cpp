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

TEST(ExpandVariables, FixedVariables) {
    environment = {};
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"${KORVANE_EXEDIR}lib", u"C:\\App\\lib"},
        {u"${KORVANE_EXEDIR}\\lib", u"C:\\App\\\\lib"},
        {u"%TESMO_EXEDIR%a;%KORVANE_EXEDIR%b", u"C:\\App\\a;C:\\App\\b"},
        {u"${TESMO_TEMPDIR}\\x%TESMO_PATHLIST_SEPARATOR%y", u"C:\\Temp\\tsm1.tmp_dir5\\x;y"},
        {u"[${launcher:sys.jvmHome}]", u"[]"},
        {u"${launcher:sys.tempDir}f", u"C:\\Temp\\f"},
        {u"%OTHER% %tesmo_exedir%", u"%OTHER% %tesmo_exedir%"},
        {u"${TESMO_EXEDIR}${TESMO_EXEDIR}", u"C:\\App\\C:\\App\\"}};
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(expand(input), expected) << toUtf8(input);
    }
}

TEST(ExpandVariables, SystemTempIsOnlyAskedWhenUsed) {
    environment = {};
    systemTempCalls = 0;
    expand(u"${TESMO_EXEDIR}");
    EXPECT_EQ(systemTempCalls, 0);
    expand(u"${launcher:sys.tempDir}");
    EXPECT_EQ(systemTempCalls, 1);
}

TEST(ExpandVariables, EnvironmentAsStoredOrUpperCase) {
    environment = {u"Path=C:\\bin", u"HOME=C:\\Users\\x", u"=C:=C:\\cwd", u"EMPTY=", u"noequals"};
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"${Path}", u"C:\\bin"}, {u"${PATH}", u"C:\\bin"},
        {u"${path}", u"${path}"}, {u"${HOME}\\a", u"C:\\Users\\x\\a"},
        {u"a${EMPTY}b", u"ab"},   {u"${NO_SUCH_VARIABLE}", u"${NO_SUCH_VARIABLE}"},
        {u"${}", u"${}"}};
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(expand(input), expected) << toUtf8(input);
    }
}

TEST(ExpandVariables, InsertedTextIsSearchedOnlyByLaterSteps) {
    environment = {u"A=${A}${B}", u"B=b"};
    EXPECT_EQ(expand(u"${A}"), u"${A}b");
    environment = {u"LOOP=x${LOOP}"};
    EXPECT_EQ(expand(u"${LOOP}"), u"x${LOOP}");
    environment = {u"DIR=${TESMO_EXEDIR}"};
    EXPECT_EQ(expand(u"${DIR}"), u"${TESMO_EXEDIR}");
}

TEST(ExpandVariables, ReplacementsThatWouldNotFitAreRefused) {
    environment = {u"BIG=" + WideString(100, u'x')};
    WideString result = expand(u"a${BIG}b", 50);
    EXPECT_EQ(result, u"a${BIG}b");
    result = expand(u"${BIG}", 101);
    EXPECT_EQ(result, WideString(100, u'x'));
    result = expand(u"${BIG}${BIG}", 150);
    EXPECT_EQ(result, WideString(100, u'x') + u"${BIG}");
}

TEST(ReplaceAll, LogsEachReplacement) {
    testing::clearCapturedLog();
    WideString text = u"a%X%b%X%";
    replaceAll(text, u"%X%", u"1", kPathCapacity);
    EXPECT_EQ(text, u"a1b1");
    const std::vector<std::string> expected = {"expanding2 %X% to 1 in a1b%X%.",
                                               "expanding2 %X% to 1 in a1b1."};
    EXPECT_EQ(testing::capturedLog(), expected);
}

}  // namespace
}  // namespace tesmo
