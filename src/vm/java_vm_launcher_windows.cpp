#include "vm/java_vm_launcher_windows.h"

#include <stdlib.h>

#include "core/error_reporting.h"
#include "core/internal_errors.h"
#include "core/keys.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/settings.h"
#include "expansion/variables.h"
#include "files/extraction.h"
#include "files/temp_directory.h"
#include "instance/single_instance.h"
#include "platform/paths.h"
#include "platform/text_windows.h"
#include "runtime/runtime_library_windows.h"
#include "vm/class_path.h"
#include "vm/launch_arguments.h"
#include "vm/vm_options_windows.h"

namespace tesmo {

namespace {

JavaVM* javaVm = nullptr;
JNIEnv* mainEnv = nullptr;
// Written once, before any other thread may read it; a plain flag is enough.

constexpr char kTesmoWrapper[] = "com/tesmo/runtime/WinLauncher";
constexpr char kKorvaneWrapper[] = "com/korvane/runtime/launcher/WinLauncher";
constexpr char kFirstRunClass[] = "com/korvane/runtime/launcher/FirstRun";
constexpr std::size_t kFixedArgumentsCapacity = 2000;

bool korvaneFlavour() {
    return flavourLetter == 'k';
}

// --- class path sources -------------------------------------------------------------

void expandInPlace(WideString& text) {
    expandVariables(text);
}

bool exists(const WideString& path) {
    return pathExists(path);
}

bool resolveAgainstExecutable(WideString& out, const WideString& path) {
    return resolvePath(out, path);
}

std::optional<WideString> environmentVariable(const WideString& name) {
    WideString value;
    if (readEnvironment(asWindows(name), value)) return value;
    return std::nullopt;
}

const ClassPathSources kClassPathSources = {
    expandInPlace,      exists, resolveAgainstExecutable, resolvePathList, listFilesByExtension,
    environmentVariable};

// --- options ------------------------------------------------------------------------

WideString shortPathOf(const WideString& path) {
    return fillWideBuffer([&](wchar_t* buffer, DWORD size) {
        return GetShortPathNameW(asWindows(path), buffer, size);
    });
}

WideString fullPathOf(const WideString& path) {
    WideString full;
    fullPath(full, path, true);
    return full;
}

std::vector<WideString> buildSystemProperties() {
    PropertyValues values;
    values.semaphoreName = instanceSemaphoreName;
    values.korvane = korvaneFlavour();
    values.modulePath = executablePath();
    if (getSettingInt(kKeySingleInstance) != 0) {
        values.processCommFile = processCommFileName(GetCurrentProcessId());
        if (!values.processCommFile) fatalMessageWide(kMessageNotPoweruser, nullptr);
    }
    values.tempDirectory = launcherTempDirectory;
    values.unextractedPosition = languageRestart ? -1 : unextractedPosition;
    readEnvironment(L"PATH", values.libraryPath);
    values.libraryPath = narrowablePathList(values.libraryPath, shortPathOf);
    if (!_wgetenv(L"MANPATH")) values.consoleCodepage = GetConsoleOutputCP();
    return systemProperties(values);
}

WideString logFileName(int enabledKey, int nameKey) {
    return wrapperLogName(getSettingInt(enabledKey) != 0, getSettingWideString(nameKey),
                          expandInPlace, fullPathOf);
}

bool createJavaVM(const ArgumentList& arguments, const std::vector<WideString>& properties) {
    std::vector<WideString> options = properties;
    ClassPathDirectives directives;
    VmOptionContext context{options, directives, vmOptionSources()};
    collectVmOptions(context, arguments);

    std::optional<std::string> defaultFile = openDefaultVmOptionsFile();
    logMessage("default vmoptions file: %p",
               defaultFile ? static_cast<const void*>(defaultFile->data()) : nullptr);
    if (defaultFile) readVmOptionsText(context, *defaultFile);

    ClassPathInput input;
    input.directives = directives;
    input.tempDirectory = launcherTempDirectory;
    input.korvane = korvaneFlavour();
    fullPath(input.installationDirectory, getSettingWideString(kKeyInstallationDirectory), true);
    input.configured = getSettingWideString(kKeyClassPath);
    ClassPathResult classPath = buildClassPathOption(input, kClassPathSources);
    if (classPath.failure.messageId != 0) {
        fatalMessageWide(classPath.failure.messageId, &classPath.failure.argument);
    }
    options.push_back(narrowableClassPathOption(classPath.option, shortPathOf));

    // The VM keeps pointers into these for its whole life.
    auto* vmOptions = new JavaVMOption[options.size() + 1]();
    logMessage("vmoption count %d", static_cast<int>(options.size()));
    for (std::size_t i = 0; i < options.size(); ++i) {
        std::string* narrow = new std::string(narrowOption(options[i]));
        vmOptions[i].optionString = narrow->data();
        vmOptions[i].extraInfo = nullptr;
        logMessage("vmoption %d: %S", static_cast<int>(i), options[i]);
    }
    auto* initArgs = new JavaVMInitArgs();
    initArgs->version = JNI_VERSION_1_2;
    initArgs->nOptions = static_cast<jint>(options.size());
    initArgs->options = vmOptions;
    initArgs->ignoreUnrecognized = JNI_TRUE;

    logMessage("Creating JVM");
    return createJavaVMEntry(&javaVm, reinterpret_cast<void**>(&mainEnv), initArgs) == 0;
}

bool checkFirstRun(JNIEnv* env) {
    WideString installation;
    fullPath(installation, getSettingWideString(kKeyInstallationDirectory, kFixedArgumentsCapacity),
             true);
    if (!pathExists(installation + u"\\.korvane\\firstrun")) return true;
    jclass firstRun = env->FindClass(kFirstRunClass);
    if (!firstRun) fatalMessage(kMessageInternalError, internal_error::kFirstRunClass);
    jmethodID method = env->GetStaticMethodID(firstRun, "firstRun", "()Z");
    if (!method) fatalMessage(kMessageInternalError, internal_error::kFirstRunMethod);
    jboolean result = env->CallStaticBooleanMethod(firstRun, method);
    if (env->ExceptionOccurred()) {
        env->ExceptionDescribe();
        return false;
    }
    return result != JNI_FALSE;
}

bool callMainClass(const ArgumentList& arguments) {
    JNIEnv* env = mainEnv;
    if (korvaneFlavour() && !checkFirstRun(env)) {
        logMessage("checkFirstRun stopped further execution");
        return true;
    }
    const char* wrapper = korvaneFlavour() ? kKorvaneWrapper : kTesmoWrapper;
    logMessage("main class: %s", wrapper);
    jclass mainClass = env->FindClass(wrapper);
    if (!mainClass) {
        logError("could not find main class");
        fatalMessage(kMessageMainClassMissing, nullptr);
    }
    jmethodID main = env->GetStaticMethodID(mainClass, "main", "([Ljava/lang/String;)V");
    if (!main) {
        logError("could not find main method");
        fatalMessage(kMessageMainMethodMissing, nullptr);
    }

    WrapperSettings settings;
    settings.windowed = getSettingInt(kKeyExecutableType) == 1;
    settings.mainClass = getSettingWideString(kKeyMainClass);
    settings.errorLog = logFileName(kKeyErrorLogEnabled, kKeyErrorLogFile);
    settings.outputLog = logFileName(kKeyOutputLogEnabled, kKeyOutputLogFile);
    settings.flag = getSettingInt(kKeyWrapperFlag) != 0;
    settings.fixedArguments = getSettingWideString(kKeyFixedArguments, kFixedArgumentsCapacity);
    expandVariables(settings.fixedArguments, kFixedArgumentsCapacity);
    settings.dashJOptions = getSettingInt(kKeyDashJOptions) != 0;
    std::vector<WideString> values = wrapperArguments(settings, arguments);

    logMessage("param count: %d", static_cast<int>(values.size()));
    jclass stringClass = env->FindClass("java/lang/String");
    jobjectArray array =
        stringClass ? env->NewObjectArray(static_cast<jsize>(values.size()), stringClass, nullptr)
                    : nullptr;
    // Without memory for the arguments the application cannot be started at all.
    if (!array) exitLauncher(1);
    for (std::size_t i = 0; i < values.size(); ++i) {
        logMessage("param %d: %S", static_cast<int>(i), values[i]);
        jstring value = env->NewString(reinterpret_cast<const jchar*>(values[i].data()),
                                       static_cast<jsize>(values[i].size()));
        if (!value) exitLauncher(1);
        env->SetObjectArrayElement(array, static_cast<jsize>(i), value);
    }
    logMessage("calling main");
    env->CallStaticVoidMethod(mainClass, main, array);
    logMessage("main returned");
    if (env->ExceptionOccurred()) {
        logError("an exception occured");
        env->ExceptionDescribe();
        return false;
    }
    return true;
}

}  // namespace

bool launchJavaApplication(const ArgumentList& arguments) {
    logMessage("launching program");
    std::vector<WideString> properties = buildSystemProperties();
    if (!createJavaVM(arguments, properties)) {
        logError("could not initialize JVM");
        return false;
    }
    logMessage("JVM created");
    vmCreated = true;
    if (!callMainClass(arguments)) {
        logError("could not call main");
        return false;
    }
    logMessage("dest JVM");
    javaVm->DestroyJavaVM();
    logMessage("launch done");
    return true;
}

// As a daemon: DestroyJavaVM waits for every attached non-daemon thread, and the splash
// thread may stay attached (a splash that nothing closes) after the application has ended.
JNIEnv* attachToVm() {
    if (!vmCreated) return nullptr;
    JNIEnv* env = nullptr;
    if (javaVm->AttachCurrentThreadAsDaemon(reinterpret_cast<void**>(&env), nullptr) != 0) {
        return nullptr;
    }
    return env;
}

void detachFromVm() {
    if (vmCreated) javaVm->DetachCurrentThread();
}

}  // namespace tesmo
