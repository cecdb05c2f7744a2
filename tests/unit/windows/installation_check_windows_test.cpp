#include <gtest/gtest.h>

#include "core/settings.h"
#include "platform/paths.h"
#include "platform/text_windows.h"
#include "runtime/installation_check.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

void makeFile(const WideString& path) {
    HANDLE file = CreateFileW(asWindows(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

void makeDirectories(const WideString& path) {
    for (std::size_t at = path.find(u'\\', 3); at != WideString::npos;
         at = path.find(u'\\', at + 1)) {
        CreateDirectoryW(asWindows(path.substr(0, at)), nullptr);
    }
    CreateDirectoryW(asWindows(path), nullptr);
}

// Runtime homes shaped like the generations, below the test executable.
class JavaHomes : public ::testing::Test {
  protected:
    void SetUp() override {
        root = executableDirectoryWide() + u"homes";
        for (const char16_t* dir : {u"\\jre8\\bin", u"\\jdk8\\bin", u"\\jdk8\\jre\\bin",
                                    u"\\jdk8\\lib", u"\\jdk17\\bin", u"\\jdk17\\lib"}) {
            makeDirectories(root + dir);
        }
        for (const char16_t* file :
             {u"\\jre8\\bin\\java.exe", u"\\jdk8\\bin\\java.exe", u"\\jdk8\\jre\\bin\\java.exe",
              u"\\jdk8\\lib\\tools.jar", u"\\jdk17\\bin\\java.exe", u"\\jdk17\\bin\\javac.exe"}) {
            makeFile(root + file);
        }
        narrowSettings.clear();
    }
    void TearDown() override { narrowSettings.clear(); }
    WideString root;
};

TEST_F(JavaHomes, ExecutableForEachGeneration) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"\\jre8", u"\\jre8\\bin\\java.exe"},
        {u"\\jdk8", u"\\jdk8\\jre\\bin\\java.exe"},
        {u"\\jdk17", u"\\jdk17\\bin\\java.exe"},
        {u"\\missing", u"\\missing\\bin\\java.exe"}};
    for (const auto& [home, expected] : cases) {
        WideString javaExe;
        EXPECT_TRUE(javaExeForHome(root + home, javaExe));
        EXPECT_EQ(javaExe, root + expected);
    }
}

TEST_F(JavaHomes, DevelopmentKitRequired) {
    narrowSettings[131] = "1";
    const std::tuple<const char16_t*, bool, const char16_t*> cases[] = {
        {u"\\jre8", false, u"\\jre8\\jre\\bin\\java.exe"},
        {u"\\jdk8", true, u"\\jdk8\\jre\\bin\\java.exe"},
        // Kits since Java 9: no tools.jar, no embedded jre, a compiler in bin.
        {u"\\jdk17", true, u"\\jdk17\\bin\\java.exe"},
        {u"\\missing", false, u"\\missing\\jre\\bin\\java.exe"}};
    for (const auto& [home, accepted, expected] : cases) {
        WideString javaExe;
        EXPECT_EQ(javaExeForHome(root + home, javaExe), accepted) << toUtf8(home);
        EXPECT_EQ(javaExe, root + expected);
    }
}

class VersionCache : public ::testing::Test {
  protected:
    void SetUp() override {
        exe = u"z:\\cache test\\jre\\bin\\java.exe";
        RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\dravik-labs\\tesmo\\jvms");
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\dravik-labs\\tesmo\\jvms");
    }
    WideString exe;
};

TEST_F(VersionCache, RoundTripUnderTheSlashedPath) {
    writeCachedVersion(exe, 0x0123456789ABCDEFULL, u"1.8.0_201");
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER,
                            L"SOFTWARE\\dravik-labs\\tesmo\\jvms\\z:/cache test/jre/bin/java.exe",
                            0, KEY_READ, &key),
              ERROR_SUCCESS);
    BYTE stamp[16];
    DWORD size = sizeof stamp, type = 0;
    ASSERT_EQ(RegQueryValueExW(key, L"LastWriteTime", nullptr, &type, stamp, &size), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(size, 8u);
    EXPECT_EQ(stamp[0], 0xEF);
    EXPECT_EQ(stamp[7], 0x01);

    WideString version;
    EXPECT_TRUE(readCachedVersion(exe, 0x0123456789ABCDEFULL, version));
    EXPECT_EQ(version, u"1.8.0_201");
    EXPECT_FALSE(readCachedVersion(exe, 0x0123456789ABCDEEULL, version));
}

TEST_F(VersionCache, OldSeriesMarkersReadAsAbsent) {
    for (const char16_t* stored : {u"1.5.", u"1.6.", u"1.7."}) {
        writeCachedVersion(exe, 7, stored);
        WideString version;
        EXPECT_FALSE(readCachedVersion(exe, 7, version)) << toUtf8(stored);
    }
    for (const char16_t* stored : {u"1.0.0", u"1.7.0", u""}) {
        writeCachedVersion(exe, 7, stored);
        WideString version = u"x";
        EXPECT_TRUE(readCachedVersion(exe, 7, version)) << toUtf8(stored);
        EXPECT_EQ(version, stored);
    }
}

TEST_F(VersionCache, WrongSizedTimesAreNotTrusted) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER,
                              L"SOFTWARE\\dravik-labs\\tesmo\\jvms\\z:/cache test/jre/bin/java.exe",
                              0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    BYTE four[4] = {7, 0, 0, 0};
    RegSetValueExW(key, L"LastWriteTime", 0, REG_BINARY, four, sizeof four);
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1.8.0"), 12);
    RegCloseKey(key);
    WideString version;
    EXPECT_FALSE(readCachedVersion(exe, 7, version));
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
        EXPECT_FALSE(probeJavaVersion(exe, 1, version));
        const auto& log = testing::capturedLog();
        auto line = std::find_if(log.begin(), log.end(), [&](const std::string& text) {
            return text.rfind(prefix, 0) == 0;
        });
        EXPECT_NE(line, log.end()) << prefix;
    }
}

}  // namespace
}  // namespace tesmo
