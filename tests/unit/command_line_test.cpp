#include "core/command_line.h"

#include <gtest/gtest.h>

namespace tesmo {
namespace {

TEST(SplitCommandLine, SplitsLikeTheLauncher) {
    const std::pair<const char16_t*, std::vector<WideString>> cases[] = {
        {u"\"C:\\My App\\app.exe\"  one   two", {u"C:\\My App\\app.exe", u"one", u"two"}},
        {u"app.exe \"C:\\dir\\\" next", {u"app.exe", u"C:\\dir\\", u"next"}},
        {u"app.exe pre\"quoted text\"post", {u"app.exe", u"prequoted text", u"post"}},
        {u"app.exe don't stop here", {u"app.exe", u"dont stop here"}},
        {u"app.exe 'say \"hi\"' a\tb", {u"app.exe", u"say \"hi\"", u"a\tb"}},
        {u"app.exe \"it's\" \"unclosed rest", {u"app.exe", u"it's", u"unclosed rest"}},
        {u"   ", {}}};
    for (const auto& [line, expected] : cases) {
        ArgumentList list;
        splitCommandLine(line, list);
        EXPECT_EQ(list, expected) << toUtf8(line);
    }
}

TEST(Markers, RebootIsTheWholeLineRestartAndQuietArePrefixes) {
    const std::pair<bool (*)(const char*), std::vector<std::pair<const char*, bool>>> cases[] = {
        {isRebootRequest, {{"__kvn_reboot", true}, {"__kvn_reboot x", false}, {nullptr, false}}},
        {isLanguageRestart,
         {{"__kvn_lang_restartXYZ more", true}, {"x __kvn_lang_restart", false}}},
        {isInternalQuiet, {{"-q_kvn_internal rest", true}, {"-q_kvn_interna", false}}}};
    for (const auto& [marker, lines] : cases) {
        for (const auto& [line, expected] : lines) {
            EXPECT_EQ(marker(line), expected) << (line ? line : "(none)");
        }
    }
}

TEST(LogSwitch, RemovedOnlyAsFirstUserArgument) {
    for (const char16_t* spelling : {u"-create-kvn-log", u"/create-tsm-log"}) {
        ArgumentList list{u"app", spelling, u"x"};
        EXPECT_TRUE(takeLogSwitch(list)) << toUtf8(spelling);
        EXPECT_EQ(list, (ArgumentList{u"app", u"x"}));
    }
    for (ArgumentList list :
         {ArgumentList{u"app", u"x", u"-create-kvn-log"}, ArgumentList{u"app", u"-CREATE-KVN-LOG"},
          ArgumentList{u"-create-kvn-log"}}) {
        ArgumentList before = list;
        EXPECT_FALSE(takeLogSwitch(list));
        EXPECT_EQ(list, before);
    }
}

TEST(ConsoleSwitches, QuietOnlyWhenAcceptedAndNotWithTwoConsoleRequests) {
    struct Case {
        std::vector<WideString> arguments;
        bool acceptQuiet;
        bool quiet;
        int consoleRequests;
    };
    for (const Case& c : {Case{{u"app", u"-q", u"-c"}, false, false, 0},
                          Case{{u"app", u"-console"}, false, false, 1},
                          Case{{u"app", u"-c", u"-console"}, true, true, 1},
                          Case{{u"app", u"-console", u"-console"}, true, false, 2},
                          Case{{u"-console"}, false, false, 1},
                          Case{{u"app", u"-Q", u"-C", u"-Console"}, true, false, 0}}) {
        ConsoleSwitches result = scanConsoleSwitches(c.arguments, c.acceptQuiet);
        EXPECT_EQ(result.quiet, c.quiet) << toUtf8(c.arguments.back());
        EXPECT_EQ(result.consoleRequests, c.consoleRequests) << toUtf8(c.arguments.back());
    }
    EXPECT_STREQ(productNameFor('t'), "tesmo");
    EXPECT_STREQ(productNameFor('T'), "korvane");
}

}  // namespace
}  // namespace tesmo
