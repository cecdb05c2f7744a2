#include <gtest/gtest.h>

#include <algorithm>

#include "files/removal.h"
#include "platform/paths.h"
#include "platform/text_windows.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

void makeFile(const WideString& path) {
    HANDLE file = CreateFileW(asWindows(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "x", 1, &written, nullptr);
    CloseHandle(file);
}

class EmptyDirectory : public ::testing::Test {
  protected:
    void SetUp() override {
        root = executableDirectoryWide() + u"removal";
        CreateDirectoryW(asWindows(root), nullptr);
        makeFile(root + u"\\a.txt");
        CreateDirectoryW(asWindows(root + u"\\lib"), nullptr);
        makeFile(root + u"\\lib\\b.dll");
        testing::clearCapturedLog();
    }
    void TearDown() override {
        emptyDirectory(root + u"\\lib\\deep", false);
        RemoveDirectoryW(asWindows(root + u"\\lib\\deep"));
        emptyDirectory(root, true);
        RemoveDirectoryW(asWindows(root));
    }
    WideString root;
};

TEST_F(EmptyDirectory, RemovesFilesAndFirstLevelSubdirectories) {
    emptyDirectory(root + u"\\", true);
    EXPECT_TRUE(pathExists(root));
    EXPECT_FALSE(pathExists(root + u"\\a.txt"));
    EXPECT_FALSE(pathExists(root + u"\\lib"));
    std::vector<std::string> log = testing::capturedLog();
    std::string prefix = toNarrow(root) + "\\";
    EXPECT_EQ(log.front(), "emptying " + prefix);
    EXPECT_NE(std::find(log.begin(), log.end(), "attempting to remove " + prefix + "lib (1)"),
              log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "attempting to delete " + prefix + "lib\\b.dll"),
              log.end());
}

TEST_F(EmptyDirectory, SecondLevelContentKeepsItsParents) {
    CreateDirectoryW(asWindows(root + u"\\lib\\deep"), nullptr);
    makeFile(root + u"\\lib\\deep\\c.txt");
    emptyDirectory(root, true);
    EXPECT_FALSE(pathExists(root + u"\\a.txt"));
    EXPECT_FALSE(pathExists(root + u"\\lib\\b.dll"));
    EXPECT_TRUE(pathExists(root + u"\\lib\\deep\\c.txt"));
    EXPECT_TRUE(pathExists(root + u"\\lib"));
}

TEST_F(EmptyDirectory, RelativeAndEmptyPathsAreLeftAlone) {
    // "." is the scratch directory here, so a wrong removal shows without harming anything.
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(asWindows(root));
    emptyDirectory(u".", true);
    emptyDirectory(u"", true);
    emptyDirectory(u".\\lib", true);
    SetCurrentDirectoryW(previous);
    EXPECT_TRUE(testing::capturedLog().empty());
    EXPECT_TRUE(pathExists(root + u"\\lib\\b.dll"));
    EXPECT_TRUE(pathExists(root + u"\\a.txt"));
}

}  // namespace
}  // namespace tesmo
