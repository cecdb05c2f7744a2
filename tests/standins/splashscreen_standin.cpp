// Stands in for a runtime's splashscreen.dll: the three entry points a launcher calls, each
// recorded in splash-record.txt beside the DLL ("init", "load <size> <result>", "close", each
// after the process id), and the image bytes SplashLoadMemory received written unchanged to
// splash-image-<pid>.bin there. It shows no window: what a test needs to know is what the
// library was handed.
#include <windows.h>

#include <string>

#include "standin_io.h"

namespace {

HMODULE self = nullptr;

void record(const std::string& what) {
    standin::appendLine(standin::moduleDirectory(self) + L"splash-record.txt",
                        std::to_string(GetCurrentProcessId()) + " " + what);
}

}  // namespace

extern "C" __declspec(dllexport) void SplashInit() {
    record("init");
}

// A real library answers 1 for an image it could decode; this one takes any bytes.
extern "C" __declspec(dllexport) int SplashLoadMemory(void* data, int size) {
    int result = data != nullptr && size > 0 ? 1 : 0;
    std::wstring image = standin::moduleDirectory(self) + L"splash-image-" +
                         std::to_wstring(GetCurrentProcessId()) + L".bin";
    HANDLE file = CreateFileW(image.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        if (result) WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
        CloseHandle(file);
    }
    record("load " + std::to_string(size) + " " + std::to_string(result));
    return result;
}

extern "C" __declspec(dllexport) void SplashClose() {
    record("close");
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}
