// The stand-in VM: the JNI invocation interface over classes found on the class path it is
// given, running nothing, recording what a launcher asked of it (see jvm_standin.cpp).
#pragma once

#include <windows.h>

namespace standin::jvm {

// Called from the DLL's exported JNI_CreateJavaVM with the DLL's own module.
int createJavaVm(HMODULE module, void** vm, void** env, void* args);

}  // namespace standin::jvm
