#include "vm/java_launch.h"

#include "core/internal_errors.h"
#include "core/keys.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "vm/launch_arguments.h"

namespace tesmo {

namespace {

constexpr char kTesmoWrapper[] = "com/tesmo/runtime/WinLauncher";
constexpr char kKorvaneWrapper[] = "com/korvane/runtime/launcher/WinLauncher";

bool createVm(const JavaLaunchCalls& calls) {
    std::vector<WideString> options = calls.vmOptions();
    std::vector<std::string> narrow;
    logMessage("vmoption count %d", static_cast<int>(options.size()));
    for (std::size_t i = 0; i < options.size(); ++i) {
        narrow.push_back(narrowOption(options[i]));
        logMessage("vmoption %d: %S", static_cast<int>(i), options[i]);
    }
    logMessage("Creating JVM");
    return calls.createVm(narrow);
}

bool findWrapper(const char* wrapper, const JavaLaunchCalls& calls) {
    logMessage("main class: %s", wrapper);
    switch (calls.findWrapper(wrapper)) {
        case WrapperLookup::ClassMissing:
            logError("could not find main class");
            calls.fatal(kMessageMainClassMissing, nullptr);
            return false;
        case WrapperLookup::MethodMissing:
            logError("could not find main method");
            calls.fatal(kMessageMainMethodMissing, nullptr);
            return false;
        default:
            return true;
    }
}

// Without memory for the arguments the application cannot be started at all.
bool passArguments(const JavaLaunchCalls& calls) {
    std::vector<WideString> values = calls.wrapperArguments();
    logMessage("param count: %d", static_cast<int>(values.size()));
    if (!calls.newArgumentArray(values.size())) {
        calls.exitProcess(1);
        return false;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        logMessage("param %d: %S", static_cast<int>(i), values[i]);
        if (!calls.setArgument(i, values[i])) {
            calls.exitProcess(1);
            return false;
        }
    }
    return true;
}

bool callMainClass(bool korvane, const JavaLaunchCalls& calls) {
    FirstRunResult hook =
        korvane && calls.firstRunMarked() ? calls.runFirstRun() : FirstRunResult::Go;
    if (hook == FirstRunResult::ClassMissing || hook == FirstRunResult::MethodMissing) {
        calls.fatal(kMessageInternalError, hook == FirstRunResult::ClassMissing
                                               ? internal_error::kFirstRunClass
                                               : internal_error::kFirstRunMethod);
        return false;
    }
    if (hook == FirstRunResult::Stop) {
        logMessage("checkFirstRun stopped further execution");
        return true;
    }
    if (!findWrapper(korvane ? kKorvaneWrapper : kTesmoWrapper, calls)) return false;
    if (!passArguments(calls)) return false;
    logMessage("calling main");
    calls.callMain();
    logMessage("main returned");
    if (calls.exceptionPending()) {
        logError("an exception occured");
        calls.describeException();
        return false;
    }
    return true;
}

}  // namespace

bool launchJava(bool korvane, const JavaLaunchCalls& calls) {
    logMessage("launching program");
    if (!createVm(calls)) {
        logError("could not initialize JVM");
        return false;
    }
    logMessage("JVM created");
    vmCreated = true;
    if (!callMainClass(korvane, calls)) {
        logError("could not call main");
        return false;
    }
    logMessage("dest JVM");
    calls.destroyVm();
    logMessage("launch done");
    return true;
}

}  // namespace tesmo
