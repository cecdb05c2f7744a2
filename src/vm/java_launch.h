// The launch sequence inside the VM: the option list, creation, the first-run hook, the
// wrapper's main and destruction, with the calls into the invocation interface and JNI
// kept apart so the order and its log lines can be followed without a VM.
#pragma once

#include <string>
#include <vector>

#include "platform/text.h"

namespace tesmo {

enum class FirstRunResult { ClassMissing, MethodMissing, Stop, Go };
enum class WrapperLookup { ClassMissing, MethodMissing, Found };

struct JavaLaunchCalls {
    // The system properties, the VM options and the class path, in that order.
    std::vector<WideString> (*vmOptions)();
    // The options as the VM reads them; they must stay alive for the VM's whole life.
    bool (*createVm)(const std::vector<std::string>& options);
    // The first-run hook applies only when the installation holds its marker file. Stop:
    // the hook answered false or threw, and its exception has been described.
    bool (*firstRunMarked)();
    FirstRunResult (*runFirstRun)();
    WrapperLookup (*findWrapper)(const char* className);
    std::vector<WideString> (*wrapperArguments)();
    bool (*newArgumentArray)(std::size_t count);
    bool (*setArgument)(std::size_t index, const WideString& value);
    void (*callMain)();
    bool (*exceptionPending)();
    void (*describeException)();
    void (*destroyVm)();
    void (*fatal)(int messageId, const char* internalError);
    void (*exitProcess)(int exitCode);
};

// False: the VM could not be created or main could not be called. The table's fatal and
// exitProcess do not return in the launcher; should they, the launch gives up here.
bool launchJava(bool korvane, const JavaLaunchCalls& calls);

}  // namespace tesmo
