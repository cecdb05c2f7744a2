#include <gtest/gtest.h>

#include <algorithm>

#include "files/removal.h"
#include "platform/paths.h"
#include "platform/text_windows.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

void writeFile(const WideString& path) {
    HANDLE file = CreateFileW(asWindows(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

TEST(Paths, ExistenceAndListingByExtension) {
    // Drive Q: does not exist in the test prefix; the spelling alone makes it a root.
    EXPECT_TRUE(pathExists(WideString(u"Q:\\.\\.")));
    EXPECT_FALSE(pathExists(WideString(u"Q:\\x")));
    const WideString directory = executableDirectoryWide() + u"listing";
    CreateDirectoryW(asWindows(directory), nullptr);
    for (const char16_t* name : {u"\\a.jar", u"\\b.JAR", u"\\c.zip"}) writeFile(directory + name);
    EXPECT_TRUE(pathExists(directory + u"\\a.jar"));
    EXPECT_FALSE(pathExists(directory + u"\\a.jar.missing"));

    for (const char16_t* extension : {u"jar", u".jar"}) {
        std::vector<WideString> names = listFilesByExtension(directory, extension);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<WideString>{u"a.jar", u"b.JAR"}));
    }
    EXPECT_TRUE(listFilesByExtension(directory + u"\\missing", u"jar").empty());

    for (const char16_t* name : {u"\\a.jar", u"\\b.JAR", u"\\c.zip"}) {
        DeleteFileW(asWindows(directory + name));
    }
    RemoveDirectoryW(asWindows(directory));
}

// Only files and the first level of directories go, and never anything of a relative path.
TEST(EmptyDirectory, SecondLevelContentAndRelativePathsAreLeftAlone) {
    const WideString root = executableDirectoryWide() + u"removal";
    for (const char16_t* name : {u"", u"\\lib", u"\\lib\\deep"}) {
        CreateDirectoryW(asWindows(root + name), nullptr);
    }
    for (const char16_t* name : {u"\\a.txt", u"\\lib\\b.dll", u"\\lib\\deep\\c.txt"}) {
        writeFile(root + name);
    }
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
    EXPECT_EQ(testing::capturedLog().front(), "emptying " + toNarrow(root) + "\\");
    EXPECT_FALSE(pathExists(root + u"\\a.txt"));
    EXPECT_FALSE(pathExists(root + u"\\lib\\b.dll"));
    EXPECT_TRUE(pathExists(root + u"\\lib\\deep\\c.txt"));

    DeleteFileW(asWindows(root + u"\\lib\\deep\\c.txt"));
    for (const char16_t* name : {u"\\lib\\deep", u"\\lib", u""}) {
        RemoveDirectoryW(asWindows(root + name));
    }
}

TEST(Environment, AValueBeyondTheSystemLimitIsRefusedAndTheOldOneKept) {
    // Wine takes longer values than Windows but hands back only 32767 characters, which
    // would cut a PATH inside an entry.
    for (const auto& [length, written] :
         {std::pair<std::size_t, bool>{32767, true}, std::pair<std::size_t, bool>{32768, false}}) {
        ASSERT_TRUE(writeEnvironment(L"TESMO_TEST_LIMIT", u"old"));
        const WideString value(length, u'p');
        SetLastError(0);
        EXPECT_EQ(writeEnvironment(L"TESMO_TEST_LIMIT", value), written) << length;
        if (!written) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
        }
        WideString read;
        ASSERT_TRUE(readEnvironment(L"TESMO_TEST_LIMIT", read));
        // Whether the value changed: Wine hands a value at the limit back not quite whole.
        EXPECT_EQ(read == u"old", !written) << length;
    }
    SetEnvironmentVariableW(L"TESMO_TEST_LIMIT", nullptr);
}

}  // namespace
}  // namespace tesmo
