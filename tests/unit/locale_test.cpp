#include "config/locale.h"

#include <gtest/gtest.h>

#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

TEST(LocaleForLanguage, FullThenPrimaryThenEnglish) {
    const std::pair<std::uint16_t, const char*> cases[] = {
        {0x0407, "de_DE"}, {0x0C07, "de_AT"}, {0x1C07, "de"},    {0x0814, "no_NO_NY"},
        {0x0812, "ko_KR"}, {0x0C0A, "es_ES"}, {0x2409, "en"},    {0x0431, "ts"},
        {0x081A, "sr_CS"}, {0x0C1A, "sr_CS"}, {0x0409, "en_US"}, {0x007F, "en"},
        {0x0442, "en"},    {0x0056, "gl"},    {0x500A, "es_PR"}, {0x0000, "en"},
        {0x040D, "iw_IL"}, {0x0421, "in_ID"}, {0x041A, "hr_HR"}, {0x101A, "sr"}};
    for (const auto& [language, expected] : cases) {
        EXPECT_EQ(localeForLanguage(language), expected) << std::hex << language;
    }
}

std::uint16_t userLocale() {
    return 0x0407;
}
bool interfaceFrench(std::uint16_t* language) {
    *language = 0x040C;
    return true;
}
bool noInterface(std::uint16_t*) {
    return false;
}

TEST(ChooseLocale, FormatAsDefaultArgumentsPickTheSource) {
    struct Case {
        std::vector<WideString> arguments;
        const char* expected;
        const char* flagLine;
    };
    const Case cases[] = {
        {{u"app"}, "de_DE", "sun.locale.formatasdefault is true"},
        {{u"app", u"-Dsun.locale.formatasdefault=false"},
         "fr_FR",
         "sun.locale.formatasdefault is false"},
        {{u"app", u"-Dsun.locale.formatasdefault=no"},
         "fr_FR",
         "sun.locale.formatasdefault is false"},
        {{u"app", u"-Dsun.locale.formatasdefault=false", u"-Dsun.locale.formatasdefault=true"},
         "de_DE",
         "sun.locale.formatasdefault is true"},
        {{u"-Dsun.locale.formatasdefault=TRUE"}, "fr_FR", "sun.locale.formatasdefault is false"},
    };
    LocaleSource source{userLocale, interfaceFrench};
    for (const Case& c : cases) {
        testing::clearCapturedLog();
        EXPECT_EQ(chooseLocale(&c.arguments, source), c.expected);
        std::vector<std::string> log = {c.flagLine,
                                        std::string("language/country is ") + c.expected};
        EXPECT_EQ(testing::capturedLog(), log);
    }
}

TEST(ChooseLocale, MissingInterfaceLanguageKeepsTheUserLocale) {
    std::vector<WideString> arguments{u"-Dsun.locale.formatasdefault=false"};
    EXPECT_EQ(chooseLocale(&arguments, LocaleSource{userLocale, noInterface}), "de_DE");
}

TEST(ChooseLocale, WithoutArgumentsNoFlagIsLogged) {
    testing::clearCapturedLog();
    EXPECT_EQ(chooseLocale(nullptr, LocaleSource{userLocale, interfaceFrench}), "de_DE");
    EXPECT_EQ(testing::capturedLog(), std::vector<std::string>{"language/country is de_DE"});
}

}  // namespace
}  // namespace tesmo
