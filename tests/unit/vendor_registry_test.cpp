#include "runtime/vendor_registry.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/path_text.h"
#include "tests/support/fake_machine.h"
#include "tests/support/fake_registry.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

using testing::fakeRegistry;
std::map<WideString, WideString>& files = testing::fakeMachine.files;

class VendorRegistry : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::fakeMachine = {};
        fakeRegistry = {};
        testing::clearCapturedLog();
    }
    void TearDown() override { EXPECT_EQ(fakeRegistry.openKeys, 0); }
    void expectChosen(const WideString& home) {  // empty: none
        WideString exe;
        bool found = findVendorRegisteredJvm(testing::kFakeRegistry, testing::kFakeInstallation,
                                             exe, u"", u"");
        EXPECT_EQ(found ? exe : WideString(), home.empty() ? home : home + u"\\bin\\java.exe");
    }
};

// Where installers register a version <v>: the key holding <v>, the key below <v> and the
// value that names the home.
const std::map<char16_t, std::tuple<const char16_t*, const char16_t*, const char16_t*>> kLayouts = {
    {u'T', {u"Eclipse Adoptium\\JDK\\", u"\\hotspot\\MSI", u"Path"}},
    {u'F', {u"Eclipse Foundation\\JDK\\", u"\\hotspot\\MSI", u"Path"}},
    {u'A', {u"AdoptOpenJDK\\JDK\\", u"\\hotspot\\MSI", u"Path"}},
    {u'M', {u"Microsoft\\JDK\\", u"\\hotspot\\MSI", u"Path"}},
    {u'Z', {u"Azul Systems\\Zulu\\", u"", u"InstallationPath"}},
    {u'L', {u"BellSoft\\Liberica\\", u"", u"InstallationPath"}}};

TEST_F(VendorRegistry, TheHighestVersionThatPassesWinsAndTiesGoByHiveVendorAndSubkey) {
    // Registrations "<U or M><layout><v>=<version>", each naming its own home c:\<index> (a
    // version of "" fails its probe); the index chosen, -1 for none.
    const std::pair<WideString, int> cases[] = {
        {u"UT17=17.0.9 MZ17=17.0.10", 1},  {u"UL8=1.8.0_401 MM8=1.8.0_41", 0},
        {u"UA9=9.0.4 MM21=21", 1},         {u"MZ17=17.0.10 UL17=17.0.10", 1},
        {u"MZ17=17.0.10 MF17=17.0.10", 1}, {u"MT17.1=17.0.1 MT17.2=17.0.01", 0},
        {u"UT17=17.0.2 MM22=22-ea", 0},    {u"UT17=", -1},
    };
    for (const auto& [registered, chosen] : cases) {
        SetUp();
        int i = 0;
        for (const WideString& entry : splitList(registered, u' ')) {
            const auto& [key, below, name] = kLayouts.at(entry[1]);
            const WideString hive = entry[0] == u'U' ? u"HKCU\\SOFTWARE\\" : u"HKLM\\SOFTWARE\\";
            const WideString home = u"c:\\" + decimal(i++);
            const std::size_t at = entry.find(u'=');
            fakeRegistry.texts[{hive + key + entry.substr(2, at - 2) + below, name}] = home;
            files[home + u"\\bin\\java.exe"] = entry.substr(at + 1);
        }
        expectChosen(chosen < 0 ? u"" : u"c:\\" + decimal(chosen));
    }
}

TEST_F(VendorRegistry, ValuesThatNameNoHomeAreSkippedWithTheirReasonNeverCutAndAllSubkeysRead) {
    // Its first 5999 characters name a runtime, which a cut value would choose; so does "17"
    // where the process's directory is.
    const WideString cut = u"c:\\" + WideString(kPathCapacity - 4, u'x');
    for (const WideString& home : {cut, WideString(u"17"), WideString(u"c:\\ok")}) {
        files[home + u"\\bin\\java.exe"] = home == u"c:\\ok" ? u"8" : u"9";
    }
    const WideString key = u"HKLM\\SOFTWARE\\Eclipse Adoptium\\JDK\\";
    const auto value = [&](int i) {
        return testing::RegistryValue{key + decimal(i) + u"\\hotspot\\MSI", u"Path"};
    };
    fakeRegistry.oddities = {{value(0), ValueStatus::NotText},
                             {value(1), ValueStatus::Absent},
                             {value(2), ValueStatus::TooLong}};
    const WideString texts[] = {cut + u"x", u"17", u"c:\\gone\\", u"c:\\ok\\"};
    for (int i = 3; i < 7; ++i) fakeRegistry.texts[value(i)] = texts[i - 3];
    // Thousands of subkeys after them, with a runtime in the last.
    for (int i = 0; i < 2000; ++i) {
        fakeRegistry.texts[{u"HKLM\\SOFTWARE\\BellSoft\\Liberica\\" + decimal(10000 + i),
                            u"InstallationPath"}] = i < 1999 ? u"c:\\ok" : u"c:\\last";
    }
    files[u"c:\\last\\bin\\java.exe"] = u"8.1";
    expectChosen(u"c:\\last");
    std::string skipped;  // each reason with the last part of the value or home it concerns
    for (const std::string& line : testing::capturedLog()) {
        if (startsWith(line, "vendor value ") || startsWith(line, "vendor home ")) {
            skipped += line.substr(line.rfind('\\') + 1) + ";";
        }
    }
    EXPECT_EQ(
        skipped,
        "Path is not a string;Path missing;Path is longer than 5999 characters;Path is longer "
        "than 5999 characters;vendor home 17 is not an absolute path;gone does not exist;");
}

}  // namespace
}  // namespace tesmo
