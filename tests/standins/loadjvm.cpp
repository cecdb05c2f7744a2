// The least a launcher does to reach a VM: load jvm.dll and find its entry point. A GUI
// program like the launcher, so that timing it measures the same kind of process start.
// `loadjvm JVM.DLL` exits 0 when both steps worked, 1 when either failed; `--create` after
// the path also calls the entry point and prints what it returned.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr int kExitUsage = 2;

using CreateJavaVm = int(__stdcall*)(void**, void**, void*);

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    bool create = __argc == 3 && std::wstring_view(__wargv[2]) == L"--create";
    if (__argc != 2 && !create) return kExitUsage;
    HMODULE jvm = LoadLibraryW(__wargv[1]);
    if (jvm == nullptr) return 1;
    auto entry = reinterpret_cast<CreateJavaVm>(
        reinterpret_cast<void*>(GetProcAddress(jvm, "JNI_CreateJavaVM")));
    if (entry == nullptr) return 1;
    if (create) {
        void* vm = nullptr;
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
