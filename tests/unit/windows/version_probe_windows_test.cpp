#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/paths.h"
#include "platform/text_windows.h"
#include "runtime/runtime_windows.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

bool loggedWithPrefix(const std::string& prefix) {
    const auto& log = testing::capturedLog();
    return std::any_of(log.begin(), log.end(),
                       [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

TEST(VersionCache, RoundTripThroughTheRegistryAndANumberIsNoVersion) {
    const WideString exe = u"z:\\cache test\\jre\\bin\\java.exe";
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\dravik-labs\\tesmo\\jvms");
    writeCachedVersion(kWindowsInstallation, exe, 0x0123456789ABCDEFULL, u"1.8.0_201");
    WideString version;
    EXPECT_TRUE(readCachedVersion(kWindowsInstallation, exe, 0x0123456789ABCDEFULL, version));
    EXPECT_EQ(version, u"1.8.0_201");
    // Whatever its bytes read as.
    DWORD number = 0x38002E;
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER,
                              L"SOFTWARE\\dravik-labs\\tesmo\\jvms\\z:/cache test/jre/bin/java.exe",
                              L"Version", REG_DWORD, &number, sizeof number),
              ERROR_SUCCESS);
    EXPECT_FALSE(readCachedVersion(kWindowsInstallation, exe, 0x0123456789ABCDEFULL, version));
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\dravik-labs\\tesmo\\jvms");
}

TEST(ProbeJavaVersion, AnExecutableWithoutShortFormIsQuotedWhenItHasSpaces) {
    // A missing file has no short form, as every file on a volume without 8.3 names.
    const std::pair<const char16_t*, const char*> cases[] = {
        {u"z:\\no such\\java.exe",
         "Could not create process \"z:\\no such\\java.exe\" -version > "},
        {u"z:\\nowhere\\java.exe", "Could not create process z:\\nowhere\\java.exe -version > "}};
    for (const auto& [exe, prefix] : cases) {
        testing::clearCapturedLog();
        WideString version;
        EXPECT_EQ(probeJavaVersion(exe, version), ProbeResult::Failed);
        EXPECT_TRUE(loggedWithPrefix(prefix)) << prefix;
    }
}

// A copy of the java.exe stand-in, told by standin.cfg how to answer.
TEST(VersionProbe, TheVersionOnlyWithExitCodeZeroAndATooLongProbeIsEnded) {
    const WideString folder = executableDirectoryWide() + u"probe";
    CreateDirectoryW(asWindows(folder), nullptr);
    const WideString java = folder + u"\\java.exe";
    ASSERT_TRUE(CopyFileW(asWindows(executableDirectoryWide() + u"standins\\java-standin.exe"),
                          asWindows(java), FALSE));
    const std::tuple<const char*, ProbeResult, const char16_t*, const char*> cases[] = {
        {"", ProbeResult::Version, u"1.8.0_201", "Java version: 1.8.0_201"},
        {"exit=3\n", ProbeResult::ExitCode, u"", "Exit Code 3"},
        {"delay_ms=20000\n", ProbeResult::Failed, u"", "Terminating process"}};
    for (const auto& [script, result, expected, line] : cases) {
        std::ofstream(asWindows(folder + u"\\standin.cfg")) << "banner=java version \"1.8.0_201\"\n"
                                                            << script;
        testing::clearCapturedLog();
        WideString version;
        DWORD started = GetTickCount();
        EXPECT_EQ(probeJavaVersion(java, version, 500), result) << script;
        EXPECT_EQ(version, expected) << script;
        EXPECT_TRUE(loggedWithPrefix(line)) << script;
        EXPECT_LT(GetTickCount() - started, 10000u);
    }
    // The slow one started and never finished: it was ended, not waited for.
    std::stringstream calls;
    calls << std::ifstream(asWindows(folder + u"\\invocations.log")).rdbuf();
    const std::string text = calls.str();
    EXPECT_NE(text.find(" -version"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5) << text;
    for (const char16_t* name : {u"\\java.exe", u"\\standin.cfg", u"\\invocations.log"}) {
        DeleteFileW(asWindows(folder + name));
    }
    RemoveDirectoryW(asWindows(folder));
}

}  // namespace
}  // namespace tesmo
