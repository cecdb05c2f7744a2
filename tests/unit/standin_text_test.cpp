#include <gtest/gtest.h>

#include "jvm/text.h"

namespace standin::jvm {
namespace {

TEST(StandinText, Utf16ToUtf8CoversEveryLengthAndReplacesLoneSurrogates) {
    EXPECT_EQ(utf16ToUtf8(u"a\u00e9\u65e5\U0001F600"), "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80");
    EXPECT_EQ(utf16ToUtf8(std::u16string(u"x") + char16_t(0xD800) + u"y"), "x\xEF\xBF\xBDy");
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
    EXPECT_EQ(utf16ToUtf8(std::u16string(u"\0", 1)), std::string("\0", 1));
}

TEST(StandinText, Utf8ToUtf16RejectsMalformedOverlongAndSurrogateForms) {
    EXPECT_EQ(utf8ToUtf16("a\xC3\xA9\xF0\x9F\x98\x80"), u"a\u00e9\U0001F600");
    EXPECT_EQ(utf8ToUtf16("\xC0\x80"), u"\uFFFD\uFFFD");
    EXPECT_EQ(utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");
    EXPECT_EQ(utf8ToUtf16("\xE6\x97"), u"\uFFFD\uFFFD");
    EXPECT_EQ(utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(utf8ToUtf16("\xFF"), u"\uFFFD");
}

TEST(StandinText, ModifiedUtf8IsTheJvmForm) {
    // NUL as C0 80 and a supplementary character as two encoded surrogates.
    std::string encoded = "a\xC0\x80\xED\xA0\xBD\xED\xB8\x80";
    EXPECT_EQ(modifiedUtf8ToUtf16(encoded), std::u16string(u"a\0\U0001F600", 4));
    EXPECT_EQ(utf16ToModifiedUtf8(std::u16string(u"a\0\U0001F600", 4)), encoded);
    EXPECT_TRUE(isModifiedUtf8(encoded));
    EXPECT_FALSE(isModifiedUtf8(std::string("a\0b", 3)));
    EXPECT_FALSE(isModifiedUtf8("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(isModifiedUtf8("\xC1\x81"));
    EXPECT_FALSE(isModifiedUtf8("\xE6\x97"));
    EXPECT_EQ(modifiedUtf8ToUtf16("\xF0\x9F\x98\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(StandinText, Latin1AndClassNameForms) {
    EXPECT_EQ(latin1ToUtf16("a\xE9\x80\xFF"), u"a\u00e9\u0080\u00ff");
    EXPECT_EQ(dottedName("com/example/Main$Inner"), "com.example.Main$Inner");
    EXPECT_EQ(internalName("com.example.Main"), "com/example/Main");
}

}  // namespace
}  // namespace standin::jvm
