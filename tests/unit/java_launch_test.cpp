#include "vm/java_launch.h"

#include <gtest/gtest.h>

#include "core/launcher_state.h"
#include "tests/support/log_capture.h"

namespace tesmo {
namespace {

struct FakeVm {
    bool created = true, marked = false;
    FirstRunResult firstRun = FirstRunResult::Go;
    WrapperLookup lookup = WrapperLookup::Found;
    bool arrayMade = true, exception = false;
    std::vector<std::string> options{}, calls{};
    int fatalMessage = 0, exitCode = -1;
};
FakeVm vm;
const std::vector<WideString> kOptions = {u"-Da=\u00e9", u"-Db=\u0394"}, kParams = {u"x", u"y"};

const JavaLaunchCalls kFakeCalls = {
    [] { return kOptions; },
    [](const std::vector<std::string>& options) { return vm.options = options, vm.created; },
    [] { return vm.marked; },
    [] { return vm.calls.push_back("firstRun"), vm.firstRun; },
    [](const char* name) { return vm.calls.push_back(name), vm.lookup; },
    [] { return kParams; },
    [](std::size_t) { return vm.arrayMade; },
    [](std::size_t, const WideString& value) { return vm.calls.push_back(toUtf8(value)), true; },
    [] { vm.calls.push_back("main"); },
    [] { return vm.exception; },
    [] { vm.calls.push_back("describe"); },
    [] { vm.calls.push_back("destroy"); },
    [](int messageId, const char*) { vm.fatalMessage = messageId; },
    [](int exitCode) { vm.exitCode = exitCode; }};

TEST(JavaLaunch, CreatesCallsMainAndDestroys) {
    vm = {};
    EXPECT_TRUE(launchJava(false, kFakeCalls));
    EXPECT_EQ(vm.options, (std::vector<std::string>{"-Da=\xE9", "-Db=?"}));
    EXPECT_EQ(vm.calls, (std::vector<std::string>{"com/tesmo/runtime/WinLauncher", "x", "y", "main",
                                                  "destroy"}));
    EXPECT_TRUE(vmCreated);
    vmCreated = false;
}

TEST(JavaLaunch, EachStepThatFailsEndsTheLaunchItsOwnWay) {
    struct Row {
        FakeVm given;
        int fatalMessage, exitCode;
        const char* lastLine;
    };
    const char* noMain = "ERROR: could not call main";
    const Row rows[] = {
        {{.created = false}, 0, -1, "ERROR: could not initialize JVM"},
        {{.marked = true, .firstRun = FirstRunResult::Stop}, 0, -1, "launch done"},
        {{.marked = true, .firstRun = FirstRunResult::MethodMissing}, 1009, -1, noMain},
        {{.lookup = WrapperLookup::ClassMissing}, 1010, -1, noMain},
        {{.lookup = WrapperLookup::MethodMissing}, 1011, -1, noMain},
        {{.arrayMade = false}, 0, 1, noMain},
        {{.exception = true}, 0, -1, noMain}};
    for (const Row& row : rows) {
        vm = row.given;
        testing::clearCapturedLog();
        EXPECT_EQ(launchJava(true, kFakeCalls), row.lastLine == std::string("launch done"));
        EXPECT_EQ(vm.fatalMessage, row.fatalMessage);
        EXPECT_EQ(vm.exitCode, row.exitCode);
        EXPECT_EQ(testing::capturedLog().back(), row.lastLine);
        EXPECT_EQ(!vm.calls.empty() && vm.calls.back() == "describe", row.given.exception);
    }
    vmCreated = false;
}

}  // namespace
}  // namespace tesmo
