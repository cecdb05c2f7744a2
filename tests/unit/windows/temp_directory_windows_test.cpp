#include <gtest/gtest.h>

#include <regex>

#include "core/launcher_state.h"
#include "files/temp_directory.h"
#include "platform/paths.h"
#include "platform/text_windows.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

// The real calls behind the steps the native tests check with fakes.
class TempDirectory : public ::testing::Test {
  protected:
    void SetUp() override { testing::clearCapturedLog(); }
    void TearDown() override { launcherTempDirectory.clear(); }
    bool logged(const std::string& line) {
        const auto& log = testing::capturedLog();
        return std::find(log.begin(), log.end(), line) != log.end();
    }
};

TEST_F(TempDirectory, TheSystemPathKeepsItsTrailingBackslash) {
    std::string narrow = systemTempDirectory().value();
    WideString wide = systemTempDirectoryWide().value();
    ASSERT_FALSE(wide.empty());
    EXPECT_EQ(wide.back(), u'\\');
    EXPECT_EQ(toWide(narrow), wide);
    EXPECT_TRUE(logged("make dir returned -1"));
}

TEST_F(TempDirectory, TempFileNames) {
    std::string name = makeTempFileName().value();
    EXPECT_TRUE(pathExists(name));
    std::string directory = systemTempDirectory().value();
    EXPECT_EQ(name.rfind(directory + "tsm", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    DeleteFileA(name.c_str());
}

TEST_F(TempDirectory, LauncherDirectoryIsATempNameWithTheTime) {
    ASSERT_EQ(createLauncherTempDirectory(), LauncherTempDirectory::Created);
    std::string directory = toNarrow(launcherTempDirectory);
    EXPECT_TRUE(std::regex_match(directory, std::regex(".*\\\\tsm[0-9A-Fa-f]+\\.tmp_dir-?[0-9]+")))
        << directory;
    DWORD attributes = GetFileAttributesW(asWindows(launcherTempDirectory));
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(logged("Temp dir: " + directory));
    RemoveDirectoryW(asWindows(launcherTempDirectory));
    DeleteFileA(directory.substr(0, directory.rfind("_dir")).c_str());
}

TEST_F(TempDirectory, WritabilityProbe) {
    WideString directory = executableDirectoryWide() + u"probe";
    CreateDirectoryW(asWindows(directory), nullptr);
    WideString probe = directory + u"\\tsm_w_testdir";
    // An empty leftover probe does not count against the directory.
    CreateDirectoryW(asWindows(probe), nullptr);
    EXPECT_TRUE(isWritableDirectory(directory));
    EXPECT_FALSE(pathExists(probe));
    // A leftover that holds a file can be neither removed nor made again.
    CreateDirectoryW(asWindows(probe), nullptr);
    HANDLE file = CreateFileW(asWindows(probe + u"\\f"), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              0, nullptr);
    CloseHandle(file);
    EXPECT_FALSE(isWritableDirectory(directory));
    DeleteFileW(asWindows(probe + u"\\f"));
    RemoveDirectoryW(asWindows(probe));
    RemoveDirectoryW(asWindows(directory));
    EXPECT_FALSE(isWritableDirectory(directory));
}

}  // namespace
}  // namespace tesmo
