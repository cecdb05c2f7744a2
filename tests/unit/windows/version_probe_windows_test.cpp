#include <gtest/gtest.h>

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

// A copy of the java.exe stand-in in a folder of its own, told by standin.cfg what to do.
class VersionProbe : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = executableDirectoryWide() + u"probe-" +
                 ascii(::testing::UnitTest::GetInstance()->current_test_info()->name());
        CreateDirectoryW(asWindows(folder), nullptr);
        java = folder + u"\\java.exe";
        ASSERT_TRUE(CopyFileW(asWindows(executableDirectoryWide() + u"standins\\java-standin.exe"),
                              asWindows(java), FALSE));
        testing::clearCapturedLog();
    }
    void TearDown() override {
        for (const char16_t* name : {u"\\java.exe", u"\\standin.cfg", u"\\invocations.log"}) {
            DeleteFileW(asWindows(folder + name));
        }
        RemoveDirectoryW(asWindows(folder));
    }
    void configure(const std::string& text) {
        HANDLE file = CreateFileW(asWindows(folder + u"\\standin.cfg"), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
    }
    std::string invocations() {
        HANDLE file =
            CreateFileW(asWindows(folder + u"\\invocations.log"), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return {};
        char buffer[4096];
        DWORD got = 0;
        ReadFile(file, buffer, sizeof buffer, &got, nullptr);
        CloseHandle(file);
        return std::string(buffer, got);
    }
    WideString folder, java;
};

TEST_F(VersionProbe, TheVersionAfterTheNoticesOnlyWithExitCodeZero) {
    const std::tuple<const char*, ProbeResult, const char16_t*> cases[] = {
        {"banner=Picked up _JAVA_OPTIONS: -Xmx1g\nbanner=openjdk version \"17.0.15\" "
         "2025-04-15\nbanner=OpenJDK Runtime Environment\n",
         ProbeResult::Version, u"17.0.15"},
        {"banner=java version \"1.8.0_201\"\nexit=3\n", ProbeResult::ExitCode, u""}};
    for (const auto& [script, result, expected] : cases) {
        configure(script);
        WideString version;
        EXPECT_EQ(probeJavaVersion(java, version), result) << script;
        EXPECT_EQ(version, expected) << script;
    }
    EXPECT_TRUE(loggedWithPrefix("Java version: 17.0.15"));
    EXPECT_NE(invocations().find(" -version"), std::string::npos);
}

TEST_F(VersionProbe, ATooLongProbeIsTerminatedAndFails) {
    configure("banner=java version \"1.8.0_201\"\ndelay_ms=20000\n");
    WideString version;
    DWORD started = GetTickCount();
    EXPECT_EQ(probeJavaVersion(java, version, 500), ProbeResult::Failed);
    EXPECT_LT(GetTickCount() - started, 10000u);
    EXPECT_TRUE(loggedWithPrefix("Exit Code 259"));
    EXPECT_TRUE(loggedWithPrefix("Terminating process"));
    // Started, never finished: the stand-in was ended, not waited for.
    std::string calls = invocations();
    EXPECT_NE(calls.find("start "), std::string::npos);
    EXPECT_EQ(calls.find("end "), std::string::npos);
}

}  // namespace
}  // namespace tesmo
