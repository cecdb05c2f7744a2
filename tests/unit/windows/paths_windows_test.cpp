#include <gtest/gtest.h>

#include <fstream>

#include "files/removal.h"
#include "platform/paths.h"
#include "platform/text_windows.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

TEST(Paths, ListingByExtensionIgnoresCase) {
    const WideString directory = executableDirectoryWide() + u"listing";
    CreateDirectoryW(asWindows(directory), nullptr);
    for (const char16_t* name : {u"\\a.JAR", u"\\b.zip"})
        std::ofstream(asWindows(directory + name));
    EXPECT_EQ(listFilesByExtension(directory, u"jar"), std::vector<WideString>{u"a.JAR"});
    EXPECT_TRUE(listFilesByExtension(directory + u"\\missing", u"jar").empty());
    for (const char16_t* name : {u"\\a.JAR", u"\\b.zip"}) DeleteFileW(asWindows(directory + name));
    RemoveDirectoryW(asWindows(directory));
}

// Only files and the first level of directories go, and never anything of a relative path.
TEST(EmptyDirectory, SecondLevelContentAndRelativePathsAreLeftAlone) {
    const WideString root = executableDirectoryWide() + u"removal";
    for (const char16_t* name : {u"", u"\\lib", u"\\lib\\deep"})
        CreateDirectoryW(asWindows(root + name), nullptr);
    for (const char16_t* name : {u"\\a.txt", u"\\lib\\b.dll", u"\\lib\\deep\\c.txt"})
        std::ofstream(asWindows(root + name));
    // "." is the scratch directory here, so a wrong removal shows without harming anything.
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(asWindows(root));
    testing::clearCapturedLog();
    for (const char16_t* relative : {u".", u"", u".\\lib"}) emptyDirectory(relative, true);
    SetCurrentDirectoryW(previous);
    EXPECT_TRUE(testing::capturedLog().empty());
    EXPECT_TRUE(pathExists(root + u"\\a.txt"));

    emptyDirectory(root + u"\\", true);
    EXPECT_FALSE(pathExists(root + u"\\a.txt"));
    EXPECT_FALSE(pathExists(root + u"\\lib\\b.dll"));
    EXPECT_TRUE(pathExists(root + u"\\lib\\deep\\c.txt"));

    DeleteFileW(asWindows(root + u"\\lib\\deep\\c.txt"));
    for (const char16_t* name : {u"\\lib\\deep", u"\\lib", u""})
        RemoveDirectoryW(asWindows(root + name));
}

TEST(Environment, AValueBeyondTheSystemLimitIsRefusedAndTheOldOneKept) {
    // Wine takes longer values than Windows but hands back only 32767 characters, which
    // would cut a PATH inside an entry.
    WideString read;
    ASSERT_TRUE(writeEnvironment(L"TESMO_TEST_LIMIT", u"old"));
    SetLastError(0);
    EXPECT_FALSE(writeEnvironment(L"TESMO_TEST_LIMIT", WideString(32768, u'p')));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
    ASSERT_TRUE(readEnvironment(L"TESMO_TEST_LIMIT", read));
    EXPECT_EQ(read, u"old");

    // At the limit the value is taken, though Wine hands it back not quite whole.
    EXPECT_TRUE(writeEnvironment(L"TESMO_TEST_LIMIT", WideString(32767, u'p')));
    ASSERT_TRUE(readEnvironment(L"TESMO_TEST_LIMIT", read));
    EXPECT_NE(read, u"old");
    SetEnvironmentVariableW(L"TESMO_TEST_LIMIT", nullptr);
}

}  // namespace
}  // namespace tesmo
