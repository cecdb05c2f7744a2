#include "runtime/runtime_search.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "core/keys.h"
#include "core/settings.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

// A java.exe among the files holds the version its probe prints, "" for a probe that fails.
struct Machine {
    std::map<WideString, WideString> files;
    std::map<WideString, CachedVersionRecord> cache;
    std::map<std::pair<WideString, WideString>, WideString> values;  // (HKxx\key, name)
    std::map<WideString, WideString> env;
    std::vector<WideString> checked;  // the executables the installation check was asked about
    int openKeys = 0, probes = 0;
};
Machine machine;
const std::string kStamp("\x08\x07\x06\x05\x04\x03\x02\x01", 8);  // the last write time
const WideString kJre = u"HKLM\\SOFTWARE\\JavaSoft\\Java Runtime Environment";

const auto exists = [](const WideString& path) { return machine.files.count(path) != 0; };
const InstallationSources kInstallation = {
    exists,
    [](const WideString& path) { return exists(path + u"\\bin\\java.exe"); },
    [](WideString& out, const WideString& path, bool) { return !(out = path).empty(); },
    [](const WideString& path, std::uint64_t* time) {
        return machine.checked.push_back(path), (*time = 0x0102030405060708ULL), exists(path);
    },
    [](const WideString& key, CachedVersionRecord& record) {
        return machine.cache.count(key) != 0 && (record = machine.cache[key], true);
    },
    [](const WideString& key, const std::string& stamp, const WideString& text) {
        machine.cache[key] = {stamp, text};
    },
    [](const WideString& javaExe, WideString& version) {
        version = machine.files.at(javaExe);
        return ++machine.probes, version.empty() ? ProbeResult::ExitCode : ProbeResult::Version;
    }};

WideString keyPath(Hive hive, WideString key) {
    if (key.back() == u'\\') key.pop_back();
    return (hive == Hive::LocalMachine ? u"HKLM\\" : u"HKCU\\") + key;
}
// A key exists while values lie below it; open, it is the list of its subkeys.
void* openKey(Hive hive, const WideString& key) {
    const WideString path = keyPath(hive, key) + u"\\";
    std::set<WideString> names;
    bool found = false;
    for (const auto& [entry, text] : machine.values) {
        if (!startsWith(entry.first + u"\\", path)) continue;
        found = true;
        const WideString below = (entry.first + u"\\").substr(path.size());
        const WideString name = below.substr(0, below.find(u'\\'));
        if (!name.empty()) names.insert(name);
    }
    return found ? (++machine.openKeys, new std::set<WideString>(names)) : nullptr;
}
const RegistrySources kRegistry = {
    &openKey, [](void* key) { --machine.openKeys, delete static_cast<std::set<WideString>*>(key); },
    [](void* key, std::uint32_t index, WideString& name) {
        const auto& names = *static_cast<std::set<WideString>*>(key);
        if (index >= names.size()) return SubkeyStatus::Failed;
        return (name = *std::next(names.begin(), index)), SubkeyStatus::Named;
    },
    [](Hive hive, const WideString& key, const WideString& value, std::size_t) {
        auto found = machine.values.find({keyPath(hive, key), value});
        return found == machine.values.end() ? std::nullopt : std::optional(found->second);
    }};

const SearchSources kSearch = {
    kInstallation,
    kRegistry,
    [](WideString& text) {
        if (startsWith(text, u"%HOME%")) text.replace(0, 6, u"c:");
    },
    [](const WideString&) {},
    [](const auto& n) {
        return machine.env.count(n) ? std::optional(machine.env[n]) : std::nullopt;
    },
    []() { return WideString(exists(u"c:\\s\\bin\\java.exe") ? u"c:\\s\\bin\\java.exe" : u""); },
    [](const WideString& path, std::size_t n) {
        return exists(path) ? std::optional(toUtf8(machine.files[path]).substr(0, n))
                            : std::nullopt;
    }};

class Runtime : public ::testing::Test {
  protected:
    void SetUp() override {
        machine = {};
        narrowSettings = {{126, "1.8"}, {160, "app"}, {10003, "c:\\inst"}};
        testing::clearCapturedLog();
    }
    void TearDown() override {
        narrowSettings.clear();
        EXPECT_EQ(machine.openKeys, 0);
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
        machine.env = {
            {u"JH", u"c:/e"}, {u"TESMO_JAVA_HOME", u"c:\\t"}, {u"KORVANE_JAVA_HOME", u"c:\\k"}};
        const WideString previous = u"SOFTWARE\\dravik-labs\\korvane\\installations";
        machine.values = {{{kJre, u"CurrentVersion"}, u"1.8"},
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
        machine.env = {{u"JH", home}};
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
            machine.values[{key, home[0] == u'R' ? u"JavaHome" : u""}] = u"c:\\" + name;
        }
        WideString javaExe;
        EXPECT_EQ(findRegisteredJvm(kRegistry, kInstallation, javaExe, u"1.7", u""), found);
        std::vector<WideString> expected;
        for (const WideString& h : checks) expected.push_back(u"c:\\" + h + u"\\bin\\java.exe");
        EXPECT_TRUE(!found || javaExe == expected.back()) << toUtf8(javaExe);
        if (found) expected.pop_back();
        EXPECT_EQ(machine.checked, expected);
    }
}

TEST(SubkeyNames, TooLongNamesAreSkippedAndAnyOtherFailureEnds) {
    static int enumerated = 0;
    RegistrySources registry = kRegistry;
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
