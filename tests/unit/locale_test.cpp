#include "config/locale.h"

#include <gtest/gtest.h>

#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

TEST(LocaleForLanguage, FullThenPrimaryThenEnglish) {
    const std::pair<std::uint16_t, const char*> cases[] = {
        {0x0407, "de_DE"}, {0x1C07, "de"}, {0x101A, "sr"}, {0x0442, "en"}};
    for (const auto& [language, expected] : cases) {
        EXPECT_EQ(localeForLanguage(language), expected) << std::hex << language;
    }
}

TEST(ChooseLocale, FormatAsDefaultArgumentsPickTheSource) {
    const auto german = [] { return std::uint16_t{0x0407}; };
    const LocaleSource french{german, [](std::uint16_t* language) {
                                  *language = 0x040C;
                                  return true;
                              }};
    struct Case {
        std::vector<WideString> arguments;
        const char* expected;
        const char* flag;
    };
    const Case cases[] = {
        {{u"app"}, "de_DE", "true"},
        {{u"app", u"-Dsun.locale.formatasdefault=no"}, "fr_FR", "false"},
        {{u"app", u"-Dsun.locale.formatasdefault=false", u"-Dsun.locale.formatasdefault=true"},
         "de_DE",
         "true"},
    };
    for (const Case& c : cases) {
        testing::clearCapturedLog();
        EXPECT_EQ(chooseLocale(&c.arguments, french), c.expected);
        EXPECT_EQ(testing::capturedLog(),
                  (std::vector<std::string>{std::string("sun.locale.formatasdefault is ") + c.flag,
                                            std::string("language/country is ") + c.expected}));
    }
}

}  // namespace
}  // namespace tesmo
