#include "vm.h"

#include <jni.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <map>
#include <memory>
#include <utility>

#include "../standin_io.h"
#include "classes.h"
#include "record.h"

namespace standin::jvm {
namespace {

constexpr std::string_view kMainDescriptor = "([Ljava/lang/String;)V";
constexpr std::string_view kControllerClass = "com/tesmo/runtime/TesmoController";
constexpr const char* kWrappers[] = {"com/tesmo/runtime/WinLauncher",
                                     "com/korvane/runtime/launcher/WinLauncher"};
// Larger heaps fail creation, as a VM fails when it cannot reserve the heap.
constexpr std::uint64_t kMaxHeap = 64ull << 30;

// References and method IDs are numbers dressed as pointers: a launcher that dereferences
// one, or hands back one it never got, fails at once instead of reading memory.
constexpr int kHandleShift = 4;

struct Object {
    enum class Kind { Class, String, Array, Throwable };
    Kind kind = Kind::String;
    // The class's own name for a class, the element class for an array, else its class.
    std::string className;
    const ClassFound* type = nullptr;
    std::wstring text;
    bool hasText = false;
    std::vector<std::shared_ptr<Object>> elements;
};
using ObjectPtr = std::shared_ptr<Object>;

struct Thread {
    std::wstring name;
    bool daemon = false;
    bool attached = false;
    // A daemon still attached when the VM was destroyed: a real VM blocks it for good when
    // it calls in again, rather than let it run in a VM that is gone.
    bool abandoned = false;
    ObjectPtr pending;
};

struct LocalRef {
    ObjectPtr object;
    DWORD thread = 0;
};

struct Method {
    const ClassFound* owner = nullptr;
    std::string ownerName;
    MethodInfo info;
};

// JNIEnv_ is the table pointer alone; the owner beside it catches an env used on another
// thread.
struct StandinEnv {
    JNIEnv env;
    DWORD owner;
};

enum class Behaviour { Return, Throw, Window, Sleep };

struct SplashStep {
    std::optional<int> action;  // nothing: wait until `text` names an existing file
    std::optional<std::string> text;
};

struct State {
    HMODULE module = nullptr;
    std::wstring directory;
    // The record's parts; events are complete once written.
    std::optional<int> version;
    std::optional<bool> ignoreUnrecognized;
    std::vector<std::string> options;
    std::vector<std::wstring> classPath;
    std::optional<int> createResult;
    std::vector<std::string> events;

    bool created = false;
    bool destroyed = false;
    Behaviour behaviour = Behaviour::Return;
    std::string throwClass;
    long behaviourValue = 0;
    std::string mainWait;
    std::string firstRun = "true";
    std::vector<SplashStep> splash;
    std::size_t splashStep = 0;
    std::optional<std::string> splashText;
    std::vector<std::pair<ObjectPtr, std::unique_ptr<std::wstring>>> pinned;

    std::map<std::string, std::unique_ptr<ClassFound>, std::less<>> classes;
    std::map<DWORD, Thread> threads;
    std::map<std::uint32_t, LocalRef> refs;
    std::uint32_t nextRef = 1;
    std::vector<Method> methods;
    std::map<DWORD, std::unique_ptr<StandinEnv>> envs;
    int unnamedThreads = 0;
    const char* function = "";
};

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

std::wstring decode(std::string_view bytes, UINT codePage = CP_ACP) {
    if (bytes.empty()) return {};
    int size =
        MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), result.data(),
                        size);
    return result;
}

// Option strings are recorded byte by byte, each as the character of that number.
std::wstring latin1(std::string_view bytes) {
    std::wstring text;
    for (char byte : bytes) text += static_cast<wchar_t>(static_cast<unsigned char>(byte));
    return text;
}

std::string dotted(std::string name) {
    std::replace(name.begin(), name.end(), '/', '.');
    return name;
}

std::wstring dottedWide(std::string_view name) {
    return decode(dotted(std::string(name)), CP_UTF8);
}

// Written whole under another name and renamed over the record, so that a reader, or a
// process ended abruptly, never leaves half a document behind.
void persist() {
    JsonObject document;
    document.set("pid", GetCurrentProcessId());
    document.set("dll", standin::modulePath(state->module));
    document.raw("version", state->version ? std::to_string(*state->version) : "null");
    document.raw("ignoreUnrecognized", !state->ignoreUnrecognized   ? "null"
                                       : *state->ignoreUnrecognized ? "true"
                                                                    : "false");
    document.raw("options", jsonArray(state->options));
    std::vector<std::string> entries;
    for (const auto& entry : state->classPath) entries.push_back(jsonString(entry));
    document.raw("classPath", jsonArray(entries));
    document.raw("createResult",
                 state->createResult ? std::to_string(*state->createResult) : "null");
    document.raw("events", jsonArray(state->events));
    std::wstring path =
        state->directory + L"jvm-launch-" + std::to_wstring(GetCurrentProcessId()) + L".json";
    std::wstring temporary = path + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string text = document.text() + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// Appends {"call": call, "thread": <current>} with the fields `fill` adds.
template <class Fill>
void event(const char* call, Fill fill) {
    JsonObject added;
    added.set("call", decode(call));
    added.set("thread", GetCurrentThreadId());
    fill(added);
    state->events.push_back(added.text());
    persist();
}

void printError(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    standin::writeHandle(STD_ERROR_HANDLE, bytes);
}

// JNI has no error return for most misuse; a real VM then crashes or corrupts itself
// somewhere later. Here misuse ends the process at once, naming the function.
[[noreturn]] void fatal(const std::string& message) {
    std::string text = std::string(state->function) + ": " + message;
    event("fatal", [&](JsonObject& e) { e.set("message", decode(text, CP_UTF8)); });
    standin::appendLine(state->directory + L"jvm-record.txt", "fatal " + text);
    standin::writeHandle(STD_ERROR_HANDLE, "jvm stand-in: " + text + "\r\n");
    std::abort();
}

[[noreturn]] void blockForever() {
    // The caller's guard never ends, so the lock is given up here.
    ReleaseSRWLockExclusive(&lock);
    while (true) Sleep(INFINITE);
}

Thread& enter(JNIEnv* env, const char* function, bool pendingAllowed = false) {
    state->function = function;
    DWORD thread = GetCurrentThreadId();
    auto found = state->threads.find(thread);
    if (state->destroyed && found != state->threads.end() && found->second.abandoned) {
        event("blocked", [&](JsonObject& e) { e.set("function", decode(function)); });
        blockForever();
    }
    if (state->destroyed) fatal("called after DestroyJavaVM");
    auto known = std::find_if(state->envs.begin(), state->envs.end(),
                              [&](const auto& entry) { return &entry.second->env == env; });
    if (known == state->envs.end()) fatal("not a JNIEnv of this VM");
    if (known->first != thread) {
        fatal("the JNIEnv of thread " + std::to_string(known->first) + " is used on thread " +
              std::to_string(thread));
    }
    if (found == state->threads.end() || !found->second.attached) {
        fatal("called on a thread that is not attached to the VM");
    }
    if (!pendingAllowed && found->second.pending) {
        event("warning", [&](JsonObject& e) {
            e.set("function", decode(function));
            e.set("message", L"called with an exception pending");
        });
    }
    return found->second;
}

template <class T = jobject>
T handle(std::uint32_t value) {
    return reinterpret_cast<T>(static_cast<std::uintptr_t>(value) << kHandleShift);
}

std::uint32_t number(const void* pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer) >> kHandleShift);
}

jobject newRef(ObjectPtr object) {
    if (!object) return nullptr;
    std::uint32_t ref = state->nextRef++;
    state->refs[ref] = LocalRef{std::move(object), GetCurrentThreadId()};
    return handle(ref);
}

ObjectPtr deref(const void* ref) {
    if (ref == nullptr) return nullptr;
    auto found = state->refs.find(number(ref));
    if (found == state->refs.end() || handle(number(ref)) != ref) {
        fatal("invalid or deleted reference");
    }
    if (found->second.thread != GetCurrentThreadId()) {
        fatal("a local reference of thread " + std::to_string(found->second.thread));
    }
    return found->second.object;
}

ObjectPtr derefKind(const void* ref, Object::Kind kind, const char* what) {
    ObjectPtr object = deref(ref);
    if (!object) fatal(std::string("null where ") + what + " is required");
    if (object->kind != kind) fatal(std::string("the reference is not ") + what);
    return object;
}

void raise(Thread& thread, std::string className, std::optional<std::wstring> message) {
    auto throwable = std::make_shared<Object>();
    throwable->kind = Object::Kind::Throwable;
    throwable->className = std::move(className);
    throwable->hasText = message.has_value();
    if (message) throwable->text = std::move(*message);
    thread.pending = std::move(throwable);
}

ObjectPtr makeString(std::wstring text) {
    auto string = std::make_shared<Object>();
    string->className = "java/lang/String";
    string->text = std::move(text);
    string->hasText = true;
    return string;
}

// The classes every VM has before it reads the class path declare no static methods here.
const ClassFound* lookUp(std::string_view name,
                         std::vector<std::pair<std::wstring, std::string>>* problems = nullptr) {
    if (auto known = state->classes.find(name); known != state->classes.end()) {
        return known->second.get();
    }
    std::optional<ClassFound> found;
    if (name == "java/lang/Object" || name == "java/lang/String") {
        found = ClassFound{};
    } else {
        ClassSearch search = findClass(state->classPath, name);
        if (problems) *problems = std::move(search.problems);
        found = std::move(search.found);
    }
    if (!found) return nullptr;
    auto& slot = state->classes[std::string(name)];
    slot = std::make_unique<ClassFound>(std::move(*found));
    return slot.get();
}

// ---------------------------------------------------------------------------------------
// JNIEnv

jclass JNICALL findClass(JNIEnv* env, const char* name) {
    Guard guard;
    Thread& current = enter(env, "FindClass");
    if (name == nullptr) fatal("the name is null");
    std::vector<std::pair<std::wstring, std::string>> problems;
    const ClassFound* found = lookUp(name, &problems);
    event("FindClass", [&](JsonObject& e) {
        e.set("name", decode(name, CP_UTF8));
        e.set("found", found != nullptr);
        if (found) e.set("from", found->entry.empty() ? L"bootstrap" : found->entry);
        if (problems.empty()) return;
        std::vector<std::string> items;
        for (const auto& [entry, reason] : problems) {
            items.push_back(JsonObject().set("entry", entry).set("problem", decode(reason)).text());
        }
        e.raw("classPathProblems", jsonArray(items));
    });
    if (!found) {
        raise(current, "java/lang/NoClassDefFoundError", decode(name, CP_UTF8));
        return nullptr;
    }
    auto mirror = std::make_shared<Object>();
    mirror->kind = Object::Kind::Class;
    mirror->className = name;
    mirror->type = found;
    return static_cast<jclass>(newRef(std::move(mirror)));
}

jmethodID JNICALL getStaticMethodId(JNIEnv* env, jclass cls, const char* name,
                                    const char* signature) {
    Guard guard;
    Thread& current = enter(env, "GetStaticMethodID");
    ObjectPtr mirror = derefKind(cls, Object::Kind::Class, "a class");
    if (name == nullptr || signature == nullptr) fatal("the name or the signature is null");
    for (const MethodInfo& method : mirror->type->methods) {
        if (method.name == name && method.descriptor == signature && (method.access & kAccStatic)) {
            state->methods.push_back(Method{mirror->type, mirror->className, method});
            return handle<jmethodID>(static_cast<std::uint32_t>(state->methods.size()));
        }
    }
    raise(current, "java/lang/NoSuchMethodError", decode(name, CP_UTF8));
    return nullptr;
}

// What the wrapper needs before it can start the application named in args[1].
std::wstring checkApplication(const ObjectPtr& args) {
    if (!args || args->elements.size() < 2 || !args->elements[1]) return L"no application class";
    std::string name(args->elements[1]->text.begin(), args->elements[1]->text.end());
    std::replace(name.begin(), name.end(), '.', '/');
    const ClassFound* found = lookUp(name);
    if (!found) return L"the application class is not on the class path";
    for (const MethodInfo& method : found->methods) {
        if (method.name == "main" && method.descriptor == kMainDescriptor &&
            (method.access & (kAccPublic | kAccStatic)) == (kAccPublic | kAccStatic)) {
            return L"ok";
        }
    }
    return L"the application class declares no public static void main(String[])";
}

int nextSplashAction() {
    state->splashText.reset();
    while (state->splashStep < state->splash.size()) {
        const SplashStep& step = state->splash[state->splashStep];
        if (!step.action) {
            if (GetFileAttributesW(decode(*step.text).c_str()) == INVALID_FILE_ATTRIBUTES) return 0;
            ++state->splashStep;
            continue;
        }
        ++state->splashStep;
        state->splashText = step.text;
        return *step.action;
    }
    return 0;
}

// The application's window for -Dstandin.main=window:<ms>, with a message loop on the
// calling thread as a Swing or AWT main thread would have.
void runWindow(DWORD milliseconds) {
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
    if (window == nullptr) return;
    ShowWindow(window, SW_SHOWNORMAL);
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
}

// main's behaviour runs outside the lock: other threads (a splash screen's) keep calling in.
void perform(const std::string& waitFor, Behaviour behaviour, long value) {
    if (!waitFor.empty()) {
        std::wstring path = decode(waitFor);
        while (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(20);
    }
    if (behaviour == Behaviour::Window) runWindow(static_cast<DWORD>(value));
    if (behaviour == Behaviour::Sleep) Sleep(static_cast<DWORD>(value));
}

struct CallResult {
    bool value = false;
    jint integer = 0;
    jobject object = nullptr;
};

// Only the va_list forms: jni.h's C++ methods, which the launcher calls, lead to them.
CallResult callStatic(JNIEnv* env, const char* function, char returns, jclass cls,
                      jmethodID methodId, va_list arguments) {
    std::string waitFor;
    Behaviour behaviour = Behaviour::Return;
    long value = 0;
    CallResult result;
    {
        Guard guard;
        Thread& current = enter(env, function);
        ObjectPtr mirror = derefKind(cls, Object::Kind::Class, "a class");
        std::uint32_t index = number(methodId);
        if (index == 0 || index > state->methods.size() || handle<jmethodID>(index) != methodId) {
            fatal("an invalid method ID");
        }
        const Method& method = state->methods[index - 1];
        if (method.owner != mirror->type) fatal("the method belongs to another class");
        const std::string& descriptor = method.info.descriptor;
        std::string_view type = std::string_view(descriptor).substr(descriptor.find(')') + 1);
        if (returns == 'L' ? type[0] != 'L' && type[0] != '[' : type[0] != returns) {
            event("warning", [&](JsonObject& e) {
                e.set("function", decode(function));
                e.set("message", L"the method returns " + decode(type));
            });
        }
        std::wstring owner = dottedWide(method.ownerName);
        if (method.info.name == "main" && descriptor == kMainDescriptor) {
            ObjectPtr args = deref(va_arg(arguments, jobject));
            if (args && args->kind != Object::Kind::Array)
                fatal("the argument of main is no array");
            standin::appendLine(state->directory + L"jvm-main.txt", "main");
            bool wrapper = std::find(std::begin(kWrappers), std::end(kWrappers),
                                     method.ownerName) != std::end(kWrappers);
            event("main", [&](JsonObject& e) {
                e.set("class", owner);
                std::vector<std::string> items;
                for (const auto& element : args ? args->elements : std::vector<ObjectPtr>{}) {
                    items.push_back(element ? jsonString(element->text) : "null");
                }
                e.raw("args", args ? jsonArray(items) : "null");
                if (wrapper) e.set("check", checkApplication(args));
            });
            if (state->behaviour == Behaviour::Throw) {
                raise(current, state->throwClass, L"thrown by the stand-in");
            }
            waitFor = state->mainWait;
            behaviour = state->behaviour;
            value = state->behaviourValue;
        } else if (method.info.name == "firstRun" && descriptor == "()Z") {
            bool threw = state->firstRun.starts_with("throw");
            if (threw) {
                std::string thrown = state->firstRun.size() > 6 ? state->firstRun.substr(6)
                                                                : "java.lang.IllegalStateException";
                std::replace(thrown.begin(), thrown.end(), '.', '/');
                raise(current, thrown, L"thrown by the stand-in");
            }
            result.value = state->firstRun == "true";
            event("firstRun", [&](JsonObject& e) {
                e.set("class", owner);
                e.raw("result", threw ? "null" : result.value ? "true" : "false");
            });
        } else {
            bool controller = method.ownerName == kControllerClass;
            std::optional<std::wstring> text;
            if (controller && method.info.name == "getAction" && descriptor == "()I") {
                result.integer = nextSplashAction();
            } else if (controller && method.info.name == "getText") {
                if (state->splashText) text = decode(*state->splashText);
                state->splashText.reset();
                if (text) result.object = newRef(makeString(*text));
            }
            event("CallStaticMethod", [&](JsonObject& e) {
                e.set("class", owner);
                e.set("name", decode(method.info.name, CP_UTF8));
                e.set("signature", decode(descriptor, CP_UTF8));
                if (returns == 'I') e.set("result", result.integer);
                if (returns == 'L') e.maybe("result", text);
            });
        }
    }
    perform(waitFor, behaviour, value);
    return result;
}

void JNICALL callStaticVoid(JNIEnv* env, jclass cls, jmethodID method, va_list arguments) {
    callStatic(env, "CallStaticVoidMethodV", 'V', cls, method, arguments);
}

jboolean JNICALL callStaticBoolean(JNIEnv* env, jclass cls, jmethodID method, va_list arguments) {
    return callStatic(env, "CallStaticBooleanMethodV", 'Z', cls, method, arguments).value
               ? JNI_TRUE
               : JNI_FALSE;
}

jint JNICALL callStaticInt(JNIEnv* env, jclass cls, jmethodID method, va_list arguments) {
    return callStatic(env, "CallStaticIntMethodV", 'I', cls, method, arguments).integer;
}

jobject JNICALL callStaticObject(JNIEnv* env, jclass cls, jmethodID method, va_list arguments) {
    return callStatic(env, "CallStaticObjectMethodV", 'L', cls, method, arguments).object;
}

jthrowable JNICALL exceptionOccurred(JNIEnv* env) {
    Guard guard;
    return static_cast<jthrowable>(newRef(enter(env, "ExceptionOccurred", true).pending));
}

jboolean JNICALL exceptionCheck(JNIEnv* env) {
    Guard guard;
    return enter(env, "ExceptionCheck", true).pending ? JNI_TRUE : JNI_FALSE;
}

void JNICALL exceptionClear(JNIEnv* env) {
    Guard guard;
    enter(env, "ExceptionClear", true).pending.reset();
}

void JNICALL exceptionDescribe(JNIEnv* env) {
    Guard guard;
    Thread& current = enter(env, "ExceptionDescribe", true);
    if (!current.pending) return;
    ObjectPtr pending = std::move(current.pending);
    current.pending.reset();
    std::wstring line =
        L"Exception in thread \"" + current.name + L"\" " + dottedWide(pending->className);
    if (pending->hasText) line += L": " + pending->text;
    printError(line + L"\r\n");
}

void JNICALL deleteLocalRef(JNIEnv* env, jobject ref) {
    Guard guard;
    enter(env, "DeleteLocalRef", true);
    if (ref == nullptr) return;
    deref(ref);
    state->refs.erase(number(ref));
}

jstring JNICALL newString(JNIEnv* env, const jchar* chars, jsize length) {
    Guard guard;
    enter(env, "NewString");
    if (length < 0 || (chars == nullptr && length > 0)) fatal("a negative length or no characters");
    return static_cast<jstring>(newRef(makeString(std::wstring(chars, chars + length))));
}

jsize JNICALL getStringLength(JNIEnv* env, jstring string) {
    Guard guard;
    enter(env, "GetStringLength");
    return static_cast<jsize>(derefKind(string, Object::Kind::String, "a string")->text.size());
}

const jchar* JNICALL getStringChars(JNIEnv* env, jstring string, jboolean* isCopy) {
    Guard guard;
    enter(env, "GetStringChars");
    ObjectPtr object = derefKind(string, Object::Kind::String, "a string");
    // Not terminated, as a VM's characters need not be: a caller must go by the length.
    auto chars = std::make_unique<std::wstring>(object->text + L'\uFFFF');
    const jchar* handedOut = reinterpret_cast<const jchar*>(chars->data());
    state->pinned.emplace_back(object, std::move(chars));
    event("GetStringChars", [&](JsonObject& e) { e.set("string", object->text); });
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    return handedOut;
}

void JNICALL releaseStringChars(JNIEnv* env, jstring string, const jchar* chars) {
    Guard guard;
    enter(env, "ReleaseStringChars", true);
    ObjectPtr object = derefKind(string, Object::Kind::String, "a string");
    auto found = std::find_if(state->pinned.begin(), state->pinned.end(), [&](const auto& pinned) {
        return reinterpret_cast<const jchar*>(pinned.second->data()) == chars;
    });
    if (found == state->pinned.end()) fatal("characters that GetStringChars did not hand out");
    if (found->first != object) fatal("the characters belong to another string");
    state->pinned.erase(found);
    event("ReleaseStringChars",
          [&](JsonObject& e) { e.set("pinned", static_cast<int>(state->pinned.size())); });
}

jobjectArray JNICALL newObjectArray(JNIEnv* env, jsize length, jclass elementClass,
                                    jobject initial) {
    Guard guard;
    Thread& current = enter(env, "NewObjectArray");
    ObjectPtr element = derefKind(elementClass, Object::Kind::Class, "a class");
    ObjectPtr fill = deref(initial);
    if (length < 0) {
        raise(current, "java/lang/NegativeArraySizeException", std::to_wstring(length));
        return nullptr;
    }
    auto array = std::make_shared<Object>();
    array->kind = Object::Kind::Array;
    array->className = element->className;
    array->elements.assign(static_cast<std::size_t>(length), fill);
    return static_cast<jobjectArray>(newRef(std::move(array)));
}

void JNICALL setObjectArrayElement(JNIEnv* env, jobjectArray arrayRef, jsize index,
                                   jobject valueRef) {
    Guard guard;
    Thread& current = enter(env, "SetObjectArrayElement");
    ObjectPtr array = derefKind(arrayRef, Object::Kind::Array, "an array");
    ObjectPtr value = deref(valueRef);
    if (index < 0 || static_cast<std::size_t>(index) >= array->elements.size()) {
        raise(current, "java/lang/ArrayIndexOutOfBoundsException", std::to_wstring(index));
        return;
    }
    if (value && array->className != "java/lang/Object" && value->className != array->className) {
        raise(current, "java/lang/ArrayStoreException", dottedWide(value->className));
        return;
    }
    array->elements[static_cast<std::size_t>(index)] = std::move(value);
}

// ---------------------------------------------------------------------------------------
// What the stand-in leaves out: each entry records the call by its slot in the table and
// ends the process, so that a launcher calling something unexpected fails loudly.

template <std::size_t Slot, bool Env>
void JNICALL unimplemented() {
    AcquireSRWLockExclusive(&lock);
    state->function = "unimplemented";
    std::string name = std::string(Env ? "JNIEnv" : "JavaVM") + " slot " + std::to_string(Slot);
    event("unimplemented", [&](JsonObject& e) { e.set("name", decode(name)); });
    standin::appendLine(state->directory + L"jvm-record.txt", "unimplemented " + name);
    fatal("the launcher called " + name + ", which the stand-in does not implement");
}

template <bool Env, class Table, std::size_t... Slots>
void fillUnimplemented(Table& table, std::index_sequence<Slots...>) {
    void** slots = reinterpret_cast<void**>(&table);
    ((slots[Slots] = reinterpret_cast<void*>(&unimplemented<Slots, Env>)), ...);
}

// ---------------------------------------------------------------------------------------
// JavaVM

DWORD checkVm(JavaVM* vm, const char* function) {
    state->function = function;
    if (vm != &javaVm) fatal("not the JavaVM of this VM");
    return GetCurrentThreadId();
}

JNIEnv* envFor(DWORD thread) {
    auto& env = state->envs[thread];
    if (!env) env = std::make_unique<StandinEnv>(StandinEnv{JNIEnv{&envTable}, thread});
    return &env->env;
}

jint JNICALL destroyJavaVm(JavaVM* vm) {
    Guard guard;
    DWORD thread = checkVm(vm, "DestroyJavaVM");
    if (!state->created || state->destroyed) fatal("no VM to destroy");
    // A real VM waits here for every other non-daemon thread still attached.
    std::vector<std::string> waited;
    for (auto& [id, other] : state->threads) {
        if (id != thread && other.attached && !other.daemon) waited.push_back(std::to_string(id));
        if (id != thread && other.attached && other.daemon) other.abandoned = true;
        other.attached = false;
    }
    state->destroyed = true;
    state->refs.clear();
    event("DestroyJavaVM", [&](JsonObject& e) {
        e.raw("attachedThreads", jsonArray(waited));
        e.set("result", JNI_OK);
    });
    return JNI_OK;
}

jint attach(JavaVM* vm, void** penv, void* rawArguments, bool daemon) {
    Guard guard;
    const char* function = daemon ? "AttachCurrentThreadAsDaemon" : "AttachCurrentThread";
    DWORD thread = checkVm(vm, function);
    if (penv == nullptr) fatal("penv is null");
    if (!state->created || state->destroyed) fatal("no VM to attach to");
    auto* arguments = static_cast<JavaVMAttachArgs*>(rawArguments);
    Thread& attached = state->threads[thread];
    if (!attached.attached) {
        attached = Thread{};
        attached.attached = true;
        attached.daemon = daemon;
        attached.name = arguments && arguments->name
                            ? decode(arguments->name, CP_UTF8)
                            : L"Thread-" + std::to_wstring(state->unnamedThreads++);
    }
    event(function, [&](JsonObject& e) {
        e.set("name", attached.name);
        e.set("result", JNI_OK);
    });
    *penv = envFor(thread);
    return JNI_OK;
}

jint JNICALL attachCurrentThread(JavaVM* vm, void** penv, void* arguments) {
    return attach(vm, penv, arguments, false);
}

jint JNICALL attachCurrentThreadAsDaemon(JavaVM* vm, void** penv, void* arguments) {
    return attach(vm, penv, arguments, true);
}

jint JNICALL detachCurrentThread(JavaVM* vm) {
    Guard guard;
    DWORD thread = checkVm(vm, "DetachCurrentThread");
    auto found = state->threads.find(thread);
    jint result = JNI_EDETACHED;
    if (!state->created || state->destroyed) {
        result = JNI_ERR;
    } else if (found != state->threads.end() && found->second.attached) {
        found->second = Thread{};
        std::erase_if(state->refs,
                      [&](const auto& entry) { return entry.second.thread == thread; });
        result = JNI_OK;
    }
    event("DetachCurrentThread", [&](JsonObject& e) { e.set("result", result); });
    return result;
}

void fillTables() {
    fillUnimplemented<true>(envTable, std::make_index_sequence<sizeof(envTable) / sizeof(void*)>());
    fillUnimplemented<false>(vmTable, std::make_index_sequence<sizeof(vmTable) / sizeof(void*)>());
    envTable.FindClass = findClass;
    envTable.GetStaticMethodID = getStaticMethodId;
    envTable.CallStaticVoidMethodV = callStaticVoid;
    envTable.CallStaticBooleanMethodV = callStaticBoolean;
    envTable.CallStaticIntMethodV = callStaticInt;
    envTable.CallStaticObjectMethodV = callStaticObject;
    envTable.ExceptionOccurred = exceptionOccurred;
    envTable.ExceptionCheck = exceptionCheck;
    envTable.ExceptionClear = exceptionClear;
    envTable.ExceptionDescribe = exceptionDescribe;
    envTable.DeleteLocalRef = deleteLocalRef;
    envTable.NewString = newString;
    envTable.GetStringLength = getStringLength;
    envTable.GetStringChars = getStringChars;
    envTable.ReleaseStringChars = releaseStringChars;
    envTable.NewObjectArray = newObjectArray;
    envTable.SetObjectArrayElement = setObjectArrayElement;
    vmTable.DestroyJavaVM = destroyJavaVm;
    vmTable.AttachCurrentThread = attachCurrentThread;
    vmTable.AttachCurrentThreadAsDaemon = attachCurrentThreadAsDaemon;
    vmTable.DetachCurrentThread = detachCurrentThread;
}

// ---------------------------------------------------------------------------------------
// Creation

std::optional<long> parseNumber(std::string_view text) {
    long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// "-Xmx" sizes: digits with an optional k, m, g or t; nothing when malformed.
std::optional<std::uint64_t> parseHeap(std::string_view text) {
    std::size_t digits = text.find_first_not_of("0123456789");
    if (digits == 0) return std::nullopt;
    if (digits == std::string_view::npos) digits = text.size();
    std::uint64_t value = 0;
    std::from_chars(text.data(), text.data() + digits, value);
    if (text.size() == digits) return value;
    std::size_t unit = std::string_view("kmgt").find(char(text[digits] | 0x20));
    if (text.size() != digits + 1 || unit == std::string_view::npos) return std::nullopt;
    return value << (10 * (unit + 1));
}

// The behaviours a test asks for with -Dstandin.* options; the problem when one is unknown.
std::string readOption(std::string_view option, std::optional<std::uint64_t>& heap) {
    auto value = [&](std::string_view prefix) -> std::optional<std::string_view> {
        if (!option.starts_with(prefix)) return std::nullopt;
        return option.substr(prefix.size());
    };
    if (auto path = value("-Djava.class.path=")) {
        state->classPath.clear();
        std::wstring entries = decode(*path);
        for (std::size_t start = 0; start <= entries.size();) {
            std::size_t end = std::min(entries.find(L';', start), entries.size());
            if (end > start) state->classPath.push_back(entries.substr(start, end - start));
            start = end + 1;
        }
    } else if (auto main = value("-Dstandin.main=")) {
        std::size_t colon = main->find(':');
        std::string_view kind = main->substr(0, colon);
        std::string_view argument = colon == std::string_view::npos ? "" : main->substr(colon + 1);
        auto number = parseNumber(argument);
        if (*main == "return") {
            state->behaviour = Behaviour::Return;
        } else if (kind == "throw" && !argument.empty()) {
            state->behaviour = Behaviour::Throw;
            state->throwClass = std::string(argument);
            std::replace(state->throwClass.begin(), state->throwClass.end(), '.', '/');
        } else if (number && (kind == "window" || kind == "sleep")) {
            state->behaviour = kind == "window" ? Behaviour::Window : Behaviour::Sleep;
            state->behaviourValue = *number;
        } else {
            return "unknown -Dstandin.main";
        }
    } else if (auto firstRun = value("-Dstandin.firstRun=")) {
        state->firstRun = std::string(*firstRun);
    } else if (auto wait = value("-Dstandin.mainWait=")) {
        state->mainWait = std::string(*wait);
    } else if (auto script = value("-Dstandin.splash=")) {
        // Steps "<action>[:<text>]" (an empty text is null) and "until:<file>".
        while (!script->empty()) {
            std::string_view text = script->substr(0, script->find(';'));
            script->remove_prefix(std::min(script->size(), text.size() + 1));
            std::size_t colon = text.find(':');
            SplashStep step;
            if (text.substr(0, colon) != "until") {
                auto action = parseNumber(text.substr(0, colon));
                if (!action) return "unknown -Dstandin.splash step";
                step.action = static_cast<int>(*action);
            } else if (colon + 1 >= text.size()) {
                return "unknown -Dstandin.splash step";
            }
            if (colon != std::string_view::npos && colon + 1 < text.size()) {
                step.text = std::string(text.substr(colon + 1));
            }
            state->splash.push_back(std::move(step));
        }
    } else if (auto size = value("-Xmx")) {
        heap = parseHeap(*size);
        if (!heap) return "invalid maximum heap size";
    }
    return {};
}

int create(JavaVMInitArgs* arguments, std::string& problem) {
    if (state->created) {
        problem = "a VM was created in this process before";
        return JNI_EEXIST;
    }
    if (arguments == nullptr) {
        problem = "no JavaVMInitArgs";
        return JNI_ERR;
    }
    state->version = arguments->version;
    state->ignoreUnrecognized = arguments->ignoreUnrecognized != JNI_FALSE;
    for (jint i = 0; arguments->options != nullptr && i < arguments->nOptions; ++i) {
        const char* option = arguments->options[i].optionString;
        state->options.push_back(option ? jsonString(latin1(option)) : "null");
    }
    if (arguments->version != JNI_VERSION_1_2 && arguments->version != JNI_VERSION_1_4 &&
        arguments->version != JNI_VERSION_1_6 && arguments->version != JNI_VERSION_1_8) {
        problem = "unsupported JNI version";
        return JNI_EVERSION;
    }
    if (arguments->nOptions < 0 || (arguments->nOptions > 0 && arguments->options == nullptr)) {
        problem = "no options";
        return JNI_EINVAL;
    }
    std::optional<std::uint64_t> heap;
    for (jint i = 0; i < arguments->nOptions; ++i) {
        const char* option = arguments->options[i].optionString;
        if (option == nullptr) {
            problem = "optionString " + std::to_string(i) + " is null";
            return JNI_EINVAL;
        }
        problem = readOption(option, heap);
        if (!problem.empty()) {
            printError(L"Error: " + decode(problem) + L": " + decode(option) + L"\r\n");
            return JNI_EINVAL;
        }
    }
    if (heap && *heap > kMaxHeap) {
        printError(
            L"Error occurred during initialization of VM\r\n"
            L"Could not reserve enough space for object heap\r\n");
        problem = "the maximum heap is larger than 64g";
        return JNI_ENOMEM;
    }
    state->created = true;
    Thread& creator = state->threads[GetCurrentThreadId()];
    creator.name = L"main";
    creator.attached = true;
    return JNI_OK;
}

}  // namespace

int createJavaVm(HMODULE module, void** vm, void** env, void* arguments) {
    Guard guard;
    if (state == nullptr) {
        state = new State();
        state->module = module;
        state->directory = standin::moduleDirectory(module);
        fillTables();
    }
    state->function = "JNI_CreateJavaVM";
    std::string problem;
    int result = create(static_cast<JavaVMInitArgs*>(arguments), problem);
    if (!state->createResult || result == JNI_OK) state->createResult = result;
    event("JNI_CreateJavaVM", [&](JsonObject& e) {
        e.set("result", result);
        if (!problem.empty()) e.set("problem", decode(problem));
    });
    // As a VM does, a refused second VM leaves the caller's pointers alone.
    if (result != JNI_EEXIST) {
        if (vm != nullptr) *vm = result == JNI_OK ? &javaVm : nullptr;
        if (env != nullptr) *env = result == JNI_OK ? envFor(GetCurrentThreadId()) : nullptr;
    }
    return result;
}

}  // namespace standin::jvm
