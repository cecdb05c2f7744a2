// The least a launcher does to reach a VM, as a baseline for the start-up benchmark. A GUI
// program like the launcher, so that timing it measures the same kind of process start.
//   loadjvm JVM.DLL                       load jvm.dll and find its entry point
//   loadjvm JVM.DLL --create              also call the entry point, print what it returned
//   loadjvm JVM.DLL --main CLASSPATH CLASS
//                                         create a VM with that class path and call the
//                                         class's main with no arguments
// Exit code 0 when every step worked, 1 when one failed, 2 for a usage error.
#include <jni.h>
#include <windows.h>

#include <string>
#include <string_view>

namespace {

constexpr int kExitUsage = 2;

using CreateJavaVm = jint(JNICALL*)(JavaVM**, void**, void*);

std::string narrow(const wchar_t* text) {
    int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back();
    return out;
}

int callMain(CreateJavaVm entry, const wchar_t* classPath, const wchar_t* className) {
    std::string option = "-Djava.class.path=" + narrow(classPath);
    JavaVMOption options[] = {{option.data(), nullptr}};
    JavaVMInitArgs init{JNI_VERSION_1_2, 1, options, JNI_TRUE};
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (entry(&vm, reinterpret_cast<void**>(&env), &init) != JNI_OK) return 1;
    std::string name = narrow(className);
    for (char& c : name) c = c == '.' ? '/' : c;
    jclass cls = env->FindClass(name.c_str());
    jmethodID main = cls ? env->GetStaticMethodID(cls, "main", "([Ljava/lang/String;)V") : nullptr;
    jclass stringClass = env->FindClass("java/lang/String");
    if (!main || !stringClass) return 1;
    env->CallStaticVoidMethod(cls, main, env->NewObjectArray(0, stringClass, nullptr));
    bool failed = env->ExceptionCheck();
    vm->DestroyJavaVM();
    return failed ? 1 : 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    bool create = __argc == 3 && std::wstring_view(__wargv[2]) == L"--create";
    bool main = __argc == 5 && std::wstring_view(__wargv[2]) == L"--main";
    if (__argc != 2 && !create && !main) return kExitUsage;
    HMODULE jvm = LoadLibraryW(__wargv[1]);
    if (jvm == nullptr) return 1;
    auto entry = reinterpret_cast<CreateJavaVm>(
        reinterpret_cast<void*>(GetProcAddress(jvm, "JNI_CreateJavaVM")));
    if (entry == nullptr) return 1;
    if (main) return callMain(entry, __wargv[3], __wargv[4]);
    if (create) {
        JavaVM* vm = nullptr;
        void* env = nullptr;
        std::string line = "JNI_CreateJavaVM returned " + std::to_string(entry(&vm, &env, nullptr));
        line += "\r\n";
        DWORD written = 0;
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        if (out != nullptr && out != INVALID_HANDLE_VALUE) {
            WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        }
    }
    return 0;
}
