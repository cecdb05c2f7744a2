#include "runtime/runtime_search.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <vector>

#include "core/keys.h"
#include "core/settings.h"
#include "tests/support/fake_machine.h"
#include "tests/support/fake_registry.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

testing::FakeMachine& machine = testing::fakeMachine;
std::map<WideString, WideString> env;
const std::string& kStamp = testing::kFakeStamp;
const WideString kJre = u"HKLM\\SOFTWARE\\JavaSoft\\Java Runtime Environment";
const auto exists = &testing::fakeExists;
const InstallationSources& kInstallation = testing::kFakeInstallation;

const SearchSources kSearch = {
    kInstallation,
    testing::kFakeRegistry,
    [](WideString& text) {
        if (startsWith(text, u"%HOME%")) text.replace(0, 6, u"c:");
    },
    [](const WideString&) {},
    [](const auto& n) { return env.count(n) ? std::optional(env[n]) : std::nullopt; },
    []() { return WideString(exists(u"c:\\s\\bin\\java.exe") ? u"c:\\s\\bin\\java.exe" : u""); },
    [](const WideString& path, std::size_t n) {
        return exists(path) ? std::optional(toUtf8(machine.files[path]).substr(0, n))
                            : std::nullopt;
    }};

class Runtime : public ::testing::Test {
  protected:
    void SetUp() override {
        machine = {};
        env.clear();
        testing::fakeRegistry = {};
        narrowSettings = {{126, "1.8"}, {160, "app"}, {10003, "c:\\inst"}};
        testing::clearCapturedLog();
    }
    void TearDown() override {
        narrowSettings.clear();
        EXPECT_EQ(testing::fakeRegistry.openKeys, 0);
    }
};

TEST_F(Runtime, SearchOrderAndTheStageThatFinds) {
    std::vector<WideString> exes;
    for (const char16_t* home :
         {u"c:\\pref", u"c:\\b", u"c:\\a", u"c:\\r", u"c:\\e", u"c:\\s", u"c:\\y", u"c:\\y",
          u"c:\\i", u"c:\\p1\\jre", u"c:\\p2\\jre", u"c:\\m\\jre", u"c:\\t", u"c:\\k"})
        exes.push_back(home + WideString(u"\\bin\\java.exe"));
    const std::tuple<const char16_t*, SearchResult, const char16_t*> winners[] = {
        {u"c:\\pref", SearchResult::FoundAtLocation, u"c:\\pref"},
        {u"c:\\e", SearchResult::FoundByVariable, u"JH"},
        {u"c:\\s", SearchResult::FoundOnPath, u""},
        {u"c:\\y", SearchResult::FoundInRegistry, nullptr},
        {nullptr, SearchResult::NotFound, u""}};
    for (const auto& [winner, expected, expectedText] : winners) {
        SetUp();
        narrowSettings[128] = "Bc:\\b;A%HOME%\\a;Rc:\\r;xc:\\x;EJH;S;Y";
        for (const WideString& exe : exes) machine.files[exe] = u"1.6.0";
        machine.files.erase(u"c:\\b\\bin\\java.exe");
        const WideString won = winner ? winner + WideString(u"\\bin\\java.exe") : u"";
        if (winner) machine.files[won] = u"1.8.0";
        machine.files[u"c:\\inst\\.korvane\\pref_jre.cfg"] = u"c:\\pref\r\nsecond";
        machine.files[u"c:\\inst\\.korvane\\inst_jre.cfg"] = u"c:\\i\n";
        env = {{u"JH", u"c:/e"}, {u"TESMO_JAVA_HOME", u"c:\\t"}, {u"KORVANE_JAVA_HOME", u"c:\\k"}};
        const WideString previous = u"SOFTWARE\\dravik-labs\\korvane\\installations";
        testing::fakeRegistry.texts = {{{kJre, u"CurrentVersion"}, u"1.8"},
                                       {{kJre + u"\\1.8", u"JavaHome"}, u"c:\\y"},
                                       {{u"HKCU\\" + previous, u"app"}, u"c:\\p1;c:\\p2"},
                                       {{u"HKLM\\" + previous, u"app"}, u"c:\\m"}};
        WideString javaExe, foundText;
        EXPECT_EQ(findJvm(kSearch, javaExe, foundText), expected) << toUtf8(won);
        const auto last = winner ? std::find(exes.begin(), exes.end(), won) + 1 : exes.end();
        EXPECT_EQ(machine.checked, std::vector<WideString>(exes.begin(), last));
        EXPECT_TRUE(!winner || javaExe == won) << toUtf8(javaExe);
        EXPECT_TRUE(!expectedText || foundText == expectedText) << toUtf8(foundText);
    }
    // The tolerant pass, after the last search: unexpanded, absolute "A" and "R" entries skipped.
    std::vector<std::string> relative;
    for (const std::string& line : testing::capturedLog())
        if (line.rfind("Testing relative location ", 0) == 0) relative.push_back(line.substr(26));
    EXPECT_EQ(relative, (std::vector<std::string>{"c:\\b", "%HOME%\\a"}));
}

TEST_F(Runtime, AVariableTooLongForAPathIsNotSearched) {
    // Cut to a path buffer the value would name another home: the one its first 5999 name.
    for (const std::size_t length : {kPathCapacity - 1, kPathCapacity}) {
        SetUp();
        const WideString home = u"c:\\" + WideString(length - 3, u'e');
        narrowSettings[128] = "EJH";
        env = {{u"JH", home}};
        machine.files[home + u"\\bin\\java.exe"] = u"1.8.0";
        machine.files[home.substr(0, kPathCapacity - 1) + u"\\bin\\java.exe"] = u"1.8.0";
        WideString javaExe, foundText;
        EXPECT_EQ(findJvm(kSearch, javaExe, foundText),
                  length < kPathCapacity ? SearchResult::FoundByVariable : SearchResult::NotFound);
    }
}

TEST_F(Runtime, ExecutableOfAHome) {
    // Files below c:\h; whether a development kit is required; the executable taken, if any.
    const std::tuple<std::vector<const char16_t*>, bool, const char16_t*> cases[] = {
        {{u"\\jre\\bin\\java.exe", u"\\bin\\java.exe"}, false, u"\\jre\\bin\\java.exe"},
        {{u"\\lib\\tools.jar"}, true, u"\\jre\\bin\\java.exe"},
        {{u"\\bin\\javac.exe"}, true, u"\\bin\\java.exe"},
        {{u"\\bin\\java.exe"}, true, nullptr}};
    for (const auto& [files, kit, expected] : cases) {
        machine.files.clear();
        for (const char16_t* file : files) machine.files[u"c:\\h" + WideString(file)] = u"";
        narrowSettings[131] = kit ? "1" : "0";
        WideString javaExe;
        EXPECT_EQ(javaExeForHome(kInstallation, u"c:\\h", javaExe), expected != nullptr);
        if (expected) {
            EXPECT_EQ(javaExe, u"c:\\h" + WideString(expected));
        }
    }
}

TEST_F(Runtime, VersionFromTheCacheOrTheProbe) {
    const WideString exe = u"c:\\h\\bin\\java.exe";
    const WideString key = u"SOFTWARE\\dravik-labs\\tesmo\\jvms\\c:/h/bin/java.exe";
    // Cached, printed by the probe, windowed, javaw.exe present; accepted, probes, cached after.
    using Record = CachedVersionRecord;
    const std::tuple<std::optional<Record>, const char16_t*, bool, bool, bool, int, const char16_t*>
        cases[] = {
            {Record{kStamp, u"1.8.0_201"}, u"1.7", false, false, true, 0, u"1.8.0_201"},
            {Record{kStamp, std::nullopt}, u"1.8", false, false, true, 1, u"1.8"},
            {Record{kStamp.substr(1) + '\x02', u"1.7"}, u"1.8", false, false, true, 1, u"1.8"},
            {std::nullopt, u"", false, false, false, 1, kFailedProbeVersion},
            {std::nullopt, u"1.8.0", true, true, true, 1, u"1.8.0"},
            {std::nullopt, u"1.8.0", true, false, false, 1, u"1.8.0"}};
    for (const auto& [cached, printed, windowed, javaw, accepted, probes, cachedAfter] : cases) {
        SetUp();
        machine.files[exe] = printed;
        if (javaw) machine.files[u"c:\\h\\bin\\javaw.exe"] = u"";
        if (cached) machine.cache[key] = *cached;
        narrowSettings[107] = windowed ? "1" : "0";
        WideString javaExe = exe, version;
        EXPECT_EQ(checkJavaExe(kInstallation, javaExe, version, u"1.8", u"", false), accepted);
        EXPECT_EQ(machine.probes, probes) << toUtf8(printed);
        EXPECT_EQ(machine.cache[key].stamp, kStamp);
        EXPECT_EQ(machine.cache[key].text, cachedAfter);
        EXPECT_EQ(javaExe, windowed ? u"c:\\h\\bin\\javaw.exe" : exe);
    }
}

TEST_F(Runtime, RegistryCatalogueOrderAndTheHigherVersion) {
    const WideString located = u"SOFTWARE\\dravik-labs\\tesmo\\locatedjvms\\c:/";
    // Homes as "Rname=version": registered (R), located by the user (U) or for the machine (M);
    // whether a kit is required; the homes checked in order; whether the last one is found.
    using Homes = std::vector<WideString>;
    const std::tuple<Homes, bool, Homes, bool> cases[] = {
        // Loosely in the limits, by code unit highest first: 1.10 and 1.6 are not tried.
        {{u"R1.10=1.9", u"R1.9=1.6", u"R1.7.1=1.6", u"R1.6=1.8"}, false, {u"1.9", u"1.7.1"}, false},
        {{u"R1.8=1.8.0_2", u"Ulu=1.8.0_1"}, false, {u"1.8", u"lu", u"1.8"}, true},
        {{u"R1.8=1.8.0_1", u"Ulu=1.8.0_1"}, false, {u"1.8", u"lu", u"lu"}, true},
        {{u"Ulu=1.8.0_3", u"Mlm=1.8.0_3"}, false, {u"lu", u"lm", u"lm"}, true},
        {{u"R1.8=1.8.0_1"}, true, {}, false}};
    for (const auto& [homes, kit, checks, found] : cases) {
        SetUp();
        narrowSettings[131] = kit ? "1" : "0";
        for (const WideString& home : homes) {
            const std::size_t at = home.find(u'=');
            const WideString name = home.substr(1, at - 1);
            const WideString hive = home[0] == u'U' ? u"HKCU\\" : u"HKLM\\";
            machine.files[u"c:\\" + name + u"\\bin\\java.exe"] = home.substr(at + 1);
            const WideString key =
                home[0] == u'R' ? kJre + u"\\" + name : hive + located + name + u"/bin/java.exe";
            testing::fakeRegistry.texts[{key, home[0] == u'R' ? u"JavaHome" : u""}] =
                u"c:\\" + name;
        }
        WideString javaExe;
        EXPECT_EQ(findRegisteredJvm(testing::kFakeRegistry, kInstallation, javaExe, u"1.7", u""),
                  found);
        std::vector<WideString> expected;
        for (const WideString& h : checks) expected.push_back(u"c:\\" + h + u"\\bin\\java.exe");
        EXPECT_TRUE(!found || javaExe == expected.back()) << toUtf8(javaExe);
        if (found) expected.pop_back();
        EXPECT_EQ(machine.checked, expected);
    }
}

TEST(SubkeyNames, TooLongNamesAreSkippedAndAnyOtherFailureEnds) {
    static int enumerated = 0;
    RegistrySources registry = testing::kFakeRegistry;
    registry.subkeyAt = [](void*, std::uint32_t index, WideString& name) {
        using S = SubkeyStatus;
        const S script[] = {S::NameTooLong, S::Named, S::NameTooLong, S::Named, S::Failed};
        // A guard, so that an enumeration that does not end fails instead of hanging.
        if (++enumerated > 100) return S::Failed;
        return (name = u"k" + decimal(index)), script[std::min(index, 4u)];
    };
    EXPECT_EQ(subkeyNames(registry, nullptr), (std::vector<WideString>{u"k1", u"k3"}));
    EXPECT_EQ(enumerated, 5);
}

}  // namespace
}  // namespace tesmo
