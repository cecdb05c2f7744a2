#include "core/command_line.h"

#include <gtest/gtest.h>

namespace tesmo {
namespace {

TEST(SplitCommandLine, SplitsLikeTheLauncher) {
    const std::pair<const char16_t*, std::vector<WideString>> cases[] = {
        {u"\"C:\\My App\\app.exe\"  one   two", {u"C:\\My App\\app.exe", u"one", u"two"}},
        {u"app.exe \"C:\\dir\\\" next", {u"app.exe", u"C:\\dir\\", u"next"}},
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
    for (ArgumentList list : {ArgumentList{u"app", u"x", u"-create-kvn-log"},
                              ArgumentList{u"app", u"-CREATE-KVN-LOG"}}) {
        ArgumentList before = list;
        EXPECT_FALSE(takeLogSwitch(list));
        EXPECT_EQ(list, before);
    }
}

TEST(ConsoleSwitches, QuietOnlyWhenAcceptedAndNotWithTwoConsoleRequests) {
    // Each row: arguments, quiet accepted, then quiet and the console requests found.
    const std::tuple<std::vector<WideString>, bool, bool, int> cases[] = {
        {{u"app", u"-q", u"-c"}, false, false, 0},
        {{u"app", u"-c", u"-console"}, true, true, 1},
        {{u"app", u"-console", u"-console"}, true, false, 2},
        {{u"app", u"-Q", u"-C", u"-Console"}, true, false, 0}};
    for (const auto& [arguments, acceptQuiet, quiet, consoleRequests] : cases) {
        ConsoleSwitches result = scanConsoleSwitches(arguments, acceptQuiet);
        EXPECT_EQ(result.quiet, quiet) << toUtf8(arguments.back());
        EXPECT_EQ(result.consoleRequests, consoleRequests) << toUtf8(arguments.back());
    }
    EXPECT_STREQ(productNameFor('t'), "tesmo");
    EXPECT_STREQ(productNameFor('T'), "korvane");
}

}  // namespace
}  // namespace tesmo
