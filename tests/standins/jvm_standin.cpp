// Stands in for a runtime's jvm.dll: the JNI invocation interface over the classes of the
// class path it is given (see jvm/vm.cpp), running nothing, recording what a launcher asked.
//
// Loading it appends to jvm-record.txt beside it where it was loaded from and the PATH it
// found, both as Windows and as the C runtime see it: a real VM reads PATH through its C
// runtime, whose copy of the environment is taken when the C runtime starts, so a launcher
// has to change PATH in a way both see. Each call of JNI_CreateJavaVM appends "create", a
// call of a JNI function the stand-in leaves out "unimplemented <slot>", other misuse
// "fatal <message>"; each main begun appends "main" to jvm-main.txt.
//
// From the first JNI_CreateJavaVM on, jvm-launch-<pid>.json beside the DLL holds the
// process's record, rewritten whole after every event:
//   pid, dll                 the process and the DLL's path
//   version                  JavaVMInitArgs.version (null without arguments)
//   ignoreUnrecognized       as given
//   options                  every optionString in order, each byte as the character of
//                            that number (null for a null optionString)
//   classPath                the entries of the last -Djava.class.path, decoded in the
//                            ANSI code page as a VM decodes them, empty entries dropped
//   createResult             of the first creation, or of the one that succeeded
//   events                   {"call", "thread", ...} in order: JNI_CreateJavaVM (result,
//                            problem), FindClass (name, found, from, classPathProblems),
//                            main (class, args, check: whether the wrapper can start the
//                            class in args[1]), firstRun (class, result), CallStaticMethod
//                            (class, name, signature, result), GetStringChars (string),
//                            ReleaseStringChars (pinned: how many are still held),
//                            AttachCurrentThread[AsDaemon] (name, result),
//                            DetachCurrentThread (result), DestroyJavaVM (attachedThreads:
//                            the non-daemon threads a VM would wait for), blocked (function:
//                            a daemon thread that called in after DestroyJavaVM, which blocks
//                            it for good, as a VM does), warning, unimplemented, fatal
// Behaviours are chosen with VM options: -Dstandin.main=return|throw:<class>|exit:<n>|
// window:<ms>|sleep:<ms>, -Dstandin.mainWait=<file> (main first waits until the file
// exists), -Dstandin.firstRun=true|false|throw[:<class>], and -Dstandin.splash=<step>;...
// for the splash controller com.tesmo.runtime.TesmoController: each step "<n>[:<text>]" is
// one answer of getAction, with the text the following getText answers (null without
// one), and "until:<file>" answers 0 until the file exists; past the last step getAction
// answers 0. -Xmx above 64g fails creation with JNI_ENOMEM.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "jvm/vm.h"
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
// Declared with plain types: the export's decoration must not depend on the JNI headers.
extern "C" __declspec(dllexport) int __stdcall JNI_CreateJavaVM(void** vm, void** env, void* args) {
    standin::appendLine(record(), "create");
    return standin::jvm::createJavaVm(self, vm, env, args);
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
