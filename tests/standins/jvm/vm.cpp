#include "vm.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "text.h"

namespace standin::jvm {
namespace {

constexpr std::string_view kClassPathOption = "-Djava.class.path=";
constexpr std::string_view kMainOption = "-Dstandin.main=";
constexpr std::string_view kFirstRunOption = "-Dstandin.firstRun=";
constexpr std::string_view kCreateOption = "-Dstandin.create=";
constexpr std::string_view kSplashOption = "-Dstandin.splash=";
constexpr std::string_view kMainWaitOption = "-Dstandin.mainWait=";
constexpr std::string_view kControllerClass = "com/tesmo/runtime/TesmoController";
constexpr std::string_view kMaxHeapOption = "-Xmx";
constexpr std::string_view kMainDescriptor = "([Ljava/lang/String;)V";
constexpr std::string_view kStandinMessage = "thrown by the stand-in";
constexpr std::int64_t kMaxWaitMs = 24 * 60 * 60 * 1000;
// Larger arrays fail as a VM fails on a heap it does not have.
constexpr std::int32_t kMaxArrayLength = 1 << 24;

constexpr std::array<std::string_view, 2> kWrapperClasses = {
    "com/tesmo/runtime/WinLauncher", "com/korvane/runtime/launcher/WinLauncher"};

// The classes every VM has before it reads the class path, and those its own errors need.
// They declare no static methods here.
constexpr std::array<std::string_view, 23> kBootstrapClasses = {
    "java/lang/Object",
    "java/lang/String",
    "java/lang/Class",
    "java/lang/Throwable",
    "java/lang/Exception",
    "java/lang/RuntimeException",
    "java/lang/Error",
    "java/lang/LinkageError",
    "java/lang/NoClassDefFoundError",
    "java/lang/IncompatibleClassChangeError",
    "java/lang/NoSuchMethodError",
    "java/lang/ClassFormatError",
    "java/lang/UnsupportedClassVersionError",
    "java/lang/ReflectiveOperationException",
    "java/lang/ClassNotFoundException",
    "java/lang/IndexOutOfBoundsException",
    "java/lang/ArrayIndexOutOfBoundsException",
    "java/lang/ArrayStoreException",
    "java/lang/NegativeArraySizeException",
    "java/lang/NullPointerException",
    "java/lang/IllegalStateException",
    "java/lang/OutOfMemoryError",
    "java/lang/VirtualMachineError",
};

// Option forms a VM accepts; with ignoreUnrecognized false any other option fails creation.
constexpr std::array<std::string_view, 17> kRecognizedPrefixes = {
    "-D",
    "-X",
    "-verbose",
    "-ea",
    "-da",
    "-esa",
    "-dsa",
    "-enableassertions",
    "-disableassertions",
    "-enablesystemassertions",
    "-disablesystemassertions",
    "-agentlib:",
    "-agentpath:",
    "-javaagent:",
    "--",
    "-Xbootclasspath",
    "-XX:",
};
constexpr std::array<std::string_view, 3> kHookOptions = {"vfprintf", "exit", "abort"};

bool isRecognized(std::string_view option) {
    for (auto prefix : kRecognizedPrefixes) {
        if (option.starts_with(prefix)) return true;
    }
    return std::find(kHookOptions.begin(), kHookOptions.end(), option) != kHookOptions.end();
}

bool isBootstrap(std::string_view name) {
    return std::find(kBootstrapClasses.begin(), kBootstrapClasses.end(), name) !=
           kBootstrapClasses.end();
}

bool isWrapper(std::string_view name) {
    return std::find(kWrapperClasses.begin(), kWrapperClasses.end(), name) != kWrapperClasses.end();
}

std::optional<std::int64_t> parseInteger(std::string_view text, std::int64_t low,
                                         std::int64_t high) {
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::u16string u16(std::string_view ascii) {
    return latin1ToUtf16(ascii);
}

std::u16string className16(std::string_view internal) {
    return modifiedUtf8ToUtf16(dottedName(internal));
}

std::string hex(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", static_cast<unsigned>(value));
    return buffer;
}

}  // namespace

bool isSupportedVersion(std::int32_t version) {
    switch (version) {
        case 0x00010002:
        case 0x00010004:
        case 0x00010006:
        case 0x00010008:
        case 0x00090000:
        case 0x000a0000:
            return true;
        default:
            return false;
    }
}

std::optional<std::uint64_t> parseMemorySize(std::string_view text) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0 || text.size() - digits > 1) return std::nullopt;
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + digits, value);
    if (error != std::errc() || end != text.data() + digits) return std::nullopt;
    int shift = 0;
    if (digits < text.size()) {
        switch (text[digits]) {
            case 'k':
            case 'K':
                shift = 10;
                break;
            case 'm':
            case 'M':
                shift = 20;
                break;
            case 'g':
            case 'G':
                shift = 30;
                break;
            case 't':
            case 'T':
                shift = 40;
                break;
            default:
                return std::nullopt;
        }
    }
    if (shift > 0 && value > (~std::uint64_t(0) >> shift)) return std::nullopt;
    return value << shift;
}

std::optional<MainBehaviour> parseMainBehaviour(std::string_view value) {
    MainBehaviour behaviour;
    behaviour.text = std::string(value);
    auto argument = [&](std::string_view prefix) -> std::optional<std::string_view> {
        if (!value.starts_with(prefix)) return std::nullopt;
        return value.substr(prefix.size());
    };
    if (value == "return") return behaviour;
    if (auto cls = argument("throw:")) {
        if (cls->empty()) return std::nullopt;
        behaviour.kind = MainBehaviour::Kind::Throw;
        behaviour.exceptionClass = internalName(*cls);
        return behaviour;
    }
    if (auto code = argument("exit:")) {
        auto parsed = parseInteger(*code, INT32_MIN, INT32_MAX);
        if (!parsed) return std::nullopt;
        behaviour.kind = MainBehaviour::Kind::Exit;
        behaviour.value = *parsed;
        return behaviour;
    }
    for (auto [prefix, kind] : {std::pair{"window:", MainBehaviour::Kind::Window},
                                std::pair{"sleep:", MainBehaviour::Kind::Sleep}}) {
        if (auto ms = argument(prefix)) {
            auto parsed = parseInteger(*ms, 0, kMaxWaitMs);
            if (!parsed) return std::nullopt;
            behaviour.kind = kind;
            behaviour.value = *parsed;
            return behaviour;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<SplashStep>> parseSplashScript(std::string_view value) {
    std::vector<SplashStep> steps;
    while (!value.empty()) {
        std::size_t end = value.find(';');
        std::string_view text = value.substr(0, end);
        value = end == std::string_view::npos ? std::string_view() : value.substr(end + 1);
        SplashStep step;
        if (text.starts_with("until:")) {
            if (text.size() == 6) return std::nullopt;
            step.kind = SplashStep::Kind::UntilFile;
            step.path = std::string(text.substr(6));
        } else {
            std::size_t colon = text.find(':');
            auto action = parseInteger(text.substr(0, colon), INT32_MIN, INT32_MAX);
            if (!action) return std::nullopt;
            step.action = static_cast<std::int32_t>(*action);
            if (colon != std::string_view::npos && colon + 1 < text.size()) {
                step.text = std::string(text.substr(colon + 1));
            }
        }
        steps.push_back(std::move(step));
    }
    return steps;
}

std::optional<FirstRunBehaviour> parseFirstRunBehaviour(std::string_view value) {
    FirstRunBehaviour behaviour;
    if (value == "true") return behaviour;
    if (value == "false") {
        behaviour.kind = FirstRunBehaviour::Kind::False;
        return behaviour;
    }
    if (value == "throw") {
        behaviour.kind = FirstRunBehaviour::Kind::Throw;
        behaviour.exceptionClass = "java/lang/IllegalStateException";
        return behaviour;
    }
    if (value.starts_with("throw:") && value.size() > 6) {
        behaviour.kind = FirstRunBehaviour::Kind::Throw;
        behaviour.exceptionClass = internalName(value.substr(6));
        return behaviour;
    }
    return std::nullopt;
}

Vm::Vm(Host& host, std::uint32_t pid, std::u16string dll)
    : host_(host), record_(pid, std::move(dll)) {}

void Vm::fatal(const std::string& message) {
    std::string text = std::string(function_) + ": " + message;
    Json& failure = event("fatal", currentThread_);
    failure.set("message", text);
    commit();
    host_.fatal(text);
    // A host that returned anyway must not let the VM run on.
    std::abort();
}

void Vm::fail(std::uint32_t thread, const char* function, const std::string& message) {
    begin(thread, function);
    fatal(message);
}

void Vm::commit() {
    host_.persist(record_.text());
}

Json& Vm::event(std::string_view call, std::uint32_t thread) {
    return record_.addEvent(call, thread);
}

void Vm::begin(std::uint32_t thread, const char* function) {
    function_ = function;
    currentThread_ = thread;
}

Vm::Thread& Vm::enter(std::uint32_t thread, const char* function, bool pendingAllowed) {
    begin(thread, function);
    if (destroyed_) fatal("called after DestroyJavaVM");
    auto found = threads_.find(thread);
    if (!created_ || found == threads_.end() || !found->second.attached) {
        fatal("called on a thread that is not attached to the VM");
    }
    if (!pendingAllowed && found->second.pending) {
        Json& warning = event("warning", thread);
        warning.set("function", function);
        warning.set("message", "called with an exception pending");
        commit();
    }
    return found->second;
}

bool Vm::isAttached(std::uint32_t thread) const {
    auto found = threads_.find(thread);
    return running() && found != threads_.end() && found->second.attached;
}

// ---------------------------------------------------------------------------------------
// Creation

int Vm::create(const CreateArguments& arguments, std::uint32_t thread) {
    begin(thread, "JNI_CreateJavaVM");
    std::string problem;
    int result = evaluate(arguments, thread, problem);
    Json& call = event("JNI_CreateJavaVM", thread);
    call.set("result", result);
    if (!problem.empty()) call.set("problem", problem);
    Json& document = record_.document();
    if (result == kJniOk || !created_) {
        document.set("created", result == kJniOk);
        document.set("createResult", result);
    }
    commit();
    return result;
}

int Vm::evaluate(const CreateArguments& arguments, std::uint32_t thread, std::string& problem) {
    if (created_) {
        problem = "a VM was created in this process before";
        return kJniExists;
    }
    Json& document = record_.document();
    document.set("version", arguments.present ? Json(arguments.version) : Json());
    document.set("ignoreUnrecognized",
                 arguments.present ? Json(arguments.ignoreUnrecognized) : Json());
    Json& options = document.set("options", Json::array());
    for (const auto& option : arguments.options) {
        options.push(option ? Json(latin1ToUtf16(*option)) : Json());
    }
    document.set("classPath", Json::array());
    if (!arguments.present) {
        problem = "no JavaVMInitArgs";
        return kJniErr;
    }
    if (!isSupportedVersion(arguments.version)) {
        problem = "unsupported JNI version " + hex(static_cast<std::uint32_t>(arguments.version));
        return kJniVersionError;
    }
    if (arguments.optionCount < 0) {
        problem = "nOptions is negative";
        return kJniInvalid;
    }
    if (arguments.optionCount > 0 && !arguments.optionsPresent) {
        problem = "options is null";
        return kJniInvalid;
    }
    for (std::size_t i = 0; i < arguments.options.size(); ++i) {
        if (!arguments.options[i]) {
            problem = "optionString " + std::to_string(i) + " is null";
            return kJniInvalid;
        }
    }

    std::optional<std::u16string> classPath;
    std::optional<std::uint64_t> heap;
    MainBehaviour main;
    FirstRunBehaviour firstRun;
    std::vector<SplashStep> splash;
    std::string mainWait;
    bool failCreate = false;
    for (const auto& given : arguments.options) {
        std::string_view option = *given;
        auto bad = [&](const char* what) {
            host_.printError(u"Error: " + u16(what) + u": " + latin1ToUtf16(option) + u"\r\n");
            problem = std::string(what) + ": " + std::string(option);
            return kJniInvalid;
        };
        if (option.starts_with(kClassPathOption)) {
            classPath = host_.decodeOption(option.substr(kClassPathOption.size()));
        } else if (option.starts_with(kMainOption)) {
            auto parsed = parseMainBehaviour(option.substr(kMainOption.size()));
            if (!parsed) return bad("the stand-in does not know this behaviour");
            main = *parsed;
        } else if (option.starts_with(kFirstRunOption)) {
            auto parsed = parseFirstRunBehaviour(option.substr(kFirstRunOption.size()));
            if (!parsed) return bad("the stand-in does not know this behaviour");
            firstRun = *parsed;
        } else if (option.starts_with(kMainWaitOption)) {
            mainWait = std::string(option.substr(kMainWaitOption.size()));
            if (mainWait.empty()) return bad("the stand-in does not know this behaviour");
        } else if (option.starts_with(kSplashOption)) {
            auto parsed = parseSplashScript(option.substr(kSplashOption.size()));
            if (!parsed) return bad("the stand-in does not know this behaviour");
            splash = std::move(*parsed);
        } else if (option.starts_with(kCreateOption)) {
            std::string_view value = option.substr(kCreateOption.size());
            if (value != "fail" && value != "ok")
                return bad("the stand-in does not know this behaviour");
            failCreate = value == "fail";
        } else if (option.starts_with(kMaxHeapOption)) {
            heap = parseMemorySize(option.substr(kMaxHeapOption.size()));
            if (!heap) {
                host_.printError(u"Invalid maximum heap size: " + latin1ToUtf16(option) + u"\r\n");
                problem = "invalid maximum heap size " + std::string(option);
                return kJniInvalid;
            }
        } else if (!isRecognized(option) && !arguments.ignoreUnrecognized) {
            host_.printError(u"Unrecognized option: " + latin1ToUtf16(option) + u"\r\n");
            problem = "unrecognized option " + std::string(option);
            return kJniErr;
        }
    }
    if (heap && *heap > kMaxHeap) {
        host_.printError(
            u"Error occurred during initialization of VM\r\n"
            u"Could not reserve enough space for object heap\r\n");
        problem = "the maximum heap is larger than 64g";
        return kJniNoMemory;
    }
    if (failCreate) {
        problem = "-Dstandin.create=fail";
        return kJniErr;
    }

    std::vector<std::u16string> entries =
        classPath ? splitClassPath(*classPath) : std::vector<std::u16string>{};
    Json& recorded = document.set("classPath", Json::array());
    for (const auto& entry : entries) recorded.push(entry);
    classPath_ = std::make_unique<ClassPath>(std::move(entries), host_.files());
    mainBehaviour_ = main;
    firstRunBehaviour_ = firstRun;
    splashScript_ = std::move(splash);
    mainWait_ = std::move(mainWait);
    created_ = true;
    Thread& creator = threads_[thread];
    creator.name = u"main";
    creator.attached = true;
    return kJniOk;
}

// ---------------------------------------------------------------------------------------
// Classes and methods

const Vm::LoadedClass* Vm::define(std::string_view name, std::u16string source,
                                  std::vector<MethodInfo> methods) {
    auto loaded = std::make_unique<LoadedClass>();
    loaded->name = std::string(name);
    loaded->source = std::move(source);
    loaded->methods = std::move(methods);
    loaded->mirror = std::make_shared<Object>();
    loaded->mirror->kind = Object::Kind::Class;
    loaded->mirror->className = "java/lang/Class";
    loaded->mirror->type = loaded.get();
    const LoadedClass* result = loaded.get();
    classes_.emplace(loaded->name, std::move(loaded));
    return result;
}

Vm::Lookup Vm::lookUp(std::string_view name) {
    Lookup lookup;
    if (auto known = classes_.find(name); known != classes_.end()) {
        lookup.found = known->second.get();
        return lookup;
    }
    auto notFound = [&] {
        lookup.exceptionClass = "java/lang/NoClassDefFoundError";
        lookup.message = modifiedUtf8ToUtf16(name);
        return lookup;
    };
    if (name.starts_with('[')) {
        std::size_t dimensions = name.find_first_not_of('[');
        if (dimensions == std::string_view::npos) return notFound();
        std::string_view element = name.substr(dimensions);
        bool valid = element.size() == 1
                         ? std::string_view("ZBCSIJFD").find(element[0]) != std::string_view::npos
                         : element.size() > 2 && element.front() == 'L' && element.back() == ';';
        if (!valid) return notFound();
        if (element.size() > 1) {
            Lookup inner = lookUp(element.substr(1, element.size() - 2));
            if (!inner.found) return inner;
        }
        lookup.found = define(name, {}, {});
        return lookup;
    }
    if (isBootstrap(name)) {
        lookup.found = define(name, {}, {});
        return lookup;
    }
    ClassSearch search = classPath_->find(name);
    lookup.problems = std::move(search.problems);
    if (!search.found) return notFound();
    ClassParse parsed = parseClassFile(search.found->bytes);
    if (!parsed.classFile) {
        lookup.exceptionClass = "java/lang/ClassFormatError";
        lookup.message = u16(parsed.error) + u" in class file " + modifiedUtf8ToUtf16(name);
        return lookup;
    }
    const ClassFile& file = *parsed.classFile;
    if (file.majorVersion > kMaxClassMajor) {
        lookup.exceptionClass = "java/lang/UnsupportedClassVersionError";
        lookup.message = className16(name) +
                         u" has been compiled by a more recent version of the Java Runtime "
                         u"(class file version " +
                         u16(std::to_string(file.majorVersion)) + u"." +
                         u16(std::to_string(file.minorVersion)) +
                         u"), this version of the Java Runtime only recognizes class file "
                         u"versions up to 61.0";
        return lookup;
    }
    if (file.name != name) {
        lookup.exceptionClass = "java/lang/NoClassDefFoundError";
        lookup.message =
            modifiedUtf8ToUtf16(name) + u" (wrong name: " + modifiedUtf8ToUtf16(file.name) + u")";
        return lookup;
    }
    lookup.found = define(name, search.found->entry, file.methods);
    return lookup;
}

Ref Vm::findClass(std::uint32_t thread, const char* name) {
    Thread& current = enter(thread, "FindClass");
    if (name == nullptr) {
        Json& call = event("FindClass", thread);
        call.set("name", nullptr);
        call.set("found", false);
        call.set("exception", "java.lang.NoClassDefFoundError");
        raise(current, "java/lang/NoClassDefFoundError", u"No class name given");
        commit();
        return 0;
    }
    Lookup lookup = lookUp(name);
    Json& call = event("FindClass", thread);
    call.set("name", modifiedUtf8ToUtf16(name));
    call.set("found", lookup.found != nullptr);
    if (lookup.found != nullptr) {
        call.set("from",
                 lookup.found->source.empty() ? Json("bootstrap") : Json(lookup.found->source));
    } else {
        call.set("exception", dottedName(lookup.exceptionClass));
        call.set("message", lookup.message);
    }
    if (!lookup.problems.empty()) {
        Json& problems = call.set("classPathProblems", Json::array());
        for (const auto& [entry, reason] : lookup.problems) {
            Json& problem = problems.push(Json::object());
            problem.set("entry", entry);
            problem.set("problem", reason);
        }
    }
    Ref result = 0;
    if (lookup.found != nullptr) {
        result = newRef(thread, lookup.found->mirror);
    } else {
        raise(current, lookup.exceptionClass, lookup.message);
    }
    commit();
    return result;
}

MethodRef Vm::getStaticMethodId(std::uint32_t thread, Ref cls, const char* name,
                                const char* signature) {
    Thread& current = enter(thread, "GetStaticMethodID");
    ObjectPtr mirror = derefKind(thread, cls, Object::Kind::Class, "a class");
    if (name == nullptr || signature == nullptr) fatal("the name or the signature is null");
    const LoadedClass* owner = mirror->type;
    std::string_view wanted(name);
    std::optional<std::size_t> index;
    if (wanted != "<init>" && wanted != "<clinit>") {
        for (std::size_t i = 0; i < owner->methods.size(); ++i) {
            const MethodInfo& method = owner->methods[i];
            if (method.name == wanted && method.descriptor == signature &&
                (method.access & kAccStatic)) {
                index = i;
                break;
            }
        }
    }
    Json& call = event("GetStaticMethodID", thread);
    call.set("class", className16(owner->name));
    call.set("name", modifiedUtf8ToUtf16(name));
    call.set("signature", modifiedUtf8ToUtf16(signature));
    call.set("found", index.has_value());
    MethodRef result = 0;
    if (index) {
        for (std::size_t i = 0; i < methods_.size() && result == 0; ++i) {
            if (methods_[i].owner == owner && methods_[i].index == *index)
                result = static_cast<MethodRef>(i + 1);
        }
        if (result == 0) {
            methods_.push_back(Method{owner, *index});
            result = static_cast<MethodRef>(methods_.size());
        }
    } else {
        std::string signatureName =
            owner->name.starts_with('[') ? owner->name : "L" + owner->name + ";";
        raise(current, "java/lang/NoSuchMethodError",
              modifiedUtf8ToUtf16("static " + signatureName + "." + name + signature));
        call.set("exception", "java.lang.NoSuchMethodError");
    }
    commit();
    return result;
}

const MethodInfo& Vm::methodInfo(MethodRef method) {
    if (method == 0 || method > methods_.size()) fatal("invalid method ID " + hex(method));
    const Method& entry = methods_[method - 1];
    return entry.owner->methods[entry.index];
}

std::string Vm::methodDescriptor(std::uint32_t thread, const char* function, MethodRef method) {
    begin(thread, function);
    return methodInfo(method).descriptor;
}

// ---------------------------------------------------------------------------------------
// Calls

Vm::Application Vm::checkApplication(Thread& current, const ObjectPtr& args) {
    Application application;
    if (!args) {
        raise(current, "java/lang/NullPointerException", std::nullopt);
        application.problem = "the argument array is null";
        return application;
    }
    if (args->elements.size() < 2) {
        raise(current, "java/lang/ArrayIndexOutOfBoundsException",
              u"Index 1 out of bounds for length " + u16(std::to_string(args->elements.size())));
        application.problem = "the argument array has no element 1";
        return application;
    }
    const ObjectPtr& element = args->elements[1];
    if (!element || element->kind != Object::Kind::String) {
        raise(current, "java/lang/NullPointerException", std::nullopt);
        application.problem = "element 1 of the argument array is no string";
        return application;
    }
    application.name = element->text;
    std::string internal = internalName(utf16ToModifiedUtf8(element->text));
    Lookup lookup = lookUp(internal);
    if (!lookup.found) {
        raise(current, "java/lang/ClassNotFoundException", element->text);
        application.problem =
            "the application class " + utf16ToUtf8(element->text) + " is not on the class path";
        if (!lookup.exceptionClass.empty() &&
            lookup.exceptionClass != "java/lang/NoClassDefFoundError") {
            application.problem +=
                " (" + dottedName(lookup.exceptionClass) + ": " + utf16ToUtf8(lookup.message) + ")";
        }
        return application;
    }
    const MethodInfo* main = nullptr;
    for (const auto& method : lookup.found->methods) {
        if (method.name == "main" && method.descriptor == kMainDescriptor) main = &method;
    }
    if (main == nullptr ||
        (main->access & (kAccPublic | kAccStatic)) != (kAccPublic | kAccStatic)) {
        raise(current, "java/lang/NoSuchMethodError",
              u"public static void main(String[]) not found in " + element->text);
        application.problem = "the application class " + utf16ToUtf8(element->text) +
                              " declares no public static void main(String[])";
    }
    return application;
}

Vm::CallResult Vm::callStatic(std::uint32_t thread, CallKind kind, Ref cls, MethodRef method,
                              Ref argument) {
    static constexpr const char* kNames[] = {"CallStaticVoidMethod", "CallStaticBooleanMethod",
                                             "CallStaticIntMethod", "CallStaticObjectMethod"};
    Thread& current = enter(thread, kNames[static_cast<int>(kind)]);
    ObjectPtr mirror = derefKind(thread, cls, Object::Kind::Class, "a class");
    const MethodInfo& info = methodInfo(method);
    const LoadedClass* owner = methods_[method - 1].owner;
    ObjectPtr args = deref(thread, argument);
    std::string_view descriptor = info.descriptor;
    std::string_view returns = descriptor.substr(std::min(descriptor.find(')'), descriptor.size()));
    if (!returns.empty()) returns.remove_prefix(1);
    bool fits = kind == CallKind::Void      ? returns == "V"
                : kind == CallKind::Boolean ? returns == "Z"
                : kind == CallKind::Int     ? returns == "I"
                                            : returns.starts_with('L') || returns.starts_with('[');
    if (!fits) {
        Json& warning = event("warning", thread);
        warning.set("function", function_);
        warning.set("message", "the method returns " + std::string(returns));
    }
    CallResult result;
    bool isMain =
        info.name == "main" && info.descriptor == kMainDescriptor && kind == CallKind::Void;
    bool isFirstRun =
        info.name == "firstRun" && info.descriptor == "()Z" && kind == CallKind::Boolean;
    if (isMain && args && args->kind != Object::Kind::Array)
        fatal("the argument of main is no array");

    if (isMain) host_.mainCalled();
    Application application;
    if (isMain && isWrapper(owner->name)) application = checkApplication(current, args);

    std::size_t index = record_.eventCount();
    Json& call = event(isMain ? "main" : isFirstRun ? "firstRun" : "CallStaticMethod", thread);
    call.set("class", className16(owner->name));
    if (mirror->type != owner) call.set("calledThrough", className16(mirror->type->name));
    if (isMain) {
        Json recorded = args ? Json::array() : Json();
        if (args) {
            for (const auto& element : args->elements) {
                recorded.push(element && element->kind == Object::Kind::String ? Json(element->text)
                                                                               : Json());
            }
        }
        call.set("args", std::move(recorded));
        if (isWrapper(owner->name)) {
            call.set("application", application.name ? Json(*application.name) : Json());
            call.set("check", application.problem.empty() ? Json("ok") : Json(application.problem));
        }
        if (application.problem.empty()) {
            call.set("behaviour", mainBehaviour_.text);
            result.action.waitFor = mainWait_;
            switch (mainBehaviour_.kind) {
                case MainBehaviour::Kind::Return:
                    break;
                case MainBehaviour::Kind::Throw:
                    raise(current, mainBehaviour_.exceptionClass, u16(kStandinMessage));
                    break;
                case MainBehaviour::Kind::Exit:
                    result.action = {Action::Kind::Exit, mainBehaviour_.value, mainWait_};
                    break;
                case MainBehaviour::Kind::Window:
                    result.action = {Action::Kind::Window, mainBehaviour_.value, mainWait_};
                    break;
                case MainBehaviour::Kind::Sleep:
                    result.action = {Action::Kind::Sleep, mainBehaviour_.value, mainWait_};
                    break;
            }
        }
    } else if (isFirstRun) {
        switch (firstRunBehaviour_.kind) {
            case FirstRunBehaviour::Kind::True:
                result.value = true;
                break;
            case FirstRunBehaviour::Kind::False:
                result.value = false;
                break;
            case FirstRunBehaviour::Kind::Throw:
                raise(current, firstRunBehaviour_.exceptionClass, u16(kStandinMessage));
                break;
        }
        bool threw = firstRunBehaviour_.kind == FirstRunBehaviour::Kind::Throw;
        call.set("result", threw ? Json() : Json(result.value));
    } else {
        call.set("name", modifiedUtf8ToUtf16(info.name));
        call.set("signature", modifiedUtf8ToUtf16(info.descriptor));
        bool controller = owner->name == kControllerClass;
        if (kind == CallKind::Int) {
            if (controller && info.name == "getAction" && descriptor == "()I") {
                result.integer = nextSplashAction();
            }
            call.set("result", result.integer);
        } else if (kind == CallKind::Object) {
            std::optional<std::string> text;
            if (controller && info.name == "getText" && descriptor == "()Ljava/lang/String;") {
                text = std::move(splashText_);
                splashText_.reset();
            }
            std::optional<std::u16string> answer;
            if (text) answer = host_.decodeOption(*text);
            call.set("result", answer ? Json(*answer) : Json());
            if (answer) result.object = newRef(thread, makeString(*answer));
        }
    }
    if (current.pending) call.set("exception", className16(current.pending->className));
    call.set("returned", false);
    current.openCall = index;
    commit();
    return result;
}

std::int32_t Vm::nextSplashAction() {
    splashText_.reset();
    while (splashStep_ < splashScript_.size()) {
        const SplashStep& step = splashScript_[splashStep_];
        if (step.kind == SplashStep::Kind::UntilFile) {
            if (!host_.files().readFile(host_.decodeOption(step.path))) return 0;
            ++splashStep_;
            continue;
        }
        ++splashStep_;
        splashText_ = step.text;
        return step.action;
    }
    return 0;
}

void Vm::callReturned(std::uint32_t thread, std::optional<bool> windowShown) {
    begin(thread, "CallStatic*Method");
    auto found = threads_.find(thread);
    if (found == threads_.end() || !found->second.openCall) return;
    Json& call = record_.event(*found->second.openCall);
    if (windowShown) call.set("windowShown", *windowShown);
    call.set("returned", true);
    found->second.openCall.reset();
    commit();
}

void Vm::recordExit(std::uint32_t thread, std::int64_t code) {
    begin(thread, "System.exit");
    event("exit", thread).set("code", code);
    commit();
}

// ---------------------------------------------------------------------------------------
// Objects and exceptions

Ref Vm::newRef(std::uint32_t thread, ObjectPtr object) {
    if (!object) return 0;
    Ref ref = nextRef_++;
    refs_[ref] = LocalRef{std::move(object), thread};
    return ref;
}

Vm::ObjectPtr Vm::deref(std::uint32_t thread, Ref ref) {
    if (ref == 0) return nullptr;
    auto found = refs_.find(ref);
    if (found == refs_.end()) fatal("invalid or deleted reference " + hex(ref));
    if (found->second.thread != thread) {
        fatal("reference " + hex(ref) + " is a local reference of thread " +
              std::to_string(found->second.thread));
    }
    return found->second.object;
}

Vm::ObjectPtr Vm::derefKind(std::uint32_t thread, Ref ref, Object::Kind kind, const char* what) {
    ObjectPtr object = deref(thread, ref);
    if (!object) fatal(std::string("null where ") + what + " is required");
    if (object->kind != kind) fatal("reference " + hex(ref) + " is not " + what);
    return object;
}

Vm::ObjectPtr Vm::makeThrowable(std::string_view className, std::optional<std::u16string> message) {
    auto throwable = std::make_shared<Object>();
    throwable->kind = Object::Kind::Throwable;
    throwable->className = std::string(className);
    throwable->hasText = message.has_value();
    if (message) throwable->text = std::move(*message);
    return throwable;
}

void Vm::raise(Thread& thread, std::string_view className, std::optional<std::u16string> message) {
    thread.pending = makeThrowable(className, std::move(message));
}

Vm::ObjectPtr Vm::makeString(std::u16string text) {
    auto string = std::make_shared<Object>();
    string->kind = Object::Kind::String;
    string->className = "java/lang/String";
    string->text = std::move(text);
    string->hasText = true;
    return string;
}

Ref Vm::newString(std::uint32_t thread, std::u16string text) {
    enter(thread, "NewString");
    return newRef(thread, makeString(std::move(text)));
}

Ref Vm::newObjectArray(std::uint32_t thread, std::int32_t length, Ref elementClass, Ref initial) {
    Thread& current = enter(thread, "NewObjectArray");
    ObjectPtr element = derefKind(thread, elementClass, Object::Kind::Class, "a class");
    ObjectPtr fill = deref(thread, initial);
    if (length < 0) {
        raise(current, "java/lang/NegativeArraySizeException", u16(std::to_string(length)));
        return 0;
    }
    if (length > kMaxArrayLength) {
        raise(current, "java/lang/OutOfMemoryError", u"Java heap space");
        return 0;
    }
    const std::string& elementName = element->type->name;
    auto array = std::make_shared<Object>();
    array->kind = Object::Kind::Array;
    array->className = elementName.starts_with('[') ? "[" + elementName : "[L" + elementName + ";";
    array->elementClass = elementName;
    array->elements.assign(static_cast<std::size_t>(length), fill);
    return newRef(thread, std::move(array));
}

void Vm::setObjectArrayElement(std::uint32_t thread, Ref arrayRef, std::int32_t index,
                               Ref valueRef) {
    Thread& current = enter(thread, "SetObjectArrayElement");
    ObjectPtr array = derefKind(thread, arrayRef, Object::Kind::Array, "an array");
    ObjectPtr value = deref(thread, valueRef);
    if (index < 0 || static_cast<std::size_t>(index) >= array->elements.size()) {
        raise(current, "java/lang/ArrayIndexOutOfBoundsException",
              u"Index " + u16(std::to_string(index)) + u" out of bounds for length " +
                  u16(std::to_string(array->elements.size())));
        return;
    }
    const std::string& wanted = array->elementClass;
    bool assignable = !value || wanted == "java/lang/Object" || value->className == wanted ||
                      (value->kind == Object::Kind::Throwable && wanted == "java/lang/Throwable");
    if (!assignable) {
        raise(current, "java/lang/ArrayStoreException",
              u"type mismatch: can not store " + className16(value->className) + u" to " +
                  className16(wanted) + u"[" + u16(std::to_string(index)) + u"]");
        return;
    }
    array->elements[static_cast<std::size_t>(index)] = std::move(value);
}

std::int32_t Vm::arrayLength(std::uint32_t thread, Ref array) {
    enter(thread, "GetArrayLength");
    return static_cast<std::int32_t>(
        derefKind(thread, array, Object::Kind::Array, "an array")->elements.size());
}

std::int32_t Vm::stringLength(std::uint32_t thread, Ref string) {
    enter(thread, "GetStringLength");
    return static_cast<std::int32_t>(
        derefKind(thread, string, Object::Kind::String, "a string")->text.size());
}

const char16_t* Vm::getStringChars(std::uint32_t thread, Ref string) {
    enter(thread, "GetStringChars");
    ObjectPtr object = derefKind(thread, string, Object::Kind::String, "a string");
    // Not terminated, as a VM's characters need not be: a caller must go by the length.
    auto chars = std::make_unique<std::u16string>(object->text);
    chars->push_back(u'\uFFFF');
    const char16_t* handedOut = chars->data();
    pinned_.push_back(Pinned{string, std::move(chars)});
    event("GetStringChars", thread).set("string", object->text);
    commit();
    return handedOut;
}

void Vm::releaseStringChars(std::uint32_t thread, Ref string, const char16_t* chars) {
    enter(thread, "ReleaseStringChars", true);
    derefKind(thread, string, Object::Kind::String, "a string");
    auto found = std::find_if(pinned_.begin(), pinned_.end(),
                              [&](const Pinned& pinned) { return pinned.chars->data() == chars; });
    if (found == pinned_.end()) fatal("characters that GetStringChars did not hand out");
    if (found->string != string) fatal("the characters belong to another string");
    pinned_.erase(found);
    event("ReleaseStringChars", thread).set("pinned", static_cast<std::int64_t>(pinned_.size()));
    commit();
}

void Vm::deleteLocalRef(std::uint32_t thread, Ref ref) {
    enter(thread, "DeleteLocalRef", true);
    if (ref == 0) return;
    deref(thread, ref);
    refs_.erase(ref);
}

Ref Vm::exceptionOccurred(std::uint32_t thread) {
    Thread& current = enter(thread, "ExceptionOccurred", true);
    return newRef(thread, current.pending);
}

bool Vm::exceptionCheck(std::uint32_t thread) {
    return enter(thread, "ExceptionCheck", true).pending != nullptr;
}

void Vm::exceptionClear(std::uint32_t thread) {
    enter(thread, "ExceptionClear", true).pending.reset();
}

void Vm::exceptionDescribe(std::uint32_t thread) {
    Thread& current = enter(thread, "ExceptionDescribe", true);
    if (!current.pending) return;
    ObjectPtr pending = std::move(current.pending);
    current.pending.reset();
    std::u16string line =
        u"Exception in thread \"" + current.name + u"\" " + className16(pending->className);
    if (pending->hasText) line += u": " + pending->text;
    host_.printError(line + u"\r\n");
    Json& call = event("ExceptionDescribe", thread);
    call.set("exception", className16(pending->className));
    call.set("message", pending->hasText ? Json(pending->text) : Json());
    commit();
}

std::int32_t Vm::getVersion(std::uint32_t thread) {
    enter(thread, "GetVersion");
    return kJniVersion10;
}

// ---------------------------------------------------------------------------------------
// The invocation interface

int Vm::destroy(std::uint32_t thread) {
    begin(thread, "DestroyJavaVM");
    Json& call = event("DestroyJavaVM", thread);
    if (!running()) {
        call.set("result", kJniErr);
        commit();
        return kJniErr;
    }
    // A real VM waits here for every other non-daemon thread still attached.
    Json& others = call.set("attachedThreads", Json::array());
    for (auto& [id, state] : threads_) {
        if (id != thread && state.attached && !state.daemon) others.push(id);
        if (id != thread && state.attached && state.daemon) state.abandoned = true;
        state.attached = false;
        state.pending.reset();
    }
    destroyed_ = true;
    refs_.clear();
    call.set("result", kJniOk);
    commit();
    return kJniOk;
}

int Vm::attach(std::uint32_t thread, bool daemon, std::int32_t version, const char* name) {
    begin(thread, daemon ? "AttachCurrentThreadAsDaemon" : "AttachCurrentThread");
    int result = kJniOk;
    bool already = false;
    if (!running()) {
        result = kJniErr;
    } else if (version != 0 && !isSupportedVersion(version)) {
        result = kJniVersionError;
    } else if (isAttached(thread)) {
        already = true;
    } else {
        Thread& state = threads_[thread];
        state.attached = true;
        state.daemon = daemon;
        state.pending.reset();
        state.name = name != nullptr ? modifiedUtf8ToUtf16(name)
                                     : u"Thread-" + u16(std::to_string(unnamedThreads_++));
    }
    Json& call = event(daemon ? "AttachCurrentThreadAsDaemon" : "AttachCurrentThread", thread);
    if (already) call.set("already", true);
    if (result == kJniOk) call.set("name", threads_[thread].name);
    call.set("result", result);
    commit();
    return result;
}

int Vm::detach(std::uint32_t thread) {
    begin(thread, "DetachCurrentThread");
    int result = kJniOk;
    if (!running()) {
        result = kJniErr;
    } else if (!isAttached(thread)) {
        result = kJniDetached;
    } else {
        Thread& state = threads_[thread];
        state.attached = false;
        state.pending.reset();
        state.openCall.reset();
        std::erase_if(refs_, [&](const auto& entry) { return entry.second.thread == thread; });
    }
    event("DetachCurrentThread", thread).set("result", result);
    commit();
    return result;
}

bool Vm::blockedAfterDestroy(std::uint32_t thread, const char* function) {
    auto found = threads_.find(thread);
    if (!destroyed_ || found == threads_.end() || !found->second.abandoned) return false;
    event("blocked", thread).set("function", function);
    commit();
    return true;
}

int Vm::getEnv(std::uint32_t thread, std::int32_t version) {
    begin(thread, "GetEnv");
    int result = kJniOk;
    if (!isAttached(thread)) {
        result = kJniDetached;
    } else if (version != kJniVersion1_1 && !isSupportedVersion(version)) {
        result = kJniVersionError;
    }
    Json& call = event("GetEnv", thread);
    call.set("version", version);
    call.set("result", result);
    commit();
    return result;
}

void Vm::unimplemented(std::uint32_t thread, std::string_view function) {
    begin(thread, "unimplemented");
    event("unimplemented", thread).set("name", function);
    commit();
}

}  // namespace standin::jvm
