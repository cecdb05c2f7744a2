#include "vm/java_launch.h"

#include <gtest/gtest.h>

#include "core/launcher_state.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

// The VM's side of the launch: what each call answers, and what reached it.
struct FakeVm {
    bool created = true;
    bool marked = false;
    FirstRunResult firstRun = FirstRunResult::Go;
    WrapperLookup lookup = WrapperLookup::Found;
    bool arrayMade = true;
    bool exception = false;
    std::vector<std::string> options;
    std::vector<std::string> calls;
    int fatalMessage = 0;
    int exitCode = -1;
};
FakeVm vm;

const JavaLaunchCalls kFakeCalls = {
    [] {
        return std::vector<WideString>{u"-Da=\u00e9", u"-Db=\u0394"};
    },
    [](const std::vector<std::string>& options) { return vm.options = options, vm.created; },
    [] { return vm.marked; },
    [] { return vm.calls.push_back("firstRun"), vm.firstRun; },
    [](const char* name) { return vm.calls.push_back(name), vm.lookup; },
    [] {
        return std::vector<WideString>{u"x", u"y"};
    },
    [](std::size_t) { return vm.arrayMade; },
    [](std::size_t, const WideString&) { return true; },
    [] { vm.calls.push_back("main"); },
    [] { return vm.exception; },
    [] { vm.calls.push_back("describe"); },
    [] { vm.calls.push_back("destroy"); },
    [](int messageId, const char*) { vm.fatalMessage = messageId; },
    [](int exitCode) { vm.exitCode = exitCode; }};

TEST(JavaLaunch, CreatesCallsMainAndDestroysInTheLoggedOrder) {
    vm = {};
    testing::clearCapturedLog();
    EXPECT_TRUE(launchJava(false, kFakeCalls));
    EXPECT_EQ(vm.options, (std::vector<std::string>{"-Da=\xE9", "-Db=?"}));
    EXPECT_EQ(vm.calls,
              (std::vector<std::string>{"com/tesmo/runtime/WinLauncher", "main", "destroy"}));
    EXPECT_EQ(testing::capturedLog(),
              (std::vector<std::string>{
                  "launching program", "vmoption count 2", "vmoption 0: -Da=\xE9",
                  "vmoption 1: -Db=?", "Creating JVM", "JVM created",
                  "main class: com/tesmo/runtime/WinLauncher", "param count: 2", "param 0: x",
                  "param 1: y", "calling main", "main returned", "dest JVM", "launch done"}));
    EXPECT_TRUE(vmCreated);
    vmCreated = false;
}

TEST(JavaLaunch, EachStepThatFailsEndsTheLaunchItsOwnWay) {
    struct Row {
        bool created, marked;
        FirstRunResult firstRun;
        WrapperLookup lookup;
        bool arrayMade, exception, launched;
        int fatalMessage, exitCode;
        const char* lastLine;
    };
    const auto go = FirstRunResult::Go;
    const auto found = WrapperLookup::Found;
    const Row rows[] = {
        {false, false, go, found, true, false, false, 0, -1, "ERROR: could not initialize JVM"},
        {true, true, FirstRunResult::Stop, found, true, false, true, 0, -1, "launch done"},
        {true, true, FirstRunResult::MethodMissing, found, true, false, false, 1009, -1,
         "ERROR: could not call main"},
        {true, false, go, WrapperLookup::ClassMissing, true, false, false, 1010, -1,
         "ERROR: could not call main"},
        {true, false, go, WrapperLookup::MethodMissing, true, false, false, 1011, -1,
         "ERROR: could not call main"},
        {true, false, go, found, false, false, false, 0, 1, "ERROR: could not call main"},
        {true, false, go, found, true, true, false, 0, -1, "ERROR: could not call main"}};
    for (const Row& row : rows) {
        vm = {row.created,   row.marked,    row.firstRun, row.lookup,
              row.arrayMade, row.exception, {},           {}};
        testing::clearCapturedLog();
        EXPECT_EQ(launchJava(true, kFakeCalls), row.launched);
        EXPECT_EQ(vm.fatalMessage, row.fatalMessage);
        EXPECT_EQ(vm.exitCode, row.exitCode);
        EXPECT_EQ(testing::capturedLog().back(), row.lastLine);
        EXPECT_EQ(!vm.calls.empty() && vm.calls.back() == "describe", row.exception);
    }
    vmCreated = false;
}

}  // namespace
}  // namespace tesmo
