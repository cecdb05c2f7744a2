// Stands in for a runtime's jvm.dll. Loading it leaves a record beside it of where it was
// loaded from and of the PATH it found, both as Windows and as the C runtime see it: a real
// VM reads PATH through its C runtime, whose copy of the environment is taken when the C
// runtime starts, so a launcher has to change PATH in a way both see.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "standin_io.h"

namespace {

HMODULE self = nullptr;

std::wstring record() {
    return standin::moduleDirectory(self) + L"jvm-record.txt";
}

std::wstring environmentPath() {
    DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (size == 0) return L"<unset>";
    std::wstring value(size, L'\0');
    DWORD length = GetEnvironmentVariableW(L"PATH", value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

}  // namespace

#ifndef TESMO_STANDIN_NO_EXPORT
// Declared with plain types: the JNI types of the launcher are not needed to stand in.
extern "C" __declspec(dllexport) int __stdcall JNI_CreateJavaVM(void**, void**, void*) {
    standin::appendLine(record(), "create");
    return -1;
}
#endif

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    self = instance;
    const wchar_t* crtPath = _wgetenv(L"PATH");
    std::wstring file = record();
    standin::appendLine(file, "loaded=" + standin::toUtf8(standin::modulePath(self)));
    standin::appendLine(file, "PATH=" + standin::toUtf8(environmentPath()));
    standin::appendLine(file, "CRT_PATH=" + standin::toUtf8(crtPath ? crtPath : L"<unset>"));
    return TRUE;
}
