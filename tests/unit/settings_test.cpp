#include "core/settings.h"

#include <gtest/gtest.h>

#include <climits>

namespace tesmo {
namespace {

class Settings : public ::testing::Test {
  protected:
    void SetUp() override { narrowSettings.clear(); }
    void TearDown() override { narrowSettings.clear(); }
};

TEST_F(Settings, IntegersFollowDecimalRules) {
    const std::pair<const char*, int> cases[] = {{"0", 0},
                                                 {"", 0},
                                                 {" 12ab", 12},
                                                 {"-42", -42},
                                                 {"+7", 7},
                                                 {"abc", 0},
                                                 {"\t\n 5", 5},
                                                 {"2147483647", INT_MAX},
                                                 {"2147483648", INT_MAX},
                                                 {"-2147483648", INT_MIN},
                                                 {"-99999999999999999999", INT_MIN},
                                                 {"99999999999999999999999", INT_MAX},
                                                 {"- 5", 0},
                                                 {"1e3", 1}};
    for (const auto& [text, expected] : cases) {
        narrowSettings[300] = text;
        EXPECT_EQ(getSettingInt(300), expected) << '"' << text << '"';
    }
    EXPECT_EQ(getSettingInt(301), 0);
}

TEST_F(Settings, ColoursCutEachComponentToEightBits) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"1,2,3", 1u + 2u * 256u + 3u * 65536u},
        {"0,0,0", 0u},
        {"256,0,0", 0u},
        {"255,255,255", 0xFFFFFFu},
        {"10", 10u},
        {"10,20", 10u + 20u * 256u},
        {"-1,0,0", 0xFFu},
        {"1,2,3,4", 1u + 2u * 256u + 3u * 65536u}};
    for (const auto& [text, expected] : cases) {
        narrowSettings[10114] = text;
        EXPECT_EQ(getSettingColour(10114), expected) << text;
    }
    EXPECT_EQ(getSettingColour(10121), 0u);
}

TEST_F(Settings, TextIsCutToTheReadingSitesCapacity) {
    narrowSettings[2001] = "tk";
    EXPECT_EQ(getSettingString(2001, 2), "t");
    narrowSettings[124] = std::string(2500, 'a');
    EXPECT_EQ(getSettingString(124, 2000).size(), 1999u);
    EXPECT_EQ(getSettingString(124).size(), 2500u);
    EXPECT_EQ(getSettingString(999), "");
    EXPECT_EQ(getSettingString(124, 0), "");
}

TEST_F(Settings, WideTextTakesEachByteAsACodeUnit) {
    narrowSettings[122] = std::string("caf\xE9", 4);
    EXPECT_EQ(getSettingWideString(122), u"caf\u00E9");
    EXPECT_EQ(getSettingWideString(122, 3), u"ca");
    EXPECT_EQ(getSettingWideString(123), u"");
}

}  // namespace
}  // namespace tesmo
