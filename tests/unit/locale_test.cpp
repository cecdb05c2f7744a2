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
        {0x0442, "en"},     // a primary language the table lacks
        {0x007F, "en"},    {0x0000, "en"}};
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
    using Arguments = std::vector<WideString>;
    struct Case {
        std::optional<Arguments> arguments;
        bool (*interfaceLanguage)(std::uint16_t*);
        const char* expected;
        const char* flagLine;  // none without an argument list
    };
    const char* const isTrue = "sun.locale.formatasdefault is true";
    const char* const isFalse = "sun.locale.formatasdefault is false";
    const Case cases[] = {
        {Arguments{u"app"}, interfaceFrench, "de_DE", isTrue},
        {Arguments{u"app", u"-Dsun.locale.formatasdefault=false"}, interfaceFrench, "fr_FR",
         isFalse},
        {Arguments{u"app", u"-Dsun.locale.formatasdefault=no"}, interfaceFrench, "fr_FR", isFalse},
        {Arguments{u"app", u"-Dsun.locale.formatasdefault=false",
                   u"-Dsun.locale.formatasdefault=true"},
         interfaceFrench, "de_DE", isTrue},
        {Arguments{u"-Dsun.locale.formatasdefault=TRUE"}, interfaceFrench, "fr_FR", isFalse},
        {Arguments{u"-Dsun.locale.formatasdefault=false"}, noInterface, "de_DE", isFalse},
        {std::nullopt, interfaceFrench, "de_DE", nullptr}};
    for (const Case& c : cases) {
        testing::clearCapturedLog();
        const Arguments* arguments = c.arguments ? &*c.arguments : nullptr;
        EXPECT_EQ(chooseLocale(arguments, LocaleSource{userLocale, c.interfaceLanguage}),
                  c.expected);
        std::vector<std::string> log = {std::string("language/country is ") + c.expected};
        if (c.flagLine) log.insert(log.begin(), c.flagLine);
        EXPECT_EQ(testing::capturedLog(), log);
    }
}

}  // namespace
}  // namespace tesmo
