#include "runtime/runtime_search.h"

#include <gtest/gtest.h>

#include <list>
#include <map>

#include "core/keys.h"
#include "core/settings.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

// A machine for the search. A java.exe among the files holds the version its probe prints
// ("" for a probe that exits with an error); registry keys exist while values lie below them.
struct Machine {
    std::map<WideString, WideString> files;
    std::map<WideString, CachedVersionRecord> cache;
    std::map<std::pair<WideString, WideString>, WideString> values;  // (HKxx\key, name)
    std::map<WideString, WideString> variables;
    std::list<std::vector<WideString>> opened;
    int openKeys = 0;
    int probes = 0;
};
Machine machine;
constexpr std::uint64_t kTime = 0x0102030405060708ULL;
const std::string kStamp("\x08\x07\x06\x05\x04\x03\x02\x01", 8);

bool exists(const WideString& path) {
    return machine.files.count(path) != 0;
}
const InstallationSources kInstallation = {
    &exists,
    [](const WideString& path) { return exists(path + u"\\bin\\java.exe"); },
    [](WideString& out, const WideString& path, bool) { return !(out = path).empty(); },
    [](const WideString& path, std::uint64_t* time) { return (*time = kTime), exists(path); },
    [](const WideString& key, CachedVersionRecord& record) {
        return machine.cache.count(key) != 0 && (record = machine.cache[key], true);
    },
    [](const WideString& key, const std::string& stamp, const WideString& version) {
        machine.cache[key] = {stamp, version};
    },
    [](const WideString& javaExe, WideString& version) {
        version = machine.files.at(javaExe);
        return ++machine.probes, version.empty() ? ProbeResult::ExitCode : ProbeResult::Version;
    }};

WideString keyPath(Hive hive, WideString key) {
    if (key.back() == u'\\') key.pop_back();
    return (hive == Hive::LocalMachine ? u"HKLM\\" : u"HKCU\\") + key;
}
// An open key is the list of its subkeys.
void* openKey(Hive hive, const WideString& key) {
    WideString path = keyPath(hive, key) + u"\\";
    std::vector<WideString> names;
    bool found = false;
    for (const auto& [entry, text] : machine.values) {
        found = found || entry.first + u"\\" == path || startsWith(entry.first, path);
        WideString name = entry.first.substr(std::min(path.size(), entry.first.size()));
        name.resize(std::min(name.size(), name.find(u'\\')));
        if (startsWith(entry.first, path) &&
            std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    if (!found) return nullptr;
    ++machine.openKeys;
    return &machine.opened.emplace_back(names);
}
const RegistrySources kRegistry = {
    &openKey, [](void*) { --machine.openKeys; },
    [](void* key, std::uint32_t index, WideString& name) {
        const auto& names = *static_cast<std::vector<WideString>*>(key);
        if (index >= names.size()) return SubkeyStatus::Failed;
        return (name = names[index]), SubkeyStatus::Named;
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
    [](const WideString& name) {
        auto found = machine.variables.find(name);
        return found == machine.variables.end() ? std::nullopt : std::optional(found->second);
    },
    []() { return WideString(exists(u"c:\\s\\bin\\java.exe") ? u"c:\\s\\bin\\java.exe" : u""); },
    [](const WideString& path, std::size_t capacity) {
        return exists(path) ? std::optional(toUtf8(machine.files[path]).substr(0, capacity))
                            : std::nullopt;
    }};

// The executables the installation check was asked about, in order.
std::vector<WideString> checked() {
    std::vector<WideString> paths;
    for (const std::string& line : testing::capturedLog()) {
        if (line.rfind("checkJavaExe (", 0) == 0)
            paths.push_back(fromUtf8(line.substr(14, line.find(", [out]") - 14)));
    }
    return paths;
}

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
    const std::vector<const char16_t*> order = {
        u"c:\\pref", u"c:\\b", u"c:\\a",       u"c:\\r",       u"c:\\e",      u"c:\\s", u"c:\\y",
        u"c:\\y",    u"c:\\i", u"c:\\p1\\jre", u"c:\\p2\\jre", u"c:\\m\\jre", u"c:\\t", u"c:\\k"};
    const std::tuple<const char16_t*, SearchResult, const char16_t*> winners[] = {
        {nullptr, SearchResult::NotFound, u""},
        {u"c:\\pref", SearchResult::FoundAtLocation, u"c:\\pref"},
        {u"c:\\a", SearchResult::FoundAtLocation, u"c:\\a"},
        {u"c:\\r", SearchResult::FoundAtLocation, u"c:\\r"},
        {u"c:\\e", SearchResult::FoundByVariable, u"JH"},
        {u"c:\\s", SearchResult::FoundOnPath, u""},
        {u"c:\\y", SearchResult::FoundInRegistry, nullptr},
        {u"c:\\i", SearchResult::FoundAtLocation, u"c:\\i"},
        {u"c:\\p2\\jre", SearchResult::FoundInRegistry, nullptr},
        {u"c:\\m\\jre", SearchResult::FoundInRegistry, nullptr},
        {u"c:\\t", SearchResult::FoundByVariable, u"TESMO_JAVA_HOME"},
        {u"c:\\k", SearchResult::FoundByVariable, u"KORVANE_JAVA_HOME"}};
    for (const auto& [winner, expected, expectedText] : winners) {
        SetUp();
        narrowSettings[128] = "Bc:\\b;A%HOME%\\a;Rc:\\r;xc:\\x;EJH;S;Y";
        for (const char16_t* home : order)
            machine.files[home + WideString(u"\\bin\\java.exe")] = u"1.6.0";
        machine.files.erase(u"c:\\b\\bin\\java.exe");
        if (winner) machine.files[winner + WideString(u"\\bin\\java.exe")] = u"1.8.0";
        machine.files[u"c:\\inst\\.korvane\\pref_jre.cfg"] = u"c:\\pref\r\nsecond";
        machine.files[u"c:\\inst\\.korvane\\inst_jre.cfg"] = u"c:\\i\n";
        machine.variables = {
            {u"JH", u"c:/e"}, {u"TESMO_JAVA_HOME", u"c:\\t"}, {u"KORVANE_JAVA_HOME", u"c:\\k"}};
        const WideString jre = u"HKLM\\SOFTWARE\\JavaSoft\\Java Runtime Environment";
        const WideString previous = u"SOFTWARE\\dravik-labs\\korvane\\installations";
        machine.values = {{{jre, u"CurrentVersion"}, u"1.8"},
                          {{jre + u"\\1.8", u"JavaHome"}, u"c:\\y"},
                          {{u"HKCU\\" + previous, u"app"}, u"c:\\p1;c:\\p2"},
                          {{u"HKLM\\" + previous, u"app"}, u"c:\\m"}};
        WideString javaExe, foundText;
        EXPECT_EQ(findJvm(kSearch, javaExe, foundText), expected) << toUtf8(winner ? winner : u"");
        std::vector<WideString> expectedChecks;
        for (const char16_t* home : order) {
            expectedChecks.push_back(home + WideString(u"\\bin\\java.exe"));
            if (winner && WideString(home) == winner) break;
        }
        EXPECT_EQ(checked(), expectedChecks);
        if (winner) {
            EXPECT_EQ(javaExe, winner + WideString(u"\\bin\\java.exe"));
        }
        if (expectedText) {
            EXPECT_EQ(foundText, expectedText);
        }
    }
    // The tolerant pass: unexpanded, absolute "A" and "R" entries skipped, any version.
    std::vector<std::string> relative;
    for (const std::string& line : testing::capturedLog()) {
        if (line.rfind("Testing relative location ", 0) == 0) relative.push_back(line.substr(26));
    }
    EXPECT_EQ(relative, (std::vector<std::string>{"c:\\b", "%HOME%\\a"}));
}

TEST_F(Runtime, AVariableTooLongForAPathIsNotSearched) {
    // Cut to a path buffer the value would name another home, here the one its first
    // 5999 characters name.
    for (const auto& [length, expected] :
         {std::pair{kPathCapacity - 1, SearchResult::FoundByVariable},
          std::pair{kPathCapacity, SearchResult::NotFound}}) {
        SetUp();
        const WideString home = u"c:\\" + WideString(length - 3, u'e');
        narrowSettings[128] = "EJH";
        machine.variables = {{u"JH", home}};
        machine.files[home + u"\\bin\\java.exe"] = u"1.8.0";
        machine.files[home.substr(0, kPathCapacity - 1) + u"\\bin\\java.exe"] = u"1.8.0";
        WideString javaExe, foundText;
        EXPECT_EQ(findJvm(kSearch, javaExe, foundText), expected) << length;
    }
}

TEST_F(Runtime, ExecutableOfAHome) {
    // Files below c:\h; whether a development kit is required; the outcome.
    const std::tuple<std::vector<const char16_t*>, bool, const char16_t*> cases[] = {
        {{u"\\jre\\bin\\java.exe", u"\\bin\\java.exe"}, false, u"\\jre\\bin\\java.exe"},
        {{u"\\lib\\tools.jar"}, true, u"\\jre\\bin\\java.exe"},
        {{u"\\bin\\javac.exe"}, true, u"\\bin\\java.exe"},
        {{u"\\bin\\javac.exe", u"\\jre\\bin\\java.exe"}, true, nullptr},
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
    struct Case {
        std::optional<CachedVersionRecord> cached;
        const char16_t* printed;
        bool windowed, javaw, accepted;
        int probes;
        const char16_t* cachedAfter;
    };
    const std::string older = kStamp.substr(1) + '\x02';
    const Case cases[] = {
        {CachedVersionRecord{kStamp, u"1.8.0_201"}, u"1.7", false, false, true, 0, u"1.8.0_201"},
        {CachedVersionRecord{kStamp, WideString(u"1.6.\0x", 6)}, u"1.8", false, false, true, 1,
         u"1.8"},
        {CachedVersionRecord{kStamp, std::nullopt}, u"1.8", false, false, true, 1, u"1.8"},
        {CachedVersionRecord{older, u"1.7"}, u"1.8", false, false, true, 1, u"1.8"},
        {std::nullopt, u"", false, false, false, 1, kFailedProbeVersion},
        {std::nullopt, u"1.8.0", true, true, true, 1, u"1.8.0"},
        {std::nullopt, u"1.8.0", true, false, false, 1, u"1.8.0"}};
    for (const Case& c : cases) {
        SetUp();
        machine.files[exe] = c.printed;
        if (c.javaw) machine.files[u"c:\\h\\bin\\javaw.exe"] = u"";
        if (c.cached) machine.cache[key] = *c.cached;
        narrowSettings[107] = c.windowed ? "1" : "0";
        WideString javaExe = exe, version;
        EXPECT_EQ(checkJavaExe(kInstallation, javaExe, version, u"1.8", u"", false), c.accepted)
            << toUtf8(c.printed);
        EXPECT_EQ(machine.probes, c.probes) << toUtf8(c.printed);
        EXPECT_EQ(machine.cache[key].stamp, kStamp);
        EXPECT_EQ(machine.cache[key].text, c.cachedAfter);
        EXPECT_EQ(javaExe, c.windowed ? u"c:\\h\\bin\\javaw.exe" : exe);
    }
}

TEST_F(Runtime, RegistryCatalogueOrderAndTheHigherVersion) {
    const WideString jre = u"HKLM\\SOFTWARE\\JavaSoft\\Java Runtime Environment";
    const WideString located = u"SOFTWARE\\dravik-labs\\tesmo\\locatedjvms\\c:/";
    // Homes as "name=version": registered (the first is CurrentVersion), located by the
    // user, located for the machine; whether a kit is required; the homes checked in order,
    // the last one winning.
    struct Case {
        std::vector<const char16_t*> registered, user, machine;
        bool kit;
        std::vector<const char16_t*> checks;
        bool found;
    };
    const Case cases[] = {
        // Loosely in the limits, by code unit highest first: 1.10 and 1.6 are not tried.
        {{u"1.10=1.9", u"1.9=1.6", u"1.7.0_51=1.6", u"1.7=1.6", u"1.6=1.8"},
         {},
         {},
         false,
         {u"1.9", u"1.7.0_51", u"1.7"},
         false},
        {{u"1.8=1.8.0_2"}, {u"lu=1.8.0_1"}, {}, false, {u"1.8", u"lu", u"1.8"}, true},
        {{u"1.8=1.8.0_1"}, {u"lu=1.8.0_1"}, {}, false, {u"1.8", u"lu", u"lu"}, true},
        {{}, {u"lu=1.8.0_3"}, {u"lm=1.8.0_3"}, false, {u"lu", u"lm", u"lm"}, true},
        {{}, {u"lu=1.8.0_4"}, {u"lm=1.8.0_3"}, false, {u"lu", u"lm", u"lu"}, true},
        {{u"1.8=1.8.0_1"}, {}, {}, true, {}, false}};
    for (const Case& c : cases) {
        SetUp();
        narrowSettings[131] = c.kit ? "1" : "0";
        auto install = [](WideString home) {
            const std::size_t at = home.find(u'=');
            machine.files[u"c:\\" + home.substr(0, at) + u"\\bin\\java.exe"] = home.substr(at + 1);
            return home.substr(0, at);
        };
        for (const char16_t* home : c.registered) {
            const WideString name = install(home);
            machine.values[{jre + u"\\" + name, u"JavaHome"}] = u"c:\\" + name;
            machine.values.insert({{jre, u"CurrentVersion"}, name});
        }
        for (const char16_t* home : c.user)
            machine.values[{u"HKCU\\" + located + install(home) + u"/bin/java.exe", u""}] = u"";
        for (const char16_t* home : c.machine)
            machine.values[{u"HKLM\\" + located + install(home) + u"/bin/java.exe", u""}] = u"";
        WideString javaExe;
        EXPECT_EQ(findRegisteredJvm(kRegistry, kInstallation, javaExe, u"1.7", u""), c.found);
        std::vector<WideString> expected;
        for (const char16_t* home : c.checks)
            expected.push_back(u"c:\\" + WideString(home) + u"\\bin\\java.exe");
        if (c.found) {
            EXPECT_EQ(javaExe, expected.back());
            expected.pop_back();
        }
        EXPECT_EQ(checked(), expected);
    }
}

std::vector<SubkeyStatus> script;
int enumerated = 0;
SubkeyStatus scripted(void*, std::uint32_t index, WideString& name) {
    // A guard, so that an enumeration that does not end fails instead of hanging.
    if (++enumerated > 100) return SubkeyStatus::Failed;
    name = u"k" + decimal(index);
    return index < script.size() ? script[index] : script.back();
}

TEST(SubkeyNames, TooLongNamesAreSkippedAndAnyOtherFailureEnds) {
    using S = SubkeyStatus;
    const std::tuple<std::vector<S>, std::vector<WideString>, int> cases[] = {
        {{S::Failed}, {}, 1},
        {{S::Named, S::NameTooLong, S::Named, S::Failed}, {u"k0", u"k2"}, 4},
        {{S::NameTooLong, S::NameTooLong, S::Named, S::Failed}, {u"k2"}, 4}};
    RegistrySources registry = kRegistry;
    registry.subkeyAt = &scripted;
    for (const auto& [statuses, names, calls] : cases) {
        script = statuses;
        enumerated = 0;
        EXPECT_EQ(subkeyNames(registry, nullptr), names);
        EXPECT_EQ(enumerated, calls);
    }
}

}  // namespace
}  // namespace tesmo
