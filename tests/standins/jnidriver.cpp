// Drives a jvm.dll the way the launcher does, one step per command-line word, and prints
// what each step returned, so that the stand-in VM can be tested without the launcher.
//
//   jnidriver --jvm JVM.DLL [creation...] [steps...]
// Creation: --version N (JavaVMInitArgs.version, default 0x00010002), --strict
// (ignoreUnrecognized false), -O OPTION (a VM option; each UTF-16 unit up to U+00FF becomes
// one byte, as the launcher converts them), --null-option, --option-count N, --no-args,
// --exit-hook, --abort-hook, --vfprintf-hook (the options "exit", "abort" and "vfprintf"
// with hooks that print what they are given).
// Steps: --style plain|V|A (how later calls pass their arguments), --find NAME,
// --method CLASS NAME SIGNATURE, --first-run CLASS, --main CLASS COUNT ARG... ("--null"
// leaves an element null), --watch-window (the next --main looks for the application's
// window from another thread while main runs), --store-outside, --get-version,
// --thread attach|daemon|getenv|detach-unattached, --foreign-env, --unimplemented,
// --create-again, --destroy.
// After every step a pending exception is reported and described, as a launcher does.
// Exit code: 0, 1 when JNI_CreateJavaVM failed, 2 for a usage error.
#include <jni.h>
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kExitUsage = 2;

using CreateJavaVm = jint(JNICALL*)(JavaVM**, void**, void*);

enum class Style { Plain, V, A };

void print(const std::string& line) {
    std::string text = line + "\r\n";
    DWORD written = 0;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE) {
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

std::string utf8(std::wstring_view text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

// As the launcher hands options to the VM.
std::string narrow(std::wstring_view text) {
    std::string result;
    for (wchar_t c : text) result.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
    return result;
}

void JNICALL exitHook(jint code) {
    print("exit hook: " + std::to_string(code));
}

void JNICALL abortHook() {
    print("abort hook");
}

jint JNICALL vfprintfHook(FILE*, const char* format, va_list arguments) {
    char text[1024];
    int length = std::vsnprintf(text, sizeof text, format, arguments);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    print("vfprintf hook: " + line);
    return length;
}

[[noreturn]] void usage(const std::string& why) {
    print("usage: " + why);
    ExitProcess(kExitUsage);
}

constexpr wchar_t kWindowTitle[] = L"tesmo stand-in application";
constexpr ULONGLONG kWatchMs = 20000;

// Looks for the application's window among this process's top-level windows, as a user
// would see it, independently of what the VM says it did.
struct WindowWatch {
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool seen = false;
    bool visible = false;

    static BOOL CALLBACK check(HWND window, LPARAM parameter) {
        auto* watch = reinterpret_cast<WindowWatch*>(parameter);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process != GetCurrentProcessId()) return TRUE;
        // Answered by the window's thread, which runs its message loop while main runs.
        wchar_t title[64] = {};
        GetWindowTextW(window, title, 64);
        if (std::wstring_view(title) != kWindowTitle) return TRUE;
        watch->seen = true;
        watch->visible = IsWindowVisible(window) != FALSE;
        return FALSE;
    }

    static DWORD WINAPI run(void* parameter) {
        auto* watch = static_cast<WindowWatch*>(parameter);
        ULONGLONG deadline = GetTickCount64() + kWatchMs;
        while (!watch->seen && GetTickCount64() < deadline &&
               WaitForSingleObject(watch->done, 20) == WAIT_TIMEOUT) {
            EnumWindows(check, reinterpret_cast<LPARAM>(watch));
        }
        return 0;
    }
};

struct Driver {
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    CreateJavaVm create = nullptr;
    Style style = Style::Plain;
    bool watchWindow = false;

    void reportException(const std::string& step) {
        if (env->ExceptionCheck()) {
            print(step + ": exception pending");
            env->ExceptionDescribe();
        }
    }

    jclass findClass(const std::string& name) {
        jclass cls = env->FindClass(name.c_str());
        print("FindClass " + name + ": " + (cls != nullptr ? "found" : "null"));
        reportException("FindClass " + name);
        return cls;
    }

    jmethodID staticMethod(jclass cls, const std::string& name, const std::string& signature) {
        jmethodID method = env->GetStaticMethodID(cls, name.c_str(), signature.c_str());
        print("GetStaticMethodID " + name + " " + signature + ": " +
              (method != nullptr ? "found" : "null"));
        reportException("GetStaticMethodID " + name);
        return method;
    }

    static void callVoidV(JNIEnv* env, jclass cls, jmethodID method, ...) {
        va_list arguments;
        va_start(arguments, method);
        env->CallStaticVoidMethodV(cls, method, arguments);
        va_end(arguments);
    }

    static jboolean callBooleanV(JNIEnv* env, jclass cls, jmethodID method, ...) {
        va_list arguments;
        va_start(arguments, method);
        jboolean result = env->CallStaticBooleanMethodV(cls, method, arguments);
        va_end(arguments);
        return result;
    }

    void callMain(jclass cls, jmethodID method, jobjectArray args) {
        jvalue values[1];
        values[0].l = args;
        switch (style) {
            case Style::Plain:
                env->CallStaticVoidMethod(cls, method, args);
                break;
            case Style::V:
                callVoidV(env, cls, method, args);
                break;
            case Style::A:
                env->CallStaticVoidMethodA(cls, method, values);
                break;
        }
    }

    jboolean callFirstRun(jclass cls, jmethodID method) {
        switch (style) {
            case Style::Plain:
                return env->CallStaticBooleanMethod(cls, method);
            case Style::V:
                return callBooleanV(env, cls, method);
            case Style::A:
                return env->CallStaticBooleanMethodA(cls, method, nullptr);
        }
        return JNI_FALSE;
    }

    void main(const std::string& className, const std::vector<std::wstring>& arguments) {
        jclass stringClass = findClass("java/lang/String");
        jobjectArray array =
            env->NewObjectArray(static_cast<jsize>(arguments.size()), stringClass, nullptr);
        print("NewObjectArray: length " + std::to_string(env->GetArrayLength(array)));
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            if (arguments[i] == L"--null") continue;
            const auto* chars = reinterpret_cast<const jchar*>(arguments[i].data());
            jstring text = env->NewString(chars, static_cast<jsize>(arguments[i].size()));
            if (static_cast<std::size_t>(env->GetStringLength(text)) != arguments[i].size()) {
                print("GetStringLength differs for argument " + std::to_string(i));
            }
            env->SetObjectArrayElement(array, static_cast<jsize>(i), text);
            env->DeleteLocalRef(text);
        }
        jclass cls = findClass(className);
        if (cls == nullptr) return;
        jmethodID method = staticMethod(cls, "main", "([Ljava/lang/String;)V");
        if (method == nullptr) return;
        WindowWatch watch;
        HANDLE watcher =
            watchWindow ? CreateThread(nullptr, 0, WindowWatch::run, &watch, 0, nullptr) : nullptr;
        ULONGLONG started = GetTickCount64();
        callMain(cls, method, array);
        ULONGLONG took = GetTickCount64() - started;
        print("main returned after " + std::to_string(took) + " ms");
        if (watcher != nullptr) {
            SetEvent(watch.done);
            WaitForSingleObject(watcher, INFINITE);
            CloseHandle(watcher);
            print(std::string("window ") + (watch.seen ? "seen" : "not seen") +
                  (watch.visible ? ", visible" : ""));
            watchWindow = false;
        }
        CloseHandle(watch.done);
        reportException("main");
        env->DeleteLocalRef(array);
        env->DeleteLocalRef(cls);
        env->DeleteLocalRef(stringClass);
    }

    void firstRun(const std::string& className) {
        jclass cls = findClass(className);
        if (cls == nullptr) return;
        jmethodID method = staticMethod(cls, "firstRun", "()Z");
        if (method == nullptr) return;
        jboolean result = callFirstRun(cls, method);
        print(std::string("firstRun: ") + (result ? "true" : "false"));
        reportException("firstRun");
    }

    void storeOutside() {
        jclass stringClass = findClass("java/lang/String");
        jobjectArray array = env->NewObjectArray(1, stringClass, nullptr);
        jstring text = env->NewString(reinterpret_cast<const jchar*>(u"x"), 1);
        env->SetObjectArrayElement(array, 1, text);
        reportException("SetObjectArrayElement 1");
    }
};

struct ThreadWork {
    JavaVM* vm;
    std::wstring what;
    JNIEnv* foreignEnv;
};

DWORD WINAPI threadMain(void* parameter) {
    auto* work = static_cast<ThreadWork*>(parameter);
    JavaVM* vm = work->vm;
    if (work->what == L"foreign-env") {
        work->foreignEnv->ExceptionCheck();
        return 0;
    }
    if (work->what == L"detach-unattached") {
        print("DetachCurrentThread: " + std::to_string(vm->DetachCurrentThread()));
        return 0;
    }
    void* env = nullptr;
    if (work->what == L"getenv") {
        print("GetEnv: " + std::to_string(vm->GetEnv(&env, JNI_VERSION_1_2)));
        return 0;
    }
    char name[] = "splash";
    JavaVMAttachArgs arguments{JNI_VERSION_1_2, name, nullptr};
    jint attached = work->what == L"daemon" ? vm->AttachCurrentThreadAsDaemon(&env, &arguments)
                                            : vm->AttachCurrentThread(&env, &arguments);
    print("AttachCurrentThread: " + std::to_string(attached));
    void* again = nullptr;
    jint got = vm->GetEnv(&again, JNI_VERSION_1_8);
    print("GetEnv: " + std::to_string(got) + (again == env ? " same env" : " other env"));
    print("DetachCurrentThread: " + std::to_string(vm->DetachCurrentThread()));
    print("GetEnv after detach: " + std::to_string(vm->GetEnv(&again, JNI_VERSION_1_8)));
    return 0;
}

void runThread(ThreadWork work) {
    HANDLE thread = CreateThread(nullptr, 0, threadMain, &work, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

std::wstring take(int& i, const std::wstring& option) {
    if (i + 1 >= __argc) usage(utf8(option) + " needs a value");
    return __wargv[++i];
}

}  // namespace

int wmain() {
    if (__argc < 3 || std::wstring_view(__wargv[1]) != L"--jvm") usage("jnidriver --jvm DLL ...");
    HMODULE jvm = LoadLibraryW(__wargv[2]);
    if (jvm == nullptr) usage("cannot load " + utf8(__wargv[2]));
    Driver driver;
    driver.create = reinterpret_cast<CreateJavaVm>(
        reinterpret_cast<void*>(GetProcAddress(jvm, "JNI_CreateJavaVM")));
    if (driver.create == nullptr) usage("no JNI_CreateJavaVM");

    jint version = JNI_VERSION_1_2;
    bool ignore = true;
    bool withArguments = true;
    std::vector<std::string> optionTexts;
    std::vector<bool> nullOptions;
    std::vector<void*> extraInfo;
    std::optional<long> optionCount;
    int i = 3;
    for (; i < __argc; ++i) {
        std::wstring word = __wargv[i];
        if (word == L"--version") {
            version = static_cast<jint>(std::wcstoul(take(i, word).c_str(), nullptr, 0));
        } else if (word == L"--strict") {
            ignore = false;
        } else if (word == L"-O") {
            optionTexts.push_back(narrow(take(i, word)));
            nullOptions.push_back(false);
            extraInfo.push_back(nullptr);
        } else if (word == L"--null-option") {
            optionTexts.emplace_back();
            nullOptions.push_back(true);
            extraInfo.push_back(nullptr);
        } else if (word == L"--exit-hook" || word == L"--abort-hook" ||
                   word == L"--vfprintf-hook") {
            optionTexts.push_back(narrow(word.substr(2, word.size() - 7)));
            nullOptions.push_back(false);
            extraInfo.push_back(word == L"--exit-hook"    ? reinterpret_cast<void*>(exitHook)
                                : word == L"--abort-hook" ? reinterpret_cast<void*>(abortHook)
                                                          : reinterpret_cast<void*>(vfprintfHook));
        } else if (word == L"--option-count") {
            optionCount = std::wcstol(take(i, word).c_str(), nullptr, 10);
        } else if (word == L"--no-args") {
            withArguments = false;
        } else {
            break;
        }
    }
    std::vector<JavaVMOption> options(optionTexts.size());
    for (std::size_t k = 0; k < options.size(); ++k) {
        options[k].optionString = nullOptions[k] ? nullptr : optionTexts[k].data();
        options[k].extraInfo = extraInfo[k];
    }
    JavaVMInitArgs arguments;
    arguments.version = version;
    arguments.nOptions =
        optionCount ? static_cast<jint>(*optionCount) : static_cast<jint>(options.size());
    arguments.options = options.empty() ? nullptr : options.data();
    arguments.ignoreUnrecognized = ignore ? JNI_TRUE : JNI_FALSE;
    void* env = nullptr;
    jint created = driver.create(&driver.vm, &env, withArguments ? &arguments : nullptr);
    print("JNI_CreateJavaVM: " + std::to_string(created));
    if (created != JNI_OK) return 1;
    driver.env = static_cast<JNIEnv*>(env);

    for (; i < __argc; ++i) {
        std::wstring word = __wargv[i];
        if (word == L"--style") {
            std::wstring style = take(i, word);
            driver.style = style == L"V" ? Style::V : style == L"A" ? Style::A : Style::Plain;
        } else if (word == L"--find") {
            driver.findClass(narrow(take(i, word)));
        } else if (word == L"--method") {
            std::string cls = narrow(take(i, word));
            std::string name = narrow(take(i, word));
            std::string signature = narrow(take(i, word));
            if (jclass found = driver.findClass(cls)) driver.staticMethod(found, name, signature);
        } else if (word == L"--first-run") {
            driver.firstRun(narrow(take(i, word)));
        } else if (word == L"--main") {
            std::string cls = narrow(take(i, word));
            long count = std::wcstol(take(i, word).c_str(), nullptr, 10);
            std::vector<std::wstring> mainArguments;
            for (long k = 0; k < count; ++k) mainArguments.push_back(take(i, word));
            driver.main(cls, mainArguments);
        } else if (word == L"--watch-window") {
            driver.watchWindow = true;
        } else if (word == L"--store-outside") {
            driver.storeOutside();
        } else if (word == L"--get-version") {
            char text[16];
            wsprintfA(text, "0x%08lx", static_cast<unsigned long>(driver.env->GetVersion()));
            print(std::string("GetVersion: ") + text);
        } else if (word == L"--thread") {
            runThread(ThreadWork{driver.vm, take(i, word), nullptr});
        } else if (word == L"--foreign-env") {
            runThread(ThreadWork{driver.vm, L"foreign-env", driver.env});
        } else if (word == L"--unimplemented") {
            driver.env->GetObjectClass(nullptr);
            print("GetObjectClass returned");
        } else if (word == L"--create-again") {
            JavaVM* second = nullptr;
            void* secondEnv = nullptr;
            print("JNI_CreateJavaVM again: " +
                  std::to_string(driver.create(&second, &secondEnv, &arguments)));
        } else if (word == L"--destroy") {
            print("DestroyJavaVM: " + std::to_string(driver.vm->DestroyJavaVM()));
        } else {
            usage("unknown step " + utf8(word));
        }
    }
    return 0;
}
