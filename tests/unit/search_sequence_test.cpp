#include "runtime/search_sequence.h"

#include <gtest/gtest.h>

#include "core/keys.h"

namespace tesmo {
namespace {

TEST(SearchSequence, EntriesAreALetterAndItsText) {
    std::vector<SearchEntry> entries = parseSearchSequence(u"B.\\jre;Y;EJAVA_HOME;;EJDK_HOME;y;X1");
    ASSERT_EQ(entries.size(), 6u);
    const std::pair<char16_t, const char16_t*> expected[] = {
        {u'B', u".\\jre"},   {u'Y', u""}, {u'E', u"JAVA_HOME"},
        {u'E', u"JDK_HOME"}, {u'y', u""}, {u'X', u"1"}};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].letter, expected[i].first);
        EXPECT_EQ(entries[i].text, expected[i].second);
    }
    EXPECT_TRUE(parseSearchSequence(u"").empty());
    EXPECT_TRUE(parseSearchSequence(u";;;").empty());
}

TEST(SearchSequence, FallbackAbsoluteness) {
    for (const char16_t* text : {u"C:\\jre", u"\\\\server\\jre", u"c:", u"x:rel"}) {
        EXPECT_TRUE(isAbsoluteForFallback(text)) << toUtf8(text);
    }
    for (const char16_t* text : {u".\\jre", u"jre", u"\\jre", u"C", u"", u"${X}\\jre"}) {
        EXPECT_FALSE(isAbsoluteForFallback(text)) << toUtf8(text);
    }
}

TEST(JavaExeDirectory, CutsTheExecutableName) {
    EXPECT_EQ(javaExeDirectory(u"c:\\jre7\\bin\\java.exe"), u"c:\\jre7\\bin\\");
    EXPECT_EQ(javaExeDirectory(u"c:\\jre7\\bin\\javaw.exe"), u"c:\\jre7\\bin\\");
    EXPECT_EQ(javaExeDirectory(u"c:\\x\\jre.exe"), u"c:\\x");
    EXPECT_EQ(javaExeDirectory(u"short"), u"");
}

TEST(VmDirectoryOrder, PreferredTypeFirstThenTheFixedOrder) {
    EXPECT_EQ(vmDirectoryOrder(u""),
              (std::vector<WideString>{u"hotspot", u"client", u"server", u"classic", u"jrockit"}));
    EXPECT_EQ(vmDirectoryOrder(u"server"),
              (std::vector<WideString>{u"server", u"hotspot", u"client", u"server", u"classic",
                                       u"jrockit"}));
}

TEST(LoadFailureMessage, WordingFollowsTheSourceAndTheWordSize) {
    struct Case {
        SearchResult result;
        int message32;
        int message64;
    };
    const Case cases[] = {
        {SearchResult::NotFound, kMessageNoJvm, kMessageNoJvm},
        {SearchResult::FoundOnPath, kMessageNoJvm, kMessageNoJvm},
        {SearchResult::FoundAtLocation, kMessageDamagedJvm32, kMessageDamagedJvm64},
        {SearchResult::FoundByVariable, kMessageVariableNoJvm32, kMessageVariableNoJvm64},
        {SearchResult::FoundInRegistry, 0, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(loadFailureMessage(c.result, false).messageId, c.message32);
        EXPECT_EQ(loadFailureMessage(c.result, true).messageId, c.message64);
    }
}

}  // namespace
}  // namespace tesmo
