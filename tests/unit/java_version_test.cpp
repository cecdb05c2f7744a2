#include "runtime/java_version.h"

#include <gtest/gtest.h>

#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

TEST(VersionAcceptable, ComparedAsTextOverEachLimitsLengthAfterThePrereleaseRule) {
    struct Case {
        const char16_t *version, *lower, *upper;
        bool allowed, configured, accepted;
    };
    const Case cases[] = {{u"1.7.0_60", u"", u"1.7.0_51", true, false, false},
                          {u"1.7.0_9", u"1.7.0_51", u"", true, false, true},
                          {u"1.8.0_20", u"", u"1.8", true, false, true},
                          {u"1.7", u"1.7.0", u"", true, false, false},
                          {u"11.0.2-rc1", u"", u"", false, false, false},
                          {u"9-beta", u"", u"", false, true, true},
                          {u"1.8.0-EA", u"", u"", false, false, true},
                          {u"1.8.0-ea", u"1.9", u"", true, false, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(versionAcceptable(c.version, c.lower, c.upper, c.allowed, c.configured),
                  c.accepted)
            << toUtf8(c.version);
    }
    testing::clearCapturedLog();
    versionAcceptable(u"1.8.0-ea", u"", u"", false, false);
    EXPECT_EQ(testing::capturedLog(), std::vector<std::string>{"beta vm not allowed"});
}

TEST(ParseVersionOutput, LongNoticesSkippedMalformedOrOverlongVersionsRefused) {
    const std::pair<std::string, std::optional<WideString>> cases[] = {
        {"Picked up JAVA_TOOL_OPTIONS: " + std::string(300, 'x') + "\njava version \"1.8.0\"\n",
         u"1.8.0"},
        {"java version \"1.8.0\n", std::nullopt},
        {"java version \"" + std::string(120, '1') + "\"\n", std::nullopt}};
    for (const auto& [output, version] : cases) {
        EXPECT_EQ(parseVersionOutput(output), version) << output;
    }
}

}  // namespace
}  // namespace tesmo
