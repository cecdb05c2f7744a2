#include "runtime/search_sequence.h"

#include <gtest/gtest.h>

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
    const std::vector<WideString> fixed = vmDirectoryOrder(u"");
    std::vector<WideString> preferred = vmDirectoryOrder(u"server");
    ASSERT_EQ(preferred.size(), fixed.size() + 1);
    EXPECT_EQ(preferred.front(), u"server");
    // The preferred type is tried again in its own place, not taken out of the order.
    preferred.erase(preferred.begin());
    EXPECT_EQ(preferred, fixed);
}

}  // namespace
}  // namespace tesmo
