#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "core/launcher_state.h"
#include "files/temp_directory.h"
#include "platform/paths.h"
#include "platform/system_calls_windows.h"
#include "platform/text_windows.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

// Restores the system-call table and the variables a test changed.
class TempDirectory : public ::testing::Test {
  protected:
    void SetUp() override {
        saved = systemCalls;
        testing::clearCapturedLog();
    }
    void TearDown() override {
        systemCalls = saved;
        for (const auto& [name, value] : savedVariables) {
            SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
        }
        launcherTempDirectory.clear();
    }
    void setVariable(const wchar_t* name, const wchar_t* value) {
        wchar_t old[kPathCapacity];
        DWORD length = GetEnvironmentVariableW(name, old, kPathCapacity);
        savedVariables.emplace_back(
            name, length ? std::optional<std::wstring>(old) : std::optional<std::wstring>());
        SetEnvironmentVariableW(name, value);
    }
    bool logged(const std::string& line) {
        const auto& log = testing::capturedLog();
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    SystemCalls saved;
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> savedVariables;
};

DWORD WINAPI noTempPathW(DWORD, LPWSTR) {
    return 0;
}
DWORD WINAPI noTempPathA(DWORD, LPSTR) {
    return 0;
}
UINT WINAPI failingTempFileNameW(LPCWSTR, LPCWSTR, UINT, LPWSTR) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}
DWORD WINAPI unrepresentableTempPathA(DWORD size, LPSTR out) {
    // What the narrow call gives for a directory the code page cannot name.
    return static_cast<DWORD>(snprintf(out, size, "C:\\users\\\?\?\?\\Temp\\"));
}
BOOL WINAPI failingCreateDirectoryA(LPCSTR, LPSECURITY_ATTRIBUTES) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

TEST_F(TempDirectory, WithoutTempPathTheHomeIsUsedAsItIs) {
    systemCalls.getTempPathW = noTempPathW;
    systemCalls.getTempPathA = noTempPathA;
    setVariable(L"HOMEDRIVE", L"C:");
    setVariable(L"HOMEPATH", L"\\users\\x");
    EXPECT_EQ(systemTempDirectoryWide().value(), u"C:\\users\\x");
    EXPECT_TRUE(logged("No temp dir defined. Using home C:\\users\\x"));
    EXPECT_EQ(systemTempDirectory().value(), "C:\\users\\x");
}

TEST_F(TempDirectory, TheSystemPathKeepsItsTrailingBackslash) {
    std::string narrow = systemTempDirectory().value();
    WideString wide = systemTempDirectoryWide().value();
    ASSERT_FALSE(wide.empty());
    EXPECT_EQ(wide.back(), u'\\');
    EXPECT_EQ(toWide(narrow), wide);
    EXPECT_TRUE(logged("make dir returned -1"));
}

TEST_F(TempDirectory, UnnameableNarrowPathFallsBackToAWritableDirectory) {
    systemCalls.getTempPathA = unrepresentableTempPathA;
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    std::string expected = toNarrow(fromWindows(windows)) + "\\temp";
    CreateDirectoryA(expected.c_str(), nullptr);
    EXPECT_EQ(systemTempDirectory().value(), expected);
    // A fallback has no trailing backslash: names are formed directly against it.
    EXPECT_EQ(processCommFileName(42).value(), expected + "tsm_p42.tmp");
}

TEST_F(TempDirectory, TempFileNames) {
    std::string name = makeTempFileName().value();
    EXPECT_TRUE(pathExists(name));
    std::string directory = systemTempDirectory().value();
    EXPECT_EQ(name.rfind(directory + "tsm", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    DeleteFileA(name.c_str());

    testing::clearCapturedLog();
    systemCalls.getTempFileNameW = failingTempFileNameW;
    WideString fallback = makeTempFileNameWide().value();
    std::smatch match;
    std::string text = toNarrow(fallback);
    ASSERT_TRUE(std::regex_match(text, match, std::regex(".*tsm([0-9]+)")));
    EXPECT_LE(std::stoi(match[1]), 32767);
    EXPECT_FALSE(pathExists(fallback));
    EXPECT_TRUE(logged("GetTempFileName failed (last error 5)"));
    EXPECT_TRUE(logged("tempFile is " + text));
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

// As Windows does: the first free number, reserved by creating the file. A name deleted at
// once is handed out again.
UINT WINAPI firstFreeTempFileNameA(LPCSTR directory, LPCSTR prefix, UINT, LPSTR out) {
    for (UINT number = 1;; ++number) {
        snprintf(out, MAX_PATH, "%s%s%u.tmp", directory, prefix, number);
        HANDLE file = CreateFileA(out, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return number;
        }
    }
}

TEST_F(TempDirectory, FailedAttemptsUseTenNamesAndLeaveNoneBehind) {
    std::string folder = toNarrow(executableDirectoryWide()) + "reserved\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    setVariable(L"TMP", asWindows(toWide(folder)));
    systemCalls.getTempFileNameA = firstFreeTempFileNameA;
    systemCalls.createDirectoryA = failingCreateDirectoryA;

    EXPECT_EQ(createLauncherTempDirectory(), LauncherTempDirectory::NotCreated);
    EXPECT_TRUE(launcherTempDirectory.empty());
    std::set<std::string> names;
    for (const std::string& line : testing::capturedLog()) {
        if (line.rfind("Temp dir: ", 0) == 0) names.insert(line.substr(0, line.rfind("_dir")));
    }
    EXPECT_EQ(names.size(), 10u);
    for (UINT number = 1; number <= 10; ++number) {
        EXPECT_FALSE(pathExists(folder + "tsm" + std::to_string(number) + ".tmp")) << number;
    }
    EXPECT_TRUE(RemoveDirectoryA(folder.c_str()));
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
