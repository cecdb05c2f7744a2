#include "platform/path_text.h"

#include <gtest/gtest.h>

namespace tesmo {
namespace {

TEST(PathText, DriveRootSpellings) {
    for (const char16_t* root : {u"C:\\", u"C:\\.", u"C:\\.\\.", u"z:\\"}) {
        EXPECT_TRUE(isDriveRootSpelling(root)) << toUtf8(root);
    }
    for (const char16_t* other : {u"C:", u"C:\\x", u"C:\\..", u"C:\\.\\", u"", u"C"}) {
        EXPECT_FALSE(isDriveRootSpelling(other)) << toUtf8(other);
    }
}

TEST(PathText, RelativeOrAbsolute) {
    const std::pair<const char16_t*, bool> cases[] = {
        {u"ab", true},   {u"C:\\x", false},         {u"\"C:\\x\"", false}, {u"\"ab", true},
        {u"\"C:", true}, {u"\\\\server\\s", false}, {u"\\x\\y", true},     {u"lib\\a.jar", true},
        {u"C:x", true},  {u"\"\\\\s\\x", false},    {u"C:/x", true}};
    for (const auto& [path, relative] : cases) {
        EXPECT_EQ(isRelativePath(path), relative) << toUtf8(path);
    }
}

TEST(PathText, CollapseKeepsTheLeadingPair) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"\\\\server\\\\share\\\\\\x", u"\\\\server\\share\\x"},
        {u"C:\\\\a", u"C:\\a"},
        {u"\\\\\\x", u"\\\\x"},
        {u"a\\\\\\\\\\b\\", u"a\\b\\"},
        {u"\\\\", u"\\\\"},
        {u"x", u"x"}};
    for (const auto& [input, expected] : cases) {
        WideString path = input;
        collapseBackslashes(path);
        EXPECT_EQ(path, expected) << toUtf8(input);
    }
}

TEST(PathText, JoinKeepsDotsAndRefusesOverlongResults) {
    WideString out;
    ASSERT_TRUE(joinRelative(out, u"C:\\App\\", u".\\lib\\a.jar"));
    EXPECT_EQ(out, u"C:\\App\\.\\lib\\a.jar");
    ASSERT_TRUE(joinRelative(out, u"C:\\App\\", u"D:\\\\x"));
    EXPECT_EQ(out, u"D:\\x");
    ASSERT_TRUE(joinRelative(out, u"C:\\App\\", u"\\lib"));
    EXPECT_EQ(out, u"C:\\App\\lib");

    WideString base = u"C:\\" + WideString(5990, u'a') + u"\\";
    EXPECT_TRUE(joinRelative(out, base, u"bcdef"));
    EXPECT_EQ(out.size(), 5999u);
    EXPECT_FALSE(joinRelative(out, base, u"bcdefg"));
    EXPECT_TRUE(out.empty());
}

TEST(PathText, ListsSkipEmptyItems) {
    EXPECT_EQ(splitList(u";a;;b;", u';'), (std::vector<WideString>{u"a", u"b"}));
    EXPECT_TRUE(splitList(u"", u';').empty());
    EXPECT_TRUE(splitList(u";;", u';').empty());
    EXPECT_EQ(splitList(u"x", u';'), std::vector<WideString>{u"x"});
}

TEST(PathText, DirectoryOfKeepsTheBackslash) {
    EXPECT_EQ(directoryOf(u"C:\\App\\app.exe"), u"C:\\App\\");
    EXPECT_EQ(directoryOf(u"app.exe"), u"");
}

}  // namespace
}  // namespace tesmo
