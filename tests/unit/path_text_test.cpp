#include "platform/path_text.h"

#include <gtest/gtest.h>

namespace tesmo {
namespace {

TEST(PathText, DriveRootsAndRelativePaths) {
    for (const auto& [path, root] :
         {std::pair{u"C:\\.\\.", true}, {u"z:\\", true}, {u"C:\\..", false}, {u"C:", false}}) {
        EXPECT_EQ(isDriveRootSpelling(path), root) << toUtf8(path);
    }
    const std::pair<const char16_t*, bool> cases[] = {
        {u"\"C:\\x\"", false}, {u"\"C:", true}, {u"\\\\server\\s", false}, {u"\\x\\y", true},
        {u"C:x", true},        {u"C:/x", true}, {u"\"\\\\s\\x", false}};
    for (const auto& [path, relative] : cases) {
        EXPECT_EQ(isRelativePath(path), relative) << toUtf8(path);
    }
}

TEST(PathText, CollapseJoinSplitAndDirectory) {
    for (const auto& [input, expected] :
         {std::pair{u"\\\\server\\\\share\\\\\\x", u"\\\\server\\share\\x"},
          {u"\\\\\\x", u"\\\\x"}}) {
        WideString path = input;
        collapseBackslashes(path);
        EXPECT_EQ(path, expected) << toUtf8(input);
    }
    WideString out;
    ASSERT_TRUE(joinRelative(out, u"C:\\App\\", u".\\lib\\a.jar"));
    EXPECT_EQ(out, u"C:\\App\\.\\lib\\a.jar");
    ASSERT_TRUE(joinRelative(out, u"C:\\App\\", u"D:\\\\x"));
    EXPECT_EQ(out, u"D:\\x");
    WideString base = u"C:\\" + WideString(5990, u'a') + u"\\";
    EXPECT_TRUE(joinRelative(out, base, u"bcdef"));
    EXPECT_EQ(out.size(), 5999u);
    EXPECT_FALSE(joinRelative(out, base, u"bcdefg"));
    EXPECT_TRUE(out.empty());

    EXPECT_EQ(splitList(u";a;;b;", u';'), (std::vector<WideString>{u"a", u"b"}));
    EXPECT_EQ(directoryOf(u"C:\\App\\app.exe"), u"C:\\App\\");
    EXPECT_EQ(directoryOf(u"app.exe"), u"");
}

}  // namespace
}  // namespace tesmo
