#include <gtest/gtest.h>

#include "platform/text_windows.h"
#include "runtime/runtime_windows.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

constexpr wchar_t kCache[] = L"SOFTWARE\\dravik-labs\\tesmo\\jvms";

TEST(VersionCache, RoundTripThroughTheRegistryUnderTheSlashedPath) {
    const WideString exe = u"z:\\cache test\\jre\\bin\\java.exe";
    RegDeleteTreeW(HKEY_CURRENT_USER, kCache);
    writeCachedVersion(kWindowsInstallation, exe, 0x0123456789ABCDEFULL, u"1.8.0_201");
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER,
                            L"SOFTWARE\\dravik-labs\\tesmo\\jvms\\z:/cache test/jre/bin/java.exe",
                            0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    BYTE stamp[16];
    DWORD size = sizeof stamp, type = 0;
    ASSERT_EQ(RegQueryValueExW(key, L"LastWriteTime", nullptr, &type, stamp, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(size, 8u);
    EXPECT_EQ(stamp[0], 0xEF);
    EXPECT_EQ(stamp[7], 0x01);

    WideString version;
    EXPECT_TRUE(readCachedVersion(kWindowsInstallation, exe, 0x0123456789ABCDEFULL, version));
    EXPECT_EQ(version, u"1.8.0_201");
    // A number is no version, whatever its bytes read as.
    DWORD number = 0x38002E;
    RegSetValueExW(key, L"Version", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
    RegCloseKey(key);
    EXPECT_FALSE(readCachedVersion(kWindowsInstallation, exe, 0x0123456789ABCDEFULL, version));
    RegDeleteTreeW(HKEY_CURRENT_USER, kCache);
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
        const auto& log = testing::capturedLog();
        auto line = std::find_if(log.begin(), log.end(), [&](const std::string& text) {
            return text.rfind(prefix, 0) == 0;
        });
        EXPECT_NE(line, log.end()) << prefix;
    }
}

}  // namespace
}  // namespace tesmo
