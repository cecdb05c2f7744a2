#include "runtime/java_version.h"

#include <gtest/gtest.h>

#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

struct LimitCase {
    const char16_t* version;
    const char16_t* lower;
    const char16_t* upper;
    bool accepted;
};

class VersionLimits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(VersionLimits, ComparedAsTextOverEachLimitsLength) {
    const LimitCase& c = GetParam();
    EXPECT_EQ(versionAcceptable(c.version, c.lower, c.upper, true, false), c.accepted);
}

INSTANTIATE_TEST_SUITE_P(Cases, VersionLimits,
                         ::testing::Values(LimitCase{u"1.7.0_51", u"1.7.0_51", u"1.7.0_51", true},
                                           LimitCase{u"1.7.0_60", u"", u"1.7.0_51", false},
                                           LimitCase{u"1.7.0_9", u"1.7.0_51", u"", true},
                                           LimitCase{u"1.7.0_100", u"1.7.0_51", u"", false},
                                           LimitCase{u"1.8.0_20", u"", u"1.8", true},
                                           LimitCase{u"1.8.0_20", u"", u"1.7", false},
                                           LimitCase{u"1.7", u"1.7.0", u"", false},
                                           LimitCase{u"17.0.15", u"1.8", u"", true},
                                           LimitCase{u"9", u"", u"", true},
                                           LimitCase{u"", u"", u"", true},
                                           LimitCase{u"", u"1", u"", false},
                                           LimitCase{u"1.6.0_45", u"1.7", u"1.8", false},
                                           LimitCase{u"1.8.0_292", u"1.7", u"1.8", true}));

TEST(VersionAcceptable, PrereleaseRule) {
    testing::clearCapturedLog();
    EXPECT_FALSE(versionAcceptable(u"1.8.0-ea", u"", u"", false, false));
    EXPECT_EQ(testing::capturedLog(), std::vector<std::string>{"beta vm not allowed"});
    EXPECT_TRUE(versionAcceptable(u"1.8.0-ea", u"", u"", false, true));
    EXPECT_TRUE(versionAcceptable(u"1.8.0-ea", u"", u"", true, false));
    EXPECT_FALSE(versionAcceptable(u"9-beta", u"", u"", false, false));
    EXPECT_FALSE(versionAcceptable(u"11.0.2-rc1", u"", u"", false, false));
    EXPECT_TRUE(versionAcceptable(u"1.8.0-EA", u"", u"", false, false));
    // Limits still apply to an allowed prerelease.
    EXPECT_FALSE(versionAcceptable(u"1.8.0-ea", u"1.9", u"", true, false));
}

TEST(VersionInLooseRange, ComparesOverTheShorterLength) {
    const std::tuple<const char16_t*, const char16_t*, const char16_t*, bool> cases[] = {
        {u"1.7", u"1.7.0_51", u"1.7.0_51", true},  {u"1.6", u"1.7.0_51", u"1.7.0_51", false},
        {u"1.8", u"1.7.0_51", u"1.7.0_51", false}, {u"", u"1.7", u"1.8", true},
        {u"1.7.0_45", u"1.7", u"1.7", true},       {u"17", u"1.8", u"", true},
        {u"1.6.0_45", u"1.7.0_51", u"", false}};
    for (const auto& [name, lower, upper, inRange] : cases) {
        EXPECT_EQ(versionInLooseRange(name, lower, upper), inRange) << toUtf8(name);
    }
}

TEST(ParseVersionOutput, TakesTheTextBetweenTheQuotes) {
    const std::pair<const char*, const char16_t*> cases[] = {
        {"java version \"1.7.0_51\"\nJava(TM) SE Runtime Environment\n", u"1.7.0_51"},
        {"java version \"1.8.0_20-ea\"\n", u"1.8.0_20-ea"},
        {"openjdk version \"17.0.15\" 2025-04-15\nOpenJDK Runtime Environment\n", u"17.0.15"},
        {"openjdk version \"1.8.0_292\"\n", u"1.8.0_292"},
        {"openjdk version \"21\" 2023-09-19 LTS", u"21"},
        {"Picked up JAVA_TOOL_OPTIONS: -Xmx1g\njava version \"1.8.0_201\"\n", u"1.8.0_201"},
        {"Picked up _JAVA_OPTIONS: -Dx=\"y\"\nNOTE: Picked up JDK_JAVA_OPTIONS: -Xss2m\n"
         "openjdk version \"11.0.2\" 2019-01-15\n",
         u"11.0.2"}};
    for (const auto& [output, version] : cases) {
        std::optional<WideString> parsed = parseVersionOutput(output);
        ASSERT_TRUE(parsed) << output;
        EXPECT_EQ(*parsed, version) << output;
    }
}

TEST(ParseVersionOutput, RefusesAnythingElseFirst) {
    const std::string longNotice = "Picked up JAVA_TOOL_OPTIONS: " + std::string(300, 'x');
    for (const std::string& output : std::vector<std::string>{
             "", "\n", "Error: could not find java.dll\njava version \"1.8.0\"\n",
             "picked up JAVA_TOOL_OPTIONS: x\njava version \"1.8.0\"\n",
             "Picked up JAVA_TOOL_OPTIONS: x\n", "java version 1.8.0\n", "java version \"1.8.0\n",
             "JAVA VERSION \"1.8.0\"\n", " java version \"1.8.0\"\n",
             "java version \"" + std::string(120, '1') + "\"\n"}) {
        EXPECT_FALSE(parseVersionOutput(output)) << output;
    }
    EXPECT_EQ(parseVersionOutput(longNotice + "\njava version \"1.8.0\"\n"), u"1.8.0");
}

TEST(VersionCacheSubkey, SlashesInsteadOfBackslashes) {
    EXPECT_EQ(versionCacheSubkey(u"c:\\program files\\java\\jre7\\bin\\java.exe"),
              u"c:/program files/java/jre7/bin/java.exe");
}

}  // namespace
}  // namespace tesmo
