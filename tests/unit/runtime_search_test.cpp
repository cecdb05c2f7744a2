#include "runtime/runtime_search.h"

#include <gtest/gtest.h>

#include <map>

#include "core/keys.h"
#include "core/settings.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

// A machine for the search. A java.exe among the files holds the version its probe prints
// ("" for a probe that exits with an error).
struct Machine {
    std::map<WideString, WideString> files;
    std::map<WideString, CachedVersionRecord> cache;
    std::map<WideString, WideString> variables;
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

// No registry: the catalogue's own tests play it.
const RegistrySources kRegistry = {
    [](Hive, const WideString&) -> void* { return nullptr; }, [](void*) {},
    [](void*, std::uint32_t, WideString&) { return SubkeyStatus::Failed; },
    [](Hive, const WideString&, const WideString&, std::size_t) -> std::optional<WideString> {
        return std::nullopt;
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
        narrowSettings = {{126, "1.8"}, {10003, "c:\\inst"}};
        testing::clearCapturedLog();
    }
    void TearDown() override { narrowSettings.clear(); }
};

TEST_F(Runtime, SearchOrderAndTheStageThatFinds) {
    const std::vector<const char16_t*> order = {u"c:\\pref", u"c:\\b", u"c:\\a", u"c:\\r", u"c:\\e",
                                                u"c:\\s",    u"c:\\i", u"c:\\t", u"c:\\k"};
    const std::tuple<const char16_t*, SearchResult, const char16_t*> winners[] = {
        {nullptr, SearchResult::NotFound, u""},
        {u"c:\\pref", SearchResult::FoundAtLocation, u"c:\\pref"},
        {u"c:\\a", SearchResult::FoundAtLocation, u"c:\\a"},
        {u"c:\\r", SearchResult::FoundAtLocation, u"c:\\r"},
        {u"c:\\e", SearchResult::FoundByVariable, u"JH"},
        {u"c:\\s", SearchResult::FoundOnPath, u""},
        {u"c:\\i", SearchResult::FoundAtLocation, u"c:\\i"},
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
        EXPECT_EQ(foundText, expectedText);
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
