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
    struct Case {
        const char16_t* version;
        const char16_t* lower;
        bool allowed, configured, accepted;
    };
    const Case cases[] = {{u"1.8.0-ea", u"", false, false, false},
                          {u"1.8.0-ea", u"", false, true, true},
                          {u"1.8.0-ea", u"", true, false, true},
                          {u"9-beta", u"", false, false, false},
                          {u"11.0.2-rc1", u"", false, false, false},
                          {u"1.8.0-EA", u"", false, false, true},
                          // Limits still apply to an allowed prerelease.
                          {u"1.8.0-ea", u"1.9", true, false, false}};
    for (const Case& c : cases) {
        testing::clearCapturedLog();
        EXPECT_EQ(versionAcceptable(c.version, c.lower, u"", c.allowed, c.configured), c.accepted)
            << toUtf8(c.version);
    }
    versionAcceptable(u"1.8.0-ea", u"", u"", false, false);
    EXPECT_EQ(testing::capturedLog(), std::vector<std::string>{"beta vm not allowed"});
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

TEST(ParseVersionOutput, TheTextBetweenTheQuotesBehindAnyNotices) {
    const std::string longNotice = "Picked up JAVA_TOOL_OPTIONS: " + std::string(300, 'x');
    const std::pair<std::string, std::optional<WideString>> cases[] = {
        {"java version \"1.7.0_51\"\nJava(TM) SE Runtime Environment\n", u"1.7.0_51"},
        {"java version \"1.8.0_20-ea\"\n", u"1.8.0_20-ea"},
        {"openjdk version \"17.0.15\" 2025-04-15\nOpenJDK Runtime Environment\n", u"17.0.15"},
        {"openjdk version \"1.8.0_292\"\n", u"1.8.0_292"},
        {"openjdk version \"21\" 2023-09-19 LTS", u"21"},
        {"Picked up JAVA_TOOL_OPTIONS: -Xmx1g\njava version \"1.8.0_201\"\n", u"1.8.0_201"},
        {"Picked up _JAVA_OPTIONS: -Dx=\"y\"\nNOTE: Picked up JDK_JAVA_OPTIONS: -Xss2m\n"
         "openjdk version \"11.0.2\" 2019-01-15\n",
         u"11.0.2"},
        {longNotice + "\njava version \"1.8.0\"\n", u"1.8.0"},
        // Anything else first is refused.
        {"", std::nullopt},
        {"\n", std::nullopt},
        {"Error: could not find java.dll\njava version \"1.8.0\"\n", std::nullopt},
        {"picked up JAVA_TOOL_OPTIONS: x\njava version \"1.8.0\"\n", std::nullopt},
        {"Picked up JAVA_TOOL_OPTIONS: x\n", std::nullopt},
        {"java version 1.8.0\n", std::nullopt},
        {"java version \"1.8.0\n", std::nullopt},
        {"JAVA VERSION \"1.8.0\"\n", std::nullopt},
        {" java version \"1.8.0\"\n", std::nullopt},
        {"java version \"" + std::string(120, '1') + "\"\n", std::nullopt}};
    for (const auto& [output, version] : cases) {
        EXPECT_EQ(parseVersionOutput(output), version) << output;
    }
}

TEST(VersionCacheSubkey, SlashesInsteadOfBackslashes) {
    EXPECT_EQ(versionCacheSubkey(u"c:\\program files\\java\\jre7\\bin\\java.exe"),
              u"c:/program files/java/jre7/bin/java.exe");
}

}  // namespace
}  // namespace tesmo
