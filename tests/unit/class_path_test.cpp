#include "vm/class_path.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/keys.h"
#include "platform/path_text.h"

namespace tesmo {
namespace {

// The world of the class path: existing paths, directory listings, variables.
std::set<WideString> existing;
std::map<WideString, std::vector<WideString>> listings;
std::map<WideString, WideString> variables;

void expand(WideString& text) {
    std::size_t at = text.find(u"${LIB}");
    if (at != WideString::npos) text.replace(at, 6, u"C:\\lib");
}
bool exists(const WideString& path) {
    return existing.count(path) > 0;
}
bool resolve(WideString& out, const WideString& path) {
    out = (path.size() > 1 && path[1] == u':') ? path : u"C:\\App\\" + path;
    return true;
}
bool resolveList(WideString& out, const WideString& list) {
    out.clear();
    for (const WideString& item : splitList(list, u';')) {
        WideString resolved;
        resolve(resolved, item);
        out += (out.empty() ? u"" : u";") + resolved;
    }
    return true;
}
std::vector<WideString> list(const WideString& directory, const WideString& extension) {
    std::vector<WideString> names;
    for (const WideString& name : listings[directory]) {
        if (name.ends_with(extension)) names.push_back(name);
    }
    return names;
}
std::optional<WideString> variable(const WideString& name) {
    auto found = variables.find(name);
    if (found == variables.end()) return std::nullopt;
    return found->second;
}

const ClassPathSources kSources = {expand, exists, resolve, resolveList, list, variable};

class ClassPath : public ::testing::Test {
  protected:
    void SetUp() override {
        existing = {u"C:\\App\\.\\.", u"C:\\App\\.\\lib\\app.jar", u"C:\\App\\.\\lib\\ext",
                    u"C:\\App\\empty", u"C:\\Temp\\d"};
        listings = {{u"C:\\App\\.\\lib\\ext", {u"b.jar", u"a.zip", u"c.jar", u"notes.txt"}},
                    {u"C:\\Temp\\d", {u"x.jar", u"y.zip"}},
                    {u"C:\\App\\empty", {}}};
        variables = {{u"QUOTED", u"\"C:\\lib\\a.jar\""}, {u"ENDS", u"C:\\x.jar;"}, {u"EMPTY", u""}};
    }
    ClassPathResult build(const WideString& configured, ClassPathInput input = {}) {
        input.configured = configured;
        return buildClassPathOption(input, kSources);
    }
};

TEST_F(ClassPath, EntriesInStoredOrderOptionalOnesNeverFailing) {
    ClassPathResult result = build(
        u"D0.\\.;A0.\\lib\\app.jar;S0.\\lib\\ext;E0QUOTED;E0ENDS;A0${LIB};"
        u"A0.\\missing.jar;E0UNSET;S0.\\nothing;X0odd;E");
    EXPECT_EQ(result.failure.messageId, 0);
    EXPECT_EQ(
        result.option,
        u"-Djava.class.path=C:\\App\\.\\.;C:\\App\\.\\lib\\app.jar;"
        u"C:\\App\\.\\lib\\ext\\b.jar;C:\\App\\.\\lib\\ext\\c.jar;C:\\App\\.\\lib\\ext\\a.zip;"
        u"C:\\lib\\a.jar;C:\\x.jar;C:\\lib;C:\\App\\.\\missing.jar;");
}

TEST_F(ClassPath, MissingRequiredEntriesStopTheLaunch) {
    const std::tuple<const char16_t*, int, const char16_t*> cases[] = {
        {u"A1.\\missing.jar", kMessageClassPathEntryMissing, u".\\missing.jar"},
        {u"D1${LIB}\\x", kMessageClassPathEntryMissing, u"C:\\lib\\x"},
        {u"S1.\\nowhere", kMessageClassPathEntryMissing, u".\\nowhere"},
        {u"E1UNSET", kMessageVariableUndefined, u"UNSET"},
        {u"E1EMPTY", kMessageClassPathEntryMissing, u"EMPTY"},
        {u"S1empty;A1.\\lib\\app.jar", 0, u""}};
    for (const auto& [configured, messageId, argument] : cases) {
        ClassPathResult result = build(configured);
        EXPECT_EQ(result.failure.messageId, messageId) << toUtf8(configured);
        EXPECT_EQ(result.failure.argument, argument);
    }
}

TEST_F(ClassPath, DirectivesTempArchivesAndTheRuntimeArchiveAroundTheEntries) {
    ClassPathInput input;
    input.directives.prepended = u"C:\\first.jar";
    input.directives.appended = u"C:\\last.jar";
    input.tempDirectory = u"C:\\Temp\\d";
    input.korvane = true;
    input.installationDirectory = u"C:\\App";
    EXPECT_EQ(build(u"A0x.jar", input).option,
              u"-Djava.class.path=C:\\first.jar;C:\\Temp\\d\\x.jar;C:\\Temp\\d\\y.zip;"
              u"C:\\App\\.korvane\\kvnruntime.jar;C:\\App\\x.jar;C:\\last.jar");
    // A replacement drops the configured entries, a required missing one among them.
    input = {};
    input.directives.replacement = u"C:\\only.jar";
    input.directives.appended = u"C:\\more.jar";
    input.installationDirectory = u"C:\\App\\";
    input.korvane = true;
    ClassPathResult result = build(u"A1.\\missing.jar", input);
    EXPECT_EQ(result.failure.messageId, 0);
    EXPECT_EQ(result.option,
              u"-Djava.class.path=C:\\App\\.korvane\\kvnruntime.jar;C:\\only.jar;C:\\more.jar");
}

TEST_F(ClassPath, LongClassPathsAreKeptWhole) {
    WideString configured;
    for (int i = 0; i < 3000; ++i) configured += u"A0.\\lib\\archive" + decimal(i) + u".jar;";
    ClassPathResult result = build(configured);
    // Far beyond the 48000 characters a fixed buffer would hold.
    EXPECT_GT(result.option.size(), 60000u);
    EXPECT_NE(result.option.find(u"archive2999.jar;"), WideString::npos);
}

}  // namespace
}  // namespace tesmo
