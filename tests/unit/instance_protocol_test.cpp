#include "instance/instance_protocol.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <set>

namespace tesmo {
namespace {

TEST(InstanceProtocol, NamesArgumentsAndTheFileTheyTravelIn) {
    // Only spaces and backslashes change; tabs, slashes and other bytes stay.
    EXPECT_EQ(instanceSemaphoreBase("\\\\server\\share\\a b\tc/d\xE9.exe", true),
              "Global\\__server_share_a_b\tc/d\xE9.exe");
    const std::pair<const char16_t*, const char16_t*> commandLines[] = {
        {u"\"C:\\My App\\app.exe\"    first \"second arg\"  ", u"first \"second arg\"  "},
        // A program name whose quote never closes swallows everything.
        {u"\"C:\\My App\\app.exe a b", u""}};
    for (const auto& [commandLine, arguments] : commandLines)
        EXPECT_EQ(handedOverArguments(commandLine), WideView(arguments)) << toUtf8(commandLine);
    EXPECT_EQ(notificationBytes(u"a \"\u00e9\u20ac\""),
              std::string("a\0 \0\"\0\xE9\0\xAC\x20\"\0\n\0", 14));
}

// Plays the system for the stage's steps: semaphores other processes hold, files, and the
// first instance ending or taking the file at a given sleep.
struct FakeSystem {
    std::set<std::string> heldSemaphores{};
    std::map<std::string, std::string> files{};
    std::deque<std::string> handles{};
    std::vector<std::string> calls{};
    int sleeps = 0, firstEndsAtSleep = -1;
    bool takesFile = false, writeFails = false;
};
FakeSystem fake;
const std::string kFirst = "Local\\app";
const std::string kFile = "T\\tsm_p7.tmp";

const auto handleFor = [](const std::string& name) { return &fake.handles.emplace_back(name); };
const auto nameOf = [](void* handle) { return *static_cast<std::string*>(handle); };

const InstanceCalls kFakeCalls = {
    [](const std::string& name) {
        bool existed = fake.heldSemaphores.count(name) != 0;
        return SemaphoreOpening{handleFor(name), existed ? 183L : 0L, existed};
    },
    [](void* handle) { return fake.calls.push_back("release " + nameOf(handle)), true; },
    [](void* handle) { fake.calls.push_back("close " + nameOf(handle)); },
    [](void*) { return 0L; },
    [] { return 0L; },
    [](const std::string& path) { return fake.files.count(path) != 0; },
    [](unsigned) {
        if (fake.sleeps++ == fake.firstEndsAtSleep) fake.heldSemaphores.erase(kFirst);
        if (fake.takesFile) fake.files.erase(kFile);
    },
    [](const std::string& path) -> void* {
        return fake.files.count(path) ? nullptr : (fake.files[path], handleFor(path));
    },
    [](void* handle, const std::string& bytes, long&) {
        return fake.files[nameOf(handle)] = bytes, !fake.writeFails;
    },
    [](const std::string& path) { fake.files.erase(path); },
    [](unsigned long pid) { return std::optional("T\\tsm_p" + std::to_string(pid) + ".tmp"); }};

TEST(InstanceSteps, NumberedSemaphoreIsTheFirstFreeElseTheLast) {
    fake = {{"L0", "L1", "L3"}};
    EXPECT_EQ(takeNumberedSemaphore("L", kFakeCalls), "L2");
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"close L0", "close L1"}));
    for (int n = 0; n <= kMaxInstanceNumber; ++n)
        fake.heldSemaphores.insert("L" + std::to_string(n));
    EXPECT_EQ(takeNumberedSemaphore("L", kFakeCalls), "L100000");
}

TEST(InstanceSteps, HandOverWaitsForTheFileAndAlwaysLetsTheNextStartIn) {
    using Row = std::tuple<FakeSystem, const char*, int, std::optional<std::string>>;
    const Row rows[] = {
        {{.heldSemaphores = {kFirst}, .takesFile = true}, nullptr, 1, std::nullopt},
        {{{kFirst}, {{kFile, "old"}}}, "21", kFileWaitPasses, "old"},
        {{.heldSemaphores = {kFirst}}, nullptr, kFileWaitPasses, notificationBytes(u"a b")},
        {{.heldSemaphores = {kFirst}, .firstEndsAtSleep = 2}, nullptr, 6, std::nullopt},
        {{}, nullptr, 0, std::nullopt},
        {{.heldSemaphores = {kFirst}, .writeFails = true}, "22", 0, std::nullopt}};
    for (const auto& [given, internalError, sleeps, fileLeft] : rows) {
        fake = given;
        EXPECT_STREQ(handOverArguments(7, u"a b", kFirst, kFakeCalls).internalError, internalError);
        EXPECT_EQ(fake.sleeps, sleeps);
        EXPECT_EQ(fake.files.count(kFile) ? std::optional(fake.files[kFile]) : std::nullopt,
                  fileLeft);
        EXPECT_EQ(fake.calls.back(), "close " + kFirst + "_notification");
        EXPECT_EQ(fake.calls.end()[-2], "release " + kFirst + "_notification");
    }
}

}  // namespace
}  // namespace tesmo
