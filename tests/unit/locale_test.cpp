#include "config/locale.h"

#include <gtest/gtest.h>

#include <optional>

#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

TEST(LocaleForLanguage, FullThenPrimaryThenEnglish) {
    // One identifier for each way through the lookup, not the table's contents.
    const std::pair<std::uint16_t, const char*> cases[] = {
        {0x0407, "de_DE"},  // the full identifier
        {0x1C07, "de"},     // a sublanguage the table lacks: its primary language
        {0x101A, "sr"},     // a high sublanguage is cut away whole
        {0x0442, "en"}};    // a primary language the table lacks
    for (const auto& [language, expected] : cases) {
        EXPECT_EQ(localeForLanguage(language), expected) << std::hex << language;
    }
}

TEST(ChooseLocale, FormatAsDefaultArgumentsPickTheSource) {
    using Arguments = std::vector<WideString>;
    const LocaleSource french{[] { return std::uint16_t{0x0407}; },
                              [](std::uint16_t* language) {
                                  *language = 0x040C;
                                  return true;
                              }};
    const LocaleSource noInterface{[] { return std::uint16_t{0x0407}; },
                                   [](std::uint16_t*) { return false; }};
    struct Case {
        std::optional<Arguments> arguments;
        LocaleSource source;
        const char* expected;
        const char* flag;  // logged unless there is no argument list
    };
    const Case cases[] = {
        {Arguments{u"app"}, french, "de_DE", "true"},
        {Arguments{u"app", u"-Dsun.locale.formatasdefault=no"}, french, "fr_FR", "false"},
        {Arguments{u"app", u"-Dsun.locale.formatasdefault=false",
                   u"-Dsun.locale.formatasdefault=true"},
         french, "de_DE", "true"},
        {Arguments{u"-Dsun.locale.formatasdefault=TRUE"}, french, "fr_FR", "false"},
        {Arguments{u"-Dsun.locale.formatasdefault=false"}, noInterface, "de_DE", "false"},
        {std::nullopt, french, "de_DE", nullptr}};
    for (const Case& c : cases) {
        testing::clearCapturedLog();
        const Arguments* arguments = c.arguments ? &*c.arguments : nullptr;
        EXPECT_EQ(chooseLocale(arguments, c.source), c.expected);
        std::vector<std::string> log = {std::string("language/country is ") + c.expected};
        if (c.flag) log.insert(log.begin(), std::string("sun.locale.formatasdefault is ") + c.flag);
        EXPECT_EQ(testing::capturedLog(), log);
    }
}

}  // namespace
}  // namespace tesmo
