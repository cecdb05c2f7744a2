#include "runtime/vendor_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "platform/path_text.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

using Status = ValueStatus;
std::map<WideString, WideString> files;  // a java.exe holds its version, "" when its probe fails
std::map<std::pair<WideString, WideString>, RegistryText> values;  // (HKxx\key, name)
int openKeys = 0;

const InstallationSources kInstallation = {
    [](const WideString& path) { return files.count(path) != 0; },
    [](const WideString& path) { return files.count(path + u"\\bin\\java.exe") != 0; },
    [](WideString& out, const WideString& path, bool) { return !(out = path).empty(); },
    [](const WideString& path, std::uint64_t* time) { return *time = 1, files.count(path) != 0; },
    [](const WideString&, CachedVersionRecord&) { return false; },
    [](const WideString&, const std::string&, const WideString&) {},
    [](const WideString& javaExe, WideString& version) {
        version = files.at(javaExe);
        return version.empty() ? ProbeResult::ExitCode : ProbeResult::Version;
    }};

// Open, a key is the list of its subkeys in the order of their values.
const RegistrySources kRegistry = {
    [](Hive hive, const WideString& key) -> void* {
        std::vector<WideString> names;
        const WideString parent = (hive == Hive::CurrentUser ? u"HKCU\\" : u"HKLM\\") + key + u"\\";
        for (const auto& [where, read] : values) {
            if (!startsWith(where.first + u"\\", parent)) continue;
            WideString rest = (where.first + u"\\").substr(parent.size());
            rest = rest.substr(0, rest.find(u'\\'));
            if (std::find(names.begin(), names.end(), rest) == names.end()) names.push_back(rest);
        }
        return names.empty() ? nullptr : (++openKeys, new std::vector<WideString>(names));
    },
    [](void* key) { --openKeys, delete static_cast<std::vector<WideString>*>(key); },
    [](void* key, std::uint32_t index, WideString& name) {
        const auto& names = *static_cast<std::vector<WideString>*>(key);
        if (index >= names.size()) return SubkeyStatus::Failed;
        return (name = names[index]), SubkeyStatus::Named;
    },
    nullptr,
    [](Hive hive, const WideString& key, const WideString& name, std::size_t capacityBytes) {
        EXPECT_EQ(capacityBytes, kPathCapacity * 2);
        auto found = values.find({(hive == Hive::CurrentUser ? u"HKCU\\" : u"HKLM\\") + key, name});
        return found == values.end() ? RegistryText{Status::Absent, {}} : found->second;
    }};

class VendorRegistry : public ::testing::Test {
  protected:
    void SetUp() override { files.clear(), values.clear(), testing::clearCapturedLog(); }
    void TearDown() override { EXPECT_EQ(openKeys, 0); }
    void expectChosen(const WideString& home) {  // empty: none
        WideString exe;
        bool found = findVendorRegisteredJvm(kRegistry, kInstallation, exe, u"", u"");
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
            values[{hive + key + entry.substr(2, at - 2) + below, name}] = {Status::Text, home};
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
    const RegistryText junk[] = {{Status::NotText, {}},      {Status::Absent, {}},
                                 {Status::TooLong, {}},      {Status::Text, cut + u"x"},
                                 {Status::Text, u"17"},      {Status::Text, u"c:\\gone\\"},
                                 {Status::Text, u"c:\\ok\\"}};
    for (int i = 0; i < 7; ++i) values[{key + decimal(i) + u"\\hotspot\\MSI", u"Path"}] = junk[i];
    // Thousands of subkeys after them, with a runtime in the last.
    for (int i = 0; i < 5000; ++i) {
        values[{u"HKLM\\SOFTWARE\\BellSoft\\Liberica\\" + decimal(10000 + i),
                u"InstallationPath"}] = {Status::Text, i < 4999 ? u"c:\\ok" : u"c:\\last"};
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
