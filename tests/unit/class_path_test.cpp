#include "vm/class_path.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/keys.h"

namespace tesmo {
namespace {

const std::set<WideString> existing = {u"C:\\App\\.\\.", u"C:\\App\\.\\lib\\app.jar",
                                       u"C:\\App\\.\\lib\\ext", u"C:\\App\\empty", u"C:\\Temp\\d"};
std::map<WideString, std::vector<WideString>> listings = {
    {u"C:\\App\\.\\lib\\ext", {u"b.jar", u"a.zip", u"c.jar", u"notes.txt"}},
    {u"C:\\Temp\\d", {u"x.jar", u"y.zip"}}};
const std::map<WideString, WideString> variables = {
    {u"QUOTED", u"\"C:\\lib\\a.jar\""}, {u"ENDS", u"C:\\x.jar;"}, {u"EMPTY", u""}};

// Every path list the tests configure holds a single path.
bool resolve(WideString& out, const WideString& path) {
    out = (path.size() > 1 && path[1] == u':') ? path : u"C:\\App\\" + path;
    return true;
}

const ClassPathSources kSources = {
    [](WideString& text) { text = text == u"${LIB}" ? u"C:\\lib" : text; },
    [](const WideString& path) { return existing.count(path) > 0; },
    &resolve,
    &resolve,
    [](const WideString& directory, const WideString& extension) {
        std::vector<WideString> names;
        for (const WideString& name : listings[directory])
            if (name.ends_with(extension)) names.push_back(name);
        return names;
    },
    [](const WideString& name) {
        auto found = variables.find(name);
        return found == variables.end() ? std::nullopt : std::optional(found->second);
    }};

ClassPathResult build(const WideString& configured) {
    return buildClassPathOption(ClassPathInput{{}, u"", false, u"C:\\App", configured}, kSources);
}

TEST(ClassPath, EntriesInStoredOrderOptionalOnesNeverFailing) {
    EXPECT_EQ(
        build(u"D0.\\.;A0.\\lib\\app.jar;S0.\\lib\\ext;E0QUOTED;E0ENDS;A0${LIB};"
              u"A0.\\missing.jar;E0UNSET;S0.\\nothing;X0odd;E")
            .option,
        u"-Djava.class.path=C:\\App\\.\\.;C:\\App\\.\\lib\\app.jar;"
        u"C:\\App\\.\\lib\\ext\\b.jar;C:\\App\\.\\lib\\ext\\c.jar;C:\\App\\.\\lib\\ext\\a.zip;"
        u"C:\\lib\\a.jar;C:\\x.jar;C:\\lib;C:\\App\\.\\missing.jar;");
}

TEST(ClassPath, MissingRequiredEntriesStopTheLaunch) {
    const std::tuple<const char16_t*, int, const char16_t*> cases[] = {
        {u"A1.\\missing.jar", kMessageClassPathEntryMissing, u".\\missing.jar"},
        {u"E1UNSET", kMessageVariableUndefined, u"UNSET"},
        {u"S1empty;A1.\\lib\\app.jar", 0, u""}};
    for (const auto& [configured, messageId, argument] : cases) {
        ClassPathResult result = build(configured);
        EXPECT_EQ(result.failure.messageId, messageId) << toUtf8(configured);
        EXPECT_EQ(result.failure.argument, argument);
    }
}

TEST(ClassPath, DirectivesTempArchivesAndTheRuntimeArchiveAroundTheEntries) {
    const ClassPathInput input{{std::nullopt, u"C:\\first.jar", u"C:\\last.jar"},
                               u"C:\\Temp\\d",
                               true,
                               u"C:\\App",
                               u"A0x.jar"};
    EXPECT_EQ(buildClassPathOption(input, kSources).option,
              u"-Djava.class.path=C:\\first.jar;C:\\Temp\\d\\x.jar;C:\\Temp\\d\\y.zip;"
              u"C:\\App\\.korvane\\kvnruntime.jar;C:\\App\\x.jar;C:\\last.jar");
    // A replacement drops the configured entries, a required missing one among them.
    const ClassPathInput replaced{{u"C:\\only.jar", std::nullopt, u"C:\\more.jar"},
                                  u"",
                                  true,
                                  u"C:\\App\\",
                                  u"A1.\\missing.jar"};
    EXPECT_EQ(buildClassPathOption(replaced, kSources).option,
              u"-Djava.class.path=C:\\App\\.korvane\\kvnruntime.jar;C:\\only.jar;C:\\more.jar");
}

TEST(ClassPath, LongClassPathsAreKeptWhole) {
    WideString configured;
    for (int i = 0; i < 3000; ++i) configured += u"A0.\\lib\\archive" + decimal(i) + u".jar;";
    // Far beyond the 48000 characters a fixed buffer would hold.
    EXPECT_NE(build(configured).option.find(u"archive2999.jar;"), WideString::npos);
}

}  // namespace
}  // namespace tesmo
