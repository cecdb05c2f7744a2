// The JNI face of the stand-in VM: JNI_CreateJavaVM and the complete JavaVM and JNIEnv
// function tables over standin::jvm::Vm.
#pragma once

#include <windows.h>

namespace standin::jvm {

// Called from the DLL's exported JNI_CreateJavaVM with the DLL's own module.
int createJavaVm(HMODULE module, void** vm, void** env, void* args);

}  // namespace standin::jvm
