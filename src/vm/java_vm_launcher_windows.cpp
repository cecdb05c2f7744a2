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
#include "vm/java_launch.h"
#include "vm/launch_arguments.h"
#include "vm/vm_options_windows.h"

namespace tesmo {

namespace {

JavaVM* javaVm = nullptr;
JNIEnv* mainEnv = nullptr;
// Written once, before any other thread may read it; a plain flag is enough.

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

// The arguments as main receives them; set by the launch before the VM is created.
const ArgumentList* launchArguments = nullptr;
jclass wrapperClass = nullptr;
jmethodID wrapperMain = nullptr;
jobjectArray argumentArray = nullptr;

std::vector<WideString> vmOptions() {
    std::vector<WideString> options = buildSystemProperties();
    ClassPathDirectives directives;
    VmOptionContext context{options, directives, vmOptionSources()};
    collectVmOptions(context, *launchArguments);

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
    return options;
}

bool createVm(const std::vector<std::string>& options) {
    // The VM keeps pointers into these for its whole life.
    auto* kept = new std::vector<std::string>(options);
    auto* vmOptions = new JavaVMOption[kept->size() + 1]();
    for (std::size_t i = 0; i < kept->size(); ++i) vmOptions[i].optionString = (*kept)[i].data();
    auto* initArgs = new JavaVMInitArgs();
    initArgs->version = JNI_VERSION_1_2;
    initArgs->nOptions = static_cast<jint>(kept->size());
    initArgs->options = vmOptions;
    initArgs->ignoreUnrecognized = JNI_TRUE;
    return createJavaVMEntry(&javaVm, reinterpret_cast<void**>(&mainEnv), initArgs) == 0;
}

bool firstRunMarked() {
    WideString installation;
    fullPath(installation, getSettingWideString(kKeyInstallationDirectory, kFixedArgumentsCapacity),
             true);
    return pathExists(installation + u"\\.korvane\\firstrun");
}

FirstRunResult runFirstRun() {
    jclass firstRun = mainEnv->FindClass(kFirstRunClass);
    if (!firstRun) return FirstRunResult::ClassMissing;
    jmethodID method = mainEnv->GetStaticMethodID(firstRun, "firstRun", "()Z");
    if (!method) return FirstRunResult::MethodMissing;
    jboolean result = mainEnv->CallStaticBooleanMethod(firstRun, method);
    if (mainEnv->ExceptionOccurred()) {
        mainEnv->ExceptionDescribe();
        return FirstRunResult::Stop;
    }
    return result != JNI_FALSE ? FirstRunResult::Go : FirstRunResult::Stop;
}

WrapperLookup findWrapper(const char* className) {
    wrapperClass = mainEnv->FindClass(className);
    if (!wrapperClass) return WrapperLookup::ClassMissing;
    wrapperMain = mainEnv->GetStaticMethodID(wrapperClass, "main", "([Ljava/lang/String;)V");
    return wrapperMain ? WrapperLookup::Found : WrapperLookup::MethodMissing;
}

std::vector<WideString> wrapperArgumentValues() {
    WrapperSettings settings;
    settings.windowed = getSettingInt(kKeyExecutableType) == 1;
    settings.mainClass = getSettingWideString(kKeyMainClass);
    settings.errorLog = logFileName(kKeyErrorLogEnabled, kKeyErrorLogFile);
    settings.outputLog = logFileName(kKeyOutputLogEnabled, kKeyOutputLogFile);
    settings.flag = getSettingInt(kKeyWrapperFlag) != 0;
    settings.fixedArguments = getSettingWideString(kKeyFixedArguments, kFixedArgumentsCapacity);
    expandVariables(settings.fixedArguments, kFixedArgumentsCapacity);
    settings.dashJOptions = getSettingInt(kKeyDashJOptions) != 0;
    return wrapperArguments(settings, *launchArguments);
}

bool newArgumentArray(std::size_t count) {
    jclass stringClass = mainEnv->FindClass("java/lang/String");
    argumentArray = stringClass
                        ? mainEnv->NewObjectArray(static_cast<jsize>(count), stringClass, nullptr)
                        : nullptr;
    return argumentArray != nullptr;
}

bool setArgument(std::size_t index, const WideString& value) {
    jstring text = mainEnv->NewString(reinterpret_cast<const jchar*>(value.data()),
                                      static_cast<jsize>(value.size()));
    if (!text) return false;
    mainEnv->SetObjectArrayElement(argumentArray, static_cast<jsize>(index), text);
    return true;
}

const JavaLaunchCalls kLaunchCalls = {
    vmOptions,
    createVm,
    firstRunMarked,
    runFirstRun,
    findWrapper,
    wrapperArgumentValues,
    newArgumentArray,
    setArgument,
    [] { mainEnv->CallStaticVoidMethod(wrapperClass, wrapperMain, argumentArray); },
    [] { return mainEnv->ExceptionOccurred() != nullptr; },
    [] { mainEnv->ExceptionDescribe(); },
    [] { javaVm->DestroyJavaVM(); },
    [](int messageId, const char* internalError) { fatalMessage(messageId, internalError); },
    [](int exitCode) { exitLauncher(exitCode); }};

}  // namespace

bool launchJavaApplication(const ArgumentList& arguments) {
    launchArguments = &arguments;
    return launchJava(korvaneFlavour(), kLaunchCalls);
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
