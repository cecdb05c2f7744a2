#include "core/settings.h"

#include <gtest/gtest.h>

#include <climits>

namespace tesmo {
namespace {

TEST(Settings, IntegersColoursAndTextAsTheLauncherReadsThem) {
    narrowSettings.clear();
    const std::pair<const char*, int> integers[] = {
        {"", 0},   {" 12ab", 12}, {"-42", -42}, {"2147483648", INT_MAX}, {"-99999999999", INT_MIN},
        {"- 5", 0}};
    for (const auto& [text, expected] : integers) {
        narrowSettings[300] = text;
        EXPECT_EQ(getSettingInt(300), expected) << '"' << text << '"';
    }
    const std::pair<const char*, std::uint32_t> colours[] = {
        {"1,2,3", 1u + 2u * 256u + 3u * 65536u}, {"256,0,0", 0u}, {"-1,0,0", 0xFFu}};
    for (const auto& [text, expected] : colours) {
        narrowSettings[10114] = text;
        EXPECT_EQ(getSettingColour(10114), expected) << text;
    }
    // Text is cut to the reading site's capacity; wide text takes each byte as a code unit.
    narrowSettings[124] = std::string(2500, 'a');
    EXPECT_EQ(getSettingString(124, 2000).size(), 1999u);
    narrowSettings[122] = std::string("caf\xE9", 4);
    EXPECT_EQ(getSettingWideString(122), u"caf\u00E9");
    EXPECT_EQ(getSettingWideString(122, 3), u"ca");
    narrowSettings.clear();
}

}  // namespace
}  // namespace tesmo
