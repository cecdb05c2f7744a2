#include "jni_env.h"

#include <jni.h>

#include <array>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "../standin_io.h"
#include "host_windows.h"
#include "jni_functions.h"
#include "vm.h"

namespace standin::jvm {
namespace {

// References and method IDs are numbers dressed as pointers: a launcher that dereferences
// one, or hands back one it never got, fails at once instead of reading memory.
constexpr Ref kInvalidRef = 0xFFFFFFFFu;
constexpr int kHandleShift = 4;

// JNIEnv_ is the table pointer alone; the owner beside it catches an env used on another
// thread.
struct StandinEnv {
    JNIEnv env;
    DWORD owner;
};

struct State {
    explicit State(HMODULE module)
        : module(module),
          host(module),
          vm(host, GetCurrentProcessId(), utf16(standin::modulePath(module))) {}
    HMODULE module;
    WindowsHost host;
    Vm vm;
    std::map<DWORD, std::unique_ptr<StandinEnv>> envs;
};

// Lives until the process ends: a launcher may call into the VM while the process exits.
State* state = nullptr;
SRWLOCK lock = SRWLOCK_INIT;
JNINativeInterface_ envTable{};
JNIInvokeInterface_ vmTable{};
JavaVM javaVm{&vmTable};

class Guard {
  public:
    Guard() { AcquireSRWLockExclusive(&lock); }
    ~Guard() { ReleaseSRWLockExclusive(&lock); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

template <class T = jobject>
T handle(std::uint32_t value) {
    return reinterpret_cast<T>(static_cast<std::uintptr_t>(value) << kHandleShift);
}

std::uint32_t number(const void* pointer) {
    auto value = reinterpret_cast<std::uintptr_t>(pointer);
    if ((value & ((1u << kHandleShift) - 1)) != 0) return kInvalidRef;
    if (static_cast<std::uint64_t>(value >> kHandleShift) >= kInvalidRef) return kInvalidRef;
    return static_cast<std::uint32_t>(value >> kHandleShift);
}

std::uint32_t currentThread() {
    return GetCurrentThreadId();
}

JNIEnv* envFor(DWORD thread) {
    auto& env = state->envs[thread];
    if (!env) env = std::make_unique<StandinEnv>(StandinEnv{JNIEnv{&envTable}, thread});
    return &env->env;
}

[[noreturn]] void blockForever() {
    // The caller's guard never ends, so the lock is given up here.
    ReleaseSRWLockExclusive(&lock);
    while (true) Sleep(INFINITE);
}

std::uint32_t checkEnv(JNIEnv* env, const char* function) {
    std::uint32_t thread = currentThread();
    if (state->vm.blockedAfterDestroy(thread, function)) blockForever();
    for (const auto& [owner, known] : state->envs) {
        if (&known->env != env) continue;
        if (owner != thread) {
            state->vm.fail(thread, function,
                           "the JNIEnv of thread " + std::to_string(owner) + " is used on thread " +
                               std::to_string(thread));
        }
        return thread;
    }
    state->vm.fail(thread, function, "not a JNIEnv of this VM");
}

std::uint32_t checkVm(JavaVM* vm, const char* function) {
    std::uint32_t thread = currentThread();
    if (vm != &javaVm) state->vm.fail(thread, function, "not the JavaVM of this VM");
    return thread;
}

// ---------------------------------------------------------------------------------------
// What the stand-in leaves out: each entry names itself, records the call and ends the
// process, so that a launcher calling something unexpected fails loudly.

constexpr std::size_t kEnvSlots = sizeof(JNINativeInterface_) / sizeof(void*);

const std::array<const char*, kEnvSlots> kEnvNames = [] {
    std::array<const char*, kEnvSlots> names{};
#define STANDIN_NAME(function) \
    names[offsetof(JNINativeInterface_, function) / sizeof(void*)] = #function;
    STANDIN_JNI_ENV_FUNCTIONS(STANDIN_NAME)
#undef STANDIN_NAME
    return names;
}();

[[noreturn]] void reportUnimplemented(const char* name) {
    AcquireSRWLockExclusive(&lock);
    state->vm.unimplemented(currentThread(), name);
    state->host.appendLoadRecord(std::string("unimplemented ") + name);
    state->host.die(std::string("the launcher called JNIEnv->") + name +
                    ", which the stand-in does not implement");
}

template <std::size_t Slot>
void JNICALL unimplemented() {
    reportUnimplemented(kEnvNames[Slot]);
}

// ---------------------------------------------------------------------------------------
// JNIEnv

jint JNICALL envGetVersion(JNIEnv* env) {
    Guard guard;
    return state->vm.getVersion(checkEnv(env, "GetVersion"));
}

jclass JNICALL envFindClass(JNIEnv* env, const char* name) {
    Guard guard;
    return handle<jclass>(state->vm.findClass(checkEnv(env, "FindClass"), name));
}

jthrowable JNICALL envExceptionOccurred(JNIEnv* env) {
    Guard guard;
    return handle<jthrowable>(state->vm.exceptionOccurred(checkEnv(env, "ExceptionOccurred")));
}

void JNICALL envExceptionDescribe(JNIEnv* env) {
    Guard guard;
    state->vm.exceptionDescribe(checkEnv(env, "ExceptionDescribe"));
}

void JNICALL envExceptionClear(JNIEnv* env) {
    Guard guard;
    state->vm.exceptionClear(checkEnv(env, "ExceptionClear"));
}

jboolean JNICALL envExceptionCheck(JNIEnv* env) {
    Guard guard;
    return state->vm.exceptionCheck(checkEnv(env, "ExceptionCheck")) ? JNI_TRUE : JNI_FALSE;
}

void JNICALL envDeleteLocalRef(JNIEnv* env, jobject object) {
    Guard guard;
    state->vm.deleteLocalRef(checkEnv(env, "DeleteLocalRef"), number(object));
}

jmethodID JNICALL envGetStaticMethodID(JNIEnv* env, jclass cls, const char* name,
                                       const char* signature) {
    Guard guard;
    return handle<jmethodID>(state->vm.getStaticMethodId(checkEnv(env, "GetStaticMethodID"),
                                                         number(cls), name, signature));
}

jstring JNICALL envNewString(JNIEnv* env, const jchar* chars, jsize length) {
    Guard guard;
    std::uint32_t thread = checkEnv(env, "NewString");
    if (length < 0 || (chars == nullptr && length > 0)) {
        state->vm.fail(thread, "NewString", "a negative length or null characters");
    }
    std::u16string text(chars, chars + length);
    return handle<jstring>(state->vm.newString(thread, std::move(text)));
}

jsize JNICALL envGetStringLength(JNIEnv* env, jstring string) {
    Guard guard;
    return state->vm.stringLength(checkEnv(env, "GetStringLength"), number(string));
}

const jchar* JNICALL envGetStringChars(JNIEnv* env, jstring string, jboolean* isCopy) {
    Guard guard;
    const char16_t* chars =
        state->vm.getStringChars(checkEnv(env, "GetStringChars"), number(string));
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    return reinterpret_cast<const jchar*>(chars);
}

void JNICALL envReleaseStringChars(JNIEnv* env, jstring string, const jchar* chars) {
    Guard guard;
    state->vm.releaseStringChars(checkEnv(env, "ReleaseStringChars"), number(string),
                                 reinterpret_cast<const char16_t*>(chars));
}

jsize JNICALL envGetArrayLength(JNIEnv* env, jarray array) {
    Guard guard;
    return state->vm.arrayLength(checkEnv(env, "GetArrayLength"), number(array));
}

jobjectArray JNICALL envNewObjectArray(JNIEnv* env, jsize length, jclass element, jobject initial) {
    Guard guard;
    return handle<jobjectArray>(state->vm.newObjectArray(checkEnv(env, "NewObjectArray"), length,
                                                         number(element), number(initial)));
}

void JNICALL envSetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject value) {
    Guard guard;
    state->vm.setObjectArrayElement(checkEnv(env, "SetObjectArrayElement"), number(array), index,
                                    number(value));
}

// The application's window for -Dstandin.main=window:<ms>, with a message loop on the
// calling thread as a Swing or AWT main thread would have.
bool runWindow(DWORD milliseconds) {
    static const wchar_t kClassName[] = L"TesmoStandinApplication";
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = state->module;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, kClassName, L"tesmo stand-in application",
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                  480, 240, nullptr, nullptr, state->module, nullptr);
    if (window == nullptr) return false;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    bool visible = IsWindowVisible(window) != FALSE;
    ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now),
                                  QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    if (IsWindow(window)) DestroyWindow(window);
    return visible;
}

// Runs outside the lock: other threads (a splash screen's) keep calling in meanwhile.
void perform(std::uint32_t thread, const Action& action) {
    if (!action.waitFor.empty()) {
        std::wstring path = wide(state->host.decodeOption(action.waitFor));
        while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(20);
    }
    std::optional<bool> windowShown;
    switch (action.kind) {
        case Action::Kind::Exit: {
            {
                Guard guard;
                state->vm.recordExit(thread, action.value);
            }
            state->host.exitProcess(static_cast<long>(action.value));
        }
        case Action::Kind::Window:
            windowShown = runWindow(static_cast<DWORD>(action.value));
            break;
        case Action::Kind::Sleep:
            Sleep(static_cast<DWORD>(action.value));
            break;
        case Action::Kind::None:
            break;
    }
    Guard guard;
    state->vm.callReturned(thread, windowShown);
}

template <class FirstObject>
Vm::CallResult callStatic(JNIEnv* env, const char* function, Vm::CallKind kind, jclass cls,
                          jmethodID method, FirstObject firstObject) {
    std::uint32_t thread = 0;
    Vm::CallResult result;
    {
        Guard guard;
        thread = checkEnv(env, function);
        std::string descriptor = state->vm.methodDescriptor(thread, function, number(method));
        // Only a method taking an object first has an argument the stand-in looks at.
        Ref argument = 0;
        if (descriptor.size() > 1 && (descriptor[1] == 'L' || descriptor[1] == '[')) {
            argument = number(firstObject());
        }
        result = state->vm.callStatic(thread, kind, number(cls), number(method), argument);
    }
    perform(thread, result.action);
    return result;
}

void JNICALL envCallStaticVoidMethod(JNIEnv* env, jclass cls, jmethodID method, ...) {
    va_list arguments;
    va_start(arguments, method);
    callStatic(env, "CallStaticVoidMethod", Vm::CallKind::Void, cls, method,
               [&] { return va_arg(arguments, jobject); });
    va_end(arguments);
}

void JNICALL envCallStaticVoidMethodV(JNIEnv* env, jclass cls, jmethodID method,
                                      va_list arguments) {
    callStatic(env, "CallStaticVoidMethodV", Vm::CallKind::Void, cls, method,
               [&] { return va_arg(arguments, jobject); });
}

void JNICALL envCallStaticVoidMethodA(JNIEnv* env, jclass cls, jmethodID method,
                                      const jvalue* arguments) {
    callStatic(env, "CallStaticVoidMethodA", Vm::CallKind::Void, cls, method,
               [&] { return arguments != nullptr ? arguments[0].l : nullptr; });
}

jboolean JNICALL envCallStaticBooleanMethod(JNIEnv* env, jclass cls, jmethodID method, ...) {
    va_list arguments;
    va_start(arguments, method);
    bool result =
        callStatic(env, "CallStaticBooleanMethod", Vm::CallKind::Boolean, cls, method, [&] {
            return va_arg(arguments, jobject);
        }).value;
    va_end(arguments);
    return result ? JNI_TRUE : JNI_FALSE;
}

jboolean JNICALL envCallStaticBooleanMethodV(JNIEnv* env, jclass cls, jmethodID method,
                                             va_list arguments) {
    return callStatic(
               env, "CallStaticBooleanMethodV", Vm::CallKind::Boolean, cls, method,
               [&] {
                   return va_arg(arguments, jobject);
               }).value
               ? JNI_TRUE
               : JNI_FALSE;
}

jboolean JNICALL envCallStaticBooleanMethodA(JNIEnv* env, jclass cls, jmethodID method,
                                             const jvalue* arguments) {
    return callStatic(
               env, "CallStaticBooleanMethodA", Vm::CallKind::Boolean, cls, method,
               [&] {
                   return arguments != nullptr ? arguments[0].l : nullptr;
               }).value
               ? JNI_TRUE
               : JNI_FALSE;
}

jint JNICALL envCallStaticIntMethod(JNIEnv* env, jclass cls, jmethodID method, ...) {
    va_list arguments;
    va_start(arguments, method);
    jint result = callStatic(env, "CallStaticIntMethod", Vm::CallKind::Int, cls, method, [&] {
                      return va_arg(arguments, jobject);
                  }).integer;
    va_end(arguments);
    return result;
}

jint JNICALL envCallStaticIntMethodV(JNIEnv* env, jclass cls, jmethodID method, va_list arguments) {
    return callStatic(env, "CallStaticIntMethodV", Vm::CallKind::Int, cls, method,
                      [&] { return va_arg(arguments, jobject); })
        .integer;
}

jint JNICALL envCallStaticIntMethodA(JNIEnv* env, jclass cls, jmethodID method,
                                     const jvalue* arguments) {
    return callStatic(env, "CallStaticIntMethodA", Vm::CallKind::Int, cls, method,
                      [&] { return arguments != nullptr ? arguments[0].l : nullptr; })
        .integer;
}

jobject JNICALL envCallStaticObjectMethod(JNIEnv* env, jclass cls, jmethodID method, ...) {
    va_list arguments;
    va_start(arguments, method);
    Ref result = callStatic(env, "CallStaticObjectMethod", Vm::CallKind::Object, cls, method, [&] {
                     return va_arg(arguments, jobject);
                 }).object;
    va_end(arguments);
    return handle(result);
}

jobject JNICALL envCallStaticObjectMethodV(JNIEnv* env, jclass cls, jmethodID method,
                                           va_list arguments) {
    return handle(
        callStatic(env, "CallStaticObjectMethodV", Vm::CallKind::Object, cls, method, [&] {
            return va_arg(arguments, jobject);
        }).object);
}

jobject JNICALL envCallStaticObjectMethodA(JNIEnv* env, jclass cls, jmethodID method,
                                           const jvalue* arguments) {
    return handle(
        callStatic(env, "CallStaticObjectMethodA", Vm::CallKind::Object, cls, method, [&] {
            return arguments != nullptr ? arguments[0].l : nullptr;
        }).object);
}

// ---------------------------------------------------------------------------------------
// JavaVM

jint JNICALL vmDestroyJavaVM(JavaVM* vm) {
    Guard guard;
    return state->vm.destroy(checkVm(vm, "DestroyJavaVM"));
}

jint attach(JavaVM* vm, void** penv, void* rawArguments, bool daemon) {
    Guard guard;
    const char* function = daemon ? "AttachCurrentThreadAsDaemon" : "AttachCurrentThread";
    std::uint32_t thread = checkVm(vm, function);
    if (penv == nullptr) state->vm.fail(thread, function, "penv is null");
    auto* arguments = static_cast<JavaVMAttachArgs*>(rawArguments);
    int result = state->vm.attach(thread, daemon, arguments != nullptr ? arguments->version : 0,
                                  arguments != nullptr ? arguments->name : nullptr);
    *penv = result == kJniOk ? envFor(thread) : nullptr;
    return result;
}

jint JNICALL vmAttachCurrentThread(JavaVM* vm, void** penv, void* arguments) {
    return attach(vm, penv, arguments, false);
}

jint JNICALL vmAttachCurrentThreadAsDaemon(JavaVM* vm, void** penv, void* arguments) {
    return attach(vm, penv, arguments, true);
}

jint JNICALL vmDetachCurrentThread(JavaVM* vm) {
    Guard guard;
    return state->vm.detach(checkVm(vm, "DetachCurrentThread"));
}

jint JNICALL vmGetEnv(JavaVM* vm, void** penv, jint version) {
    Guard guard;
    std::uint32_t thread = checkVm(vm, "GetEnv");
    if (penv == nullptr) state->vm.fail(thread, "GetEnv", "penv is null");
    int result = state->vm.getEnv(thread, version);
    *penv = result == kJniOk ? envFor(thread) : nullptr;
    return result;
}

void fillTables() {
    // reinterpret_cast between function types is deliberate here: the entries never return.
#define STANDIN_UNIMPLEMENTED(function)                                \
    envTable.function = reinterpret_cast<decltype(envTable.function)>( \
        &unimplemented<offsetof(JNINativeInterface_, function) / sizeof(void*)>);
    STANDIN_JNI_ENV_FUNCTIONS(STANDIN_UNIMPLEMENTED)
#undef STANDIN_UNIMPLEMENTED
    envTable.GetVersion = envGetVersion;
    envTable.FindClass = envFindClass;
    envTable.ExceptionOccurred = envExceptionOccurred;
    envTable.ExceptionDescribe = envExceptionDescribe;
    envTable.ExceptionClear = envExceptionClear;
    envTable.ExceptionCheck = envExceptionCheck;
    envTable.DeleteLocalRef = envDeleteLocalRef;
    envTable.GetStaticMethodID = envGetStaticMethodID;
    envTable.CallStaticVoidMethod = envCallStaticVoidMethod;
    envTable.CallStaticVoidMethodV = envCallStaticVoidMethodV;
    envTable.CallStaticVoidMethodA = envCallStaticVoidMethodA;
    envTable.CallStaticBooleanMethod = envCallStaticBooleanMethod;
    envTable.CallStaticBooleanMethodV = envCallStaticBooleanMethodV;
    envTable.CallStaticBooleanMethodA = envCallStaticBooleanMethodA;
    envTable.CallStaticIntMethod = envCallStaticIntMethod;
    envTable.CallStaticIntMethodV = envCallStaticIntMethodV;
    envTable.CallStaticIntMethodA = envCallStaticIntMethodA;
    envTable.CallStaticObjectMethod = envCallStaticObjectMethod;
    envTable.CallStaticObjectMethodV = envCallStaticObjectMethodV;
    envTable.CallStaticObjectMethodA = envCallStaticObjectMethodA;
    envTable.NewString = envNewString;
    envTable.GetStringLength = envGetStringLength;
    envTable.GetStringChars = envGetStringChars;
    envTable.ReleaseStringChars = envReleaseStringChars;
    envTable.GetArrayLength = envGetArrayLength;
    envTable.NewObjectArray = envNewObjectArray;
    envTable.SetObjectArrayElement = envSetObjectArrayElement;

    vmTable.DestroyJavaVM = vmDestroyJavaVM;
    vmTable.AttachCurrentThread = vmAttachCurrentThread;
    vmTable.DetachCurrentThread = vmDetachCurrentThread;
    vmTable.GetEnv = vmGetEnv;
    vmTable.AttachCurrentThreadAsDaemon = vmAttachCurrentThreadAsDaemon;

    // The four reserved entries lead the table; every other one must be set.
    std::array<void*, kEnvSlots> slots{};
    std::memcpy(slots.data(), &envTable, sizeof envTable);
    for (std::size_t slot = 4; slot < kEnvSlots; ++slot) {
        if (slots[slot] == nullptr || kEnvNames[slot] == nullptr) {
            state->host.die("JNIEnv table entry " + std::to_string(slot) + " is not set");
        }
    }
}

}  // namespace

int createJavaVm(HMODULE module, void** vm, void** env, void* rawArguments) {
    Guard guard;
    if (state == nullptr) {
        state = new State(module);
        fillTables();
    }
    std::uint32_t thread = currentThread();
    auto* arguments = static_cast<JavaVMInitArgs*>(rawArguments);
    CreateArguments given;
    Hooks hooks;
    if (arguments != nullptr) {
        given.present = true;
        given.version = arguments->version;
        given.optionCount = arguments->nOptions;
        given.optionsPresent = arguments->options != nullptr;
        given.ignoreUnrecognized = arguments->ignoreUnrecognized != JNI_FALSE;
        for (jint i = 0; arguments->options != nullptr && i < arguments->nOptions; ++i) {
            const JavaVMOption& option = arguments->options[i];
            if (option.optionString == nullptr) {
                given.options.emplace_back();
                continue;
            }
            std::string text = option.optionString;
            given.options.emplace_back(text);
            if (text == "vfprintf") {
                hooks.vfprintf = reinterpret_cast<decltype(hooks.vfprintf)>(option.extraInfo);
            } else if (text == "exit") {
                hooks.exit = reinterpret_cast<decltype(hooks.exit)>(option.extraInfo);
            } else if (text == "abort") {
                hooks.abort = reinterpret_cast<decltype(hooks.abort)>(option.extraInfo);
            }
        }
    }
    if (!state->vm.created()) state->host.hooks() = hooks;
    int result = state->vm.create(given, thread);
    // As a VM does, a refused second VM leaves the caller's pointers alone.
    if (result != kJniExists) {
        if (vm != nullptr) *vm = result == kJniOk ? &javaVm : nullptr;
        if (env != nullptr) *env = result == kJniOk ? envFor(thread) : nullptr;
    }
    return result;
}

}  // namespace standin::jvm
