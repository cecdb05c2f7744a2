#include "files/temp_directory.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

// A file system of directories: one can be made inside a writable one, and a made probe
// exists until it is removed.
struct FakeTemp {
    std::string tempPath{};
    unsigned long tempLength = 0;
    std::string longPath{};
    std::set<std::string> writable{}, made{};
    bool systemMakesFile = true;
};
FakeTemp fake;

const TempCalls<std::string> kFakeCalls = {
    [](std::string& out) { return out = fake.tempPath, fake.tempLength; },
    [] { return 5L; },
    [] { return std::string("C:\\users\\x"); },
    [](const std::string& path) {
        std::string parent = path.substr(0, path.rfind('\\'));
        bool ok = fake.writable.count(parent) || fake.writable.count(parent + "\\");
        if (ok) fake.made.insert(path);
        if (ok && path.find("tsm_w_testdir") == std::string::npos) fake.writable.insert(path);
        return ok;
    },
    [](const std::string& path) { return fake.made.erase(path) != 0; },
    [](const std::string& path) { return fake.made.count(path) != 0; },
    [](const std::string&) { return fake.longPath; },
    [] { return std::string("C:\\W"); },
    [](const std::string& dir, std::string& out) {
        return out = dir + "tsm1.tmp", fake.systemMakesFile;
    },
    [] { return 77; }};

TEST(SystemTemp, TheReportedPathElseHomeThenTheFirstWritableFallbackForUnnameableText) {
    const std::tuple<FakeTemp, std::optional<std::string>, const char*> rows[] = {
        {{"C:\\T\\", 5, "", {"C:\\W"}}, "C:\\T\\", "make dir returned -1"},
        {{"", 0}, "C:\\users\\x", "No temp dir defined. Using home C:\\users\\x"},
        {{"C:\\T\\", kPathCapacity}, "C:\\users\\x", "GetTempPath returned 6000 (last error 5)"},
        {{"C:\\?\\", 5, "C:\\PROGRA~1\\"}, "C:\\?\\", nullptr},
        // The short form holds no text the narrow code page lacks, the long one does.
        {{"C:\\PROGRA~1\\", 12, "C:\\?\\", {"C:\\W\\temp", "c:\\temp"}}, "C:\\W\\temp", nullptr},
        {{"C:\\?\\", 5, "", {"c:\\"}}, "c:\\tmp", nullptr}};
    for (const auto& [system, chosen, logged] : rows) {
        fake = system;
        testing::clearCapturedLog();
        EXPECT_EQ(systemTempFrom(kFakeCalls), chosen) << system.tempPath << system.tempLength;
        EXPECT_TRUE(fake.made.empty() || fake.made == std::set<std::string>{"c:\\tmp"});
        const auto& log = testing::capturedLog();
        EXPECT_TRUE(!logged || std::find(log.begin(), log.end(), logged) != log.end());
    }
}

TEST(TempFileName, OwnNameWhenTheSystemMakesNoneOrTheDirectoryIsTooLong) {
    // GetTempFileName takes directories of at most MAX_PATH - 14 characters.
    const std::string longest = "C:\\" + std::string(242, 'd') + "\\";
    const std::string longDirectory = "C:\\" + std::string(243, 'd') + "\\";
    const std::tuple<std::string, bool, std::string, const char*> rows[] = {
        {longest, true, longest + "tsm1.tmp", nullptr},
        {"C:\\T\\", false, "C:\\T\\tsm77", "GetTempFileName failed (last error 5)"},
        {longDirectory, true, longDirectory + "tsm77", "GetTempFileName failed (last error 111)"}};
    for (const auto& [directory, systemMakesFile, name, failure] : rows) {
        fake = {directory, unsigned(directory.size()), "", {}, {}, systemMakesFile};
        testing::clearCapturedLog();
        EXPECT_EQ(tempFileNameFrom(kFakeCalls), name);
        std::vector<std::string> expected = {"tempPath is " + directory, "tempFile is " + name};
        if (failure) expected.insert(expected.begin() + 1, failure);
        const auto& log = testing::capturedLog();
        EXPECT_EQ(std::vector<std::string>(log.end() - expected.size(), log.end()), expected);
    }
}

TEST(LauncherTemp, ReservedNamesAreKeptUntilTheAttemptsEnd) {
    // As Windows does: the first free number, reserved by its file. A name deleted at once
    // comes back at the next attempt, within the same clock tick.
    static std::set<std::string> files, handedOut;
    const LauncherTempCalls calls = {[] {
                                         std::string name = "R0";
                                         for (int n = 1; !files.insert(name).second; ++n)
                                             name = "R" + std::to_string(n);
                                         return handedOut.insert(name), std::optional(name);
                                     },
                                     [] { return std::int32_t{7}; },
                                     [](const std::string&) { return false; }, [] { return 5L; },
                                     [](const std::string& path) { files.erase(path); }};
    EXPECT_EQ(makeLauncherTempDirectory(calls).result, LauncherTempDirectory::NotCreated);
    EXPECT_EQ(handedOut.size(), 10u);
    EXPECT_TRUE(files.empty());
}

}  // namespace
}  // namespace tesmo
