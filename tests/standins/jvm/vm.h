// The stand-in VM itself, free of JNI's C structures and of Windows: the checks of
// JNI_CreateJavaVM, classes found on the class path, local references, pending exceptions
// per thread, the behaviours a test asks for through -Dstandin.* options, and the record of
// it all. The DLL's JNI functions translate their arguments and call in here under one lock.
//
// JNI has no error return for most misuse; a real VM then crashes or corrupts itself
// somewhere later. Here such misuse (an unknown reference, a reference of another thread, an
// env used after its thread detached) ends in Host::fatal at once, naming the function.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "class_file.h"
#include "classpath.h"
#include "record.h"

namespace standin::jvm {

constexpr int kJniOk = 0;
constexpr int kJniErr = -1;
constexpr int kJniDetached = -2;
constexpr int kJniVersionError = -3;
constexpr int kJniNoMemory = -4;
constexpr int kJniExists = -5;
constexpr int kJniInvalid = -6;

constexpr std::int32_t kJniVersion1_1 = 0x00010001;
constexpr std::int32_t kJniVersion1_2 = 0x00010002;
// What the stand-in reports from GetVersion: a Java 17 VM.
constexpr std::int32_t kJniVersion10 = 0x000a0000;
// The newest class file version a Java 17 VM loads.
constexpr std::uint16_t kMaxClassMajor = 61;
// Larger heaps fail creation, as a VM fails when it cannot reserve the heap.
constexpr std::uint64_t kMaxHeap = 64ull << 30;

using Ref = std::uint32_t;
using MethodRef = std::uint32_t;

// What the platform does for the VM.
class Host {
  public:
    virtual ~Host() = default;
    // Called with the whole record after every change.
    virtual void persist(const std::string& json) = 0;
    // Text for standard error, lines ending in "\r\n" as Java writes them on Windows.
    virtual void printError(const std::u16string& text) = 0;
    // Must not return: the process ends (a test's host throws instead).
    [[noreturn]] virtual void fatal(const std::string& message) = 0;
    // Option strings are bytes in the platform's code page, as a VM reads them.
    virtual std::u16string decodeOption(std::string_view bytes) = 0;
    virtual FileSystem& files() = 0;
    // The moment a main method begins, for the start-up benchmark to time.
    virtual void mainCalled() {}
};

bool isSupportedVersion(std::int32_t version);

// "-Xmx" sizes: digits with an optional k, m, g or t (either case); nothing when malformed
// or beyond 64 bits.
std::optional<std::uint64_t> parseMemorySize(std::string_view text);

struct MainBehaviour {
    enum class Kind { Return, Throw, Exit, Window, Sleep };
    Kind kind = Kind::Return;
    std::string exceptionClass;
    std::int64_t value = 0;
    std::string text = "return";
};

struct FirstRunBehaviour {
    enum class Kind { True, False, Throw };
    Kind kind = Kind::True;
    std::string exceptionClass;
};

std::optional<MainBehaviour> parseMainBehaviour(std::string_view value);

// One step of -Dstandin.splash, the answers of com.tesmo.runtime.TesmoController: an action
// getAction answers once, with the text the following getText calls answer (none: null),
// or a wait during which getAction answers 0 until a file exists.
struct SplashStep {
    enum class Kind { Action, UntilFile };
    Kind kind = Kind::Action;
    std::int32_t action = 0;
    std::optional<std::string> text;
    // UntilFile: the file as the option's bytes.
    std::string path;
};

// "<action>[:<text>]" and "until:<file>" steps separated by ";"; an empty text is null.
std::optional<std::vector<SplashStep>> parseSplashScript(std::string_view value);
std::optional<FirstRunBehaviour> parseFirstRunBehaviour(std::string_view value);

struct CreateArguments {
    bool present = false;
    std::int32_t version = 0;
    std::int32_t optionCount = 0;
    bool optionsPresent = false;
    // One per option read; nothing where its optionString was null.
    std::vector<std::optional<std::string>> options;
    bool ignoreUnrecognized = false;
};

// The main thread's work that must happen outside the VM's lock.
struct Action {
    enum class Kind { None, Exit, Window, Sleep };
    Kind kind = Kind::None;
    std::int64_t value = 0;
    // A file (as the option's bytes) to wait for before the action: -Dstandin.mainWait.
    std::string waitFor;
};

class Vm {
  public:
    Vm(Host& host, std::uint32_t pid, std::u16string dll);
    Vm(const Vm&) = delete;
    Vm& operator=(const Vm&) = delete;

    int create(const CreateArguments& arguments, std::uint32_t thread);
    bool created() const { return created_; }
    bool running() const { return created_ && !destroyed_; }
    bool isAttached(std::uint32_t thread) const;
    const Record& record() const { return record_; }

    Ref findClass(std::uint32_t thread, const char* name);
    MethodRef getStaticMethodId(std::uint32_t thread, Ref cls, const char* name,
                                const char* signature);
    std::string methodDescriptor(std::uint32_t thread, const char* function, MethodRef method);

    enum class CallKind { Void, Boolean, Int, Object };
    struct CallResult {
        Action action;
        bool value = false;
        std::int32_t integer = 0;
        Ref object = 0;
    };
    // `argument` is the first argument where the method takes an object first, else 0.
    CallResult callStatic(std::uint32_t thread, CallKind kind, Ref cls, MethodRef method,
                          Ref argument);
    // After the action of a call has run: the call returned to its caller, after showing a
    // window where `windowShown` says whether it was visible.
    void callReturned(std::uint32_t thread, std::optional<bool> windowShown = std::nullopt);
    void recordExit(std::uint32_t thread, std::int64_t code);

    Ref newString(std::uint32_t thread, std::u16string text);
    Ref newObjectArray(std::uint32_t thread, std::int32_t length, Ref elementClass, Ref initial);
    void setObjectArrayElement(std::uint32_t thread, Ref array, std::int32_t index, Ref value);
    std::int32_t arrayLength(std::uint32_t thread, Ref array);
    std::int32_t stringLength(std::uint32_t thread, Ref string);
    // The characters stay valid until released; each release must hand back what a get
    // handed out, for the same string.
    const char16_t* getStringChars(std::uint32_t thread, Ref string);
    void releaseStringChars(std::uint32_t thread, Ref string, const char16_t* chars);
    void deleteLocalRef(std::uint32_t thread, Ref ref);
    Ref exceptionOccurred(std::uint32_t thread);
    bool exceptionCheck(std::uint32_t thread);
    void exceptionClear(std::uint32_t thread);
    void exceptionDescribe(std::uint32_t thread);
    std::int32_t getVersion(std::uint32_t thread);

    int destroy(std::uint32_t thread);
    // `name` is modified UTF-8 as in JavaVMAttachArgs; `version` 0 when no args were given.
    int attach(std::uint32_t thread, bool daemon, std::int32_t version, const char* name);
    int detach(std::uint32_t thread);
    int getEnv(std::uint32_t thread, std::int32_t version);
    // A daemon thread attached when the VM was destroyed: a real VM blocks such a thread
    // for good when it calls in again, rather than let it run in a VM that is gone. True
    // after recording the call; the caller then blocks the thread.
    bool blockedAfterDestroy(std::uint32_t thread, const char* function);
    void unimplemented(std::uint32_t thread, std::string_view function);
    // Misuse found outside the VM (a foreign JNIEnv): recorded, then Host::fatal.
    [[noreturn]] void fail(std::uint32_t thread, const char* function, const std::string& message);

  private:
    struct LoadedClass;
    struct Object {
        enum class Kind { Class, String, Array, Throwable };
        Kind kind = Kind::String;
        std::string className;
        const LoadedClass* type = nullptr;
        std::u16string text;
        bool hasText = false;
        std::string elementClass;
        std::vector<std::shared_ptr<Object>> elements;
    };
    using ObjectPtr = std::shared_ptr<Object>;
    struct LoadedClass {
        std::string name;
        std::u16string source;
        std::vector<MethodInfo> methods;
        ObjectPtr mirror;
    };
    struct LocalRef {
        ObjectPtr object;
        std::uint32_t thread = 0;
    };
    struct Thread {
        std::u16string name;
        bool daemon = false;
        bool attached = false;
        // A daemon still attached when the VM was destroyed.
        bool abandoned = false;
        ObjectPtr pending;
        std::optional<std::size_t> openCall;
    };
    struct Method {
        const LoadedClass* owner = nullptr;
        std::size_t index = 0;
    };
    struct Lookup {
        const LoadedClass* found = nullptr;
        std::string exceptionClass;
        std::u16string message;
        std::vector<std::pair<std::u16string, std::string>> problems;
    };

    struct Application {
        std::optional<std::u16string> name;
        std::string problem;
    };

    [[noreturn]] void fatal(const std::string& message);
    void begin(std::uint32_t thread, const char* function);
    // The controller's answers from the splash script.
    std::int32_t nextSplashAction();
    Thread& enter(std::uint32_t thread, const char* function, bool pendingAllowed = false);
    void commit();
    Json& event(std::string_view call, std::uint32_t thread);

    int evaluate(const CreateArguments& arguments, std::uint32_t thread, std::string& problem);
    const LoadedClass* define(std::string_view name, std::u16string source,
                              std::vector<MethodInfo> methods);
    Lookup lookUp(std::string_view name);
    const MethodInfo& methodInfo(MethodRef method);

    Ref newRef(std::uint32_t thread, ObjectPtr object);
    ObjectPtr deref(std::uint32_t thread, Ref ref);
    ObjectPtr derefKind(std::uint32_t thread, Ref ref, Object::Kind kind, const char* what);
    ObjectPtr makeThrowable(std::string_view className, std::optional<std::u16string> message);
    static ObjectPtr makeString(std::u16string text);
    void raise(Thread& thread, std::string_view className, std::optional<std::u16string> message);
    // What the application wrapper checks before it starts the class named in args[1].
    Application checkApplication(Thread& current, const ObjectPtr& args);

    Host& host_;
    Record record_;
    const char* function_ = "";
    std::uint32_t currentThread_ = 0;
    bool created_ = false;
    bool destroyed_ = false;
    MainBehaviour mainBehaviour_;
    FirstRunBehaviour firstRunBehaviour_;
    std::string mainWait_;
    std::vector<SplashStep> splashScript_;
    std::size_t splashStep_ = 0;
    std::optional<std::string> splashText_;
    struct Pinned {
        Ref string = 0;
        std::unique_ptr<std::u16string> chars;
    };
    std::vector<Pinned> pinned_;
    std::unique_ptr<ClassPath> classPath_;
    std::map<std::string, std::unique_ptr<LoadedClass>, std::less<>> classes_;
    std::map<std::uint32_t, Thread> threads_;
    std::map<Ref, LocalRef> refs_;
    Ref nextRef_ = 1;
    std::vector<Method> methods_;
    int unnamedThreads_ = 0;
};

}  // namespace standin::jvm
