#include "core/command_line.h"

#include <gtest/gtest.h>

namespace tesmo {
namespace {

struct SplitCase {
    const char16_t* line;
    std::vector<WideString> expected;
};

class SplitCommandLine : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLine, SplitsLikeTheLauncher) {
    ArgumentList list;
    splitCommandLine(GetParam().line, list);
    EXPECT_EQ(list, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitCommandLine,
    ::testing::Values(
        SplitCase{u"\"C:\\My App\\app.exe\"  one   two", {u"C:\\My App\\app.exe", u"one", u"two"}},
        SplitCase{u"app.exe \"C:\\dir\\\" next", {u"app.exe", u"C:\\dir\\", u"next"}},
        SplitCase{u"app.exe \"\" x", {u"app.exe", u"", u"x"}},
        SplitCase{u"app.exe pre\"quoted text\"post", {u"app.exe", u"prequoted text", u"post"}},
        SplitCase{u"app.exe don't stop here", {u"app.exe", u"dont stop here"}},
        SplitCase{u"app.exe 'a b' c", {u"app.exe", u"a b", u"c"}},
        SplitCase{u"app.exe a\tb", {u"app.exe", u"a\tb"}},
        SplitCase{u"app.exe \"unclosed rest", {u"app.exe", u"unclosed rest"}},
        SplitCase{u"app.exe \"it's\" x", {u"app.exe", u"it's", u"x"}},
        SplitCase{u"app.exe 'say \"hi\"'", {u"app.exe", u"say \"hi\""}}, SplitCase{u"   ", {}},
        SplitCase{u"", {}}, SplitCase{u"a\\\\b \\\"c", {u"a\\\\b", u"\\c"}},
        SplitCase{u"x \"a\"\"b\"", {u"x", u"a", u"b"}}, SplitCase{u"trailing ", {u"trailing"}}));

TEST(Markers, RebootOnlyAsTheWholeLine) {
    EXPECT_TRUE(isRebootRequest("__kvn_reboot"));
    EXPECT_FALSE(isRebootRequest("__kvn_reboot x"));
    EXPECT_FALSE(isRebootRequest("__KVN_REBOOT"));
    EXPECT_FALSE(isRebootRequest(""));
    EXPECT_FALSE(isRebootRequest(nullptr));
}

TEST(Markers, RestartAndQuietArePrefixes) {
    EXPECT_TRUE(isLanguageRestart("__kvn_lang_restart"));
    EXPECT_TRUE(isLanguageRestart("__kvn_lang_restartXYZ more"));
    EXPECT_FALSE(isLanguageRestart("x __kvn_lang_restart"));
    EXPECT_FALSE(isLanguageRestart("__kvn_lang_restar"));
    EXPECT_TRUE(isInternalQuiet("-q_kvn_internal rest"));
    EXPECT_FALSE(isInternalQuiet("-q_kvn_interna"));
    EXPECT_FALSE(isInternalQuiet(nullptr));
}

TEST(LogSwitch, RemovedOnlyAsFirstUserArgument) {
    for (const char16_t* spelling :
         {u"-create-kvn-log", u"-create-tsm-log", u"/create-kvn-log", u"/create-tsm-log"}) {
        ArgumentList list{u"app", spelling, u"x"};
        EXPECT_TRUE(takeLogSwitch(list)) << toUtf8(spelling);
        EXPECT_EQ(list, (ArgumentList{u"app", u"x"}));
    }
    ArgumentList later{u"app", u"x", u"-create-kvn-log"};
    EXPECT_FALSE(takeLogSwitch(later));
    EXPECT_EQ(later.size(), 3u);
    ArgumentList upper{u"app", u"-CREATE-KVN-LOG"};
    EXPECT_FALSE(takeLogSwitch(upper));
    ArgumentList alone{u"-create-kvn-log"};
    EXPECT_FALSE(takeLogSwitch(alone));
}

struct ConsoleCase {
    std::vector<WideString> arguments;
    bool acceptQuiet;
    bool quiet;
    int consoleRequests;
};

class ConsoleSwitchScan : public ::testing::TestWithParam<ConsoleCase> {};

TEST_P(ConsoleSwitchScan, FollowsTheSwitchRules) {
    ConsoleSwitches result = scanConsoleSwitches(GetParam().arguments, GetParam().acceptQuiet);
    EXPECT_EQ(result.quiet, GetParam().quiet);
    EXPECT_EQ(result.consoleRequests, GetParam().consoleRequests);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleSwitchScan,
    ::testing::Values(ConsoleCase{{u"app", u"-q", u"-c"}, false, false, 0},
                      ConsoleCase{{u"app", u"-console"}, false, false, 1},
                      ConsoleCase{{u"app", u"-q"}, true, true, 0},
                      ConsoleCase{{u"app", u"-c", u"-console"}, true, true, 1},
                      ConsoleCase{{u"app", u"-console", u"-console"}, true, false, 2},
                      ConsoleCase{{u"-console"}, false, false, 1},
                      ConsoleCase{{u"app", u"-Q", u"-C", u"-Console"}, true, false, 0}));

TEST(ProductName, OnlyTMakesTesmo) {
    EXPECT_STREQ(productNameFor('t'), "tesmo");
    EXPECT_STREQ(productNameFor('k'), "korvane");
    EXPECT_STREQ(productNameFor('\0'), "korvane");
    EXPECT_STREQ(productNameFor('T'), "korvane");
}

}  // namespace
}  // namespace tesmo
