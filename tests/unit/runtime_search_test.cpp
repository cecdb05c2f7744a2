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
    std::list<WideString> opened;
    int openKeys = 0;
    int probes = 0;
};
Machine machine;
constexpr std::uint64_t kTime = 0x0102030405060708ULL;
const std::string kStamp("\x08\x07\x06\x05\x04\x03\x02\x01", 8);

bool exists(const WideString& path) {
    return machine.files.count(path) != 0;
}
bool isDirectory(const WideString& path) {
    auto next = machine.files.lower_bound(path + u"\\");
    return next != machine.files.end() && startsWith(next->first, path + u"\\");
}
bool same(WideString& out, const WideString& path, bool) {
    return !(out = path).empty();
}
bool stamp(const WideString& path, std::uint64_t* time) {
    return (*time = kTime), exists(path);
}
bool readCache(const WideString& key, CachedVersionRecord& record) {
    auto found = machine.cache.find(key);
    return found != machine.cache.end() && (record = found->second, true);
}
void writeCache(const WideString& key, const std::string& stamp, const WideString& version) {
    machine.cache[key] = {stamp, version};
}
ProbeResult probe(const WideString& javaExe, WideString& version) {
    ++machine.probes;
    version = machine.files.at(javaExe);
    return version.empty() ? ProbeResult::ExitCode : ProbeResult::Version;
}
const InstallationSources kInstallation = {&exists,    &isDirectory, &same, &stamp,
                                           &readCache, &writeCache,  &probe};

WideString keyPath(Hive hive, WideString key) {
    if (key.back() == u'\\') key.pop_back();
    return (hive == Hive::LocalMachine ? u"HKLM\\" : u"HKCU\\") + key;
}
std::vector<WideString> children(const WideString& key) {
    std::vector<WideString> names;
    for (const auto& [entry, text] : machine.values) {
        if (!startsWith(entry.first, key + u"\\")) continue;
        WideString name = entry.first.substr(key.size() + 1);
        name.resize(std::min(name.size(), name.find(u'\\')));
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    return names;
}
void* openKey(Hive hive, const WideString& key) {
    WideString path = keyPath(hive, key);
    for (const auto& [entry, text] : machine.values) {
        if (entry.first != path && !startsWith(entry.first, path + u"\\")) continue;
        ++machine.openKeys;
        return &machine.opened.emplace_back(path);
    }
    return nullptr;
}
void closeKey(void*) {
    --machine.openKeys;
}
SubkeyStatus subkeyAt(void* key, std::uint32_t index, WideString& name) {
    std::vector<WideString> names = children(*static_cast<WideString*>(key));
    if (index >= names.size()) return SubkeyStatus::Failed;
    name = names[index];
    return SubkeyStatus::Named;
}
std::optional<WideString> readString(Hive hive, const WideString& key, const WideString& value,
                                     std::size_t) {
    auto found = machine.values.find({keyPath(hive, key), value});
    if (found == machine.values.end()) return std::nullopt;
    return found->second;
}
const RegistrySources kRegistry = {&openKey, &closeKey, &subkeyAt, &readString};

void expand(WideString& text) {
    if (startsWith(text, u"%HOME%")) text.replace(0, 6, u"c:");
}
std::optional<WideString> variable(const WideString& name) {
    auto found = machine.variables.find(name);
    return found == machine.variables.end() ? std::nullopt : std::optional(found->second);
}
WideString javaOnPath() {
    return exists(u"c:\\s\\bin\\java.exe") ? u"c:\\s\\bin\\java.exe" : u"";
}
std::optional<std::string> readStart(const WideString& path, std::size_t capacity) {
    if (!exists(path)) return std::nullopt;
    return toUtf8(machine.files[path]).substr(0, capacity);
}
const SearchSources kSearch = {kInstallation, kRegistry,   &expand,   [](const WideString&) {},
                               &variable,     &javaOnPath, &readStart};

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

TEST_F(Runtime, ExecutableOfAHome) {
    // Files below c:\h; whether a development kit is required; the outcome.
    const std::tuple<std::vector<const char16_t*>, bool, const char16_t*> cases[] = {
        {{u"\\bin\\java.exe"}, false, u"\\bin\\java.exe"},
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
        {CachedVersionRecord{kStamp, u"1.0.0"}, u"1.8.0_1", false, false, true, 1, u"1.8.0_1"},
        {CachedVersionRecord{kStamp, WideString(u"1.6.\0x", 6)}, u"1.8", false, false, true, 1,
         u"1.8"},
        {CachedVersionRecord{kStamp, std::nullopt}, u"1.8", false, false, true, 1, u"1.8"},
        {CachedVersionRecord{older, u"1.7"}, u"1.8", false, false, true, 1, u"1.8"},
        {CachedVersionRecord{kStamp.substr(4), u"1.7"}, u"1.8", false, false, true, 1, u"1.8"},
        {std::nullopt, u"", false, false, false, 1, kFailedProbeVersion},
        {std::nullopt, u"1.7.0", false, false, false, 1, u"1.7.0"},
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
