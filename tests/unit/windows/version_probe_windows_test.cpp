#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/paths.h"
#include "platform/text_windows.h"
#include "runtime/runtime_windows.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

bool loggedWithPrefix(const std::string& prefix) {
    return std::ranges::any_of(testing::capturedLog(),
                               [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

TEST(VersionCache, RoundTripThroughTheRegistryAndANumberIsNoVersion) {
    const WideString exe = u"z:\\cache test\\jre\\bin\\java.exe";
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\dravik-labs\\tesmo\\jvms");
    writeCachedVersion(kWindowsInstallation, exe, 0x0123456789ABCDEFULL, u"1.8.0_201");
    WideString version;
    EXPECT_TRUE(readCachedVersion(kWindowsInstallation, exe, 0x0123456789ABCDEFULL, version));
    EXPECT_EQ(version, u"1.8.0_201");
    DWORD number = 0x38002E;  // whatever its bytes read as
    const wchar_t* key = L"SOFTWARE\\dravik-labs\\tesmo\\jvms\\z:/cache test/jre/bin/java.exe";
    LSTATUS set = RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Version", REG_DWORD, &number, 4);
    ASSERT_EQ(set, ERROR_SUCCESS);
    EXPECT_FALSE(readCachedVersion(kWindowsInstallation, exe, 0x0123456789ABCDEFULL, version));
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\dravik-labs\\tesmo\\jvms");
}

TEST(ProbeJavaVersion, AnExecutableWithoutShortFormIsQuotedWhenItHasSpaces) {
    // A missing file has no short form, as every file on a volume without 8.3 names.
    WideString version;
    EXPECT_EQ(probeJavaVersion(u"z:\\no such\\java.exe", version), ProbeResult::Failed);
    EXPECT_EQ(probeJavaVersion(u"z:\\nowhere\\java.exe", version), ProbeResult::Failed);
    EXPECT_TRUE(loggedWithPrefix("Could not create process \"z:\\no such\\java.exe\" -version > "));
    EXPECT_TRUE(loggedWithPrefix("Could not create process z:\\nowhere\\java.exe -version > "));
}

// A copy of the java.exe stand-in, told by standin.cfg how to answer.
TEST(VersionProbe, TheVersionOnlyWithExitCodeZeroAndATooLongProbeIsEnded) {
    const WideString folder = executableDirectoryWide() + u"probe";
    CreateDirectoryW(asWindows(folder), nullptr);
    ASSERT_TRUE(CopyFileW(asWindows(executableDirectoryWide() + u"standins\\java-standin.exe"),
                          asWindows(folder + u"\\java.exe"), FALSE));
    const std::tuple<const char*, ProbeResult, const char16_t*, const char*> cases[] = {
        {"", ProbeResult::Version, u"1.8.0_201", "Java version: 1.8.0_201"},
        {"exit=3\n", ProbeResult::ExitCode, u"", "Exit Code 3"},
        {"delay_ms=20000\n", ProbeResult::Failed, u"", "Terminating process"}};
    for (const auto& [script, result, expected, line] : cases) {
        std::ofstream(asWindows(folder + u"\\standin.cfg")) << "banner=java version \"1.8.0_201\"\n"
                                                            << script;
        testing::clearCapturedLog();
        WideString version;
        EXPECT_EQ(probeJavaVersion(folder + u"\\java.exe", version, 500), result) << script;
        EXPECT_EQ(version, expected) << script;
        EXPECT_TRUE(loggedWithPrefix(line)) << script;
    }
    // The slow one started and never finished: it was ended, not waited for.
    std::ifstream calls(asWindows(folder + u"\\invocations.log"));
    EXPECT_EQ(std::count(std::istreambuf_iterator<char>(calls), {}, '\n'), 5);
    calls.close();
    for (const char16_t* name : {u"\\java.exe", u"\\standin.cfg", u"\\invocations.log"})
        DeleteFileW(asWindows(folder + name));
    RemoveDirectoryW(asWindows(folder));
}

}  // namespace
}  // namespace tesmo
