// Loading the chosen runtime's jvm.dll into the launcher's own process.
#pragma once

#include <jni.h>

#include "platform/text.h"

namespace tesmo {

using CreateJavaVMFunction = jint(JNICALL*)(JavaVM**, void**, void*);

// JNI_CreateJavaVM of the loaded library; null until LoadDLL succeeds.
extern CreateJavaVMFunction createJavaVMEntry;

// Searches a runtime, loads its VM library and resolves JNI_CreateJavaVM. On failure the
// messages have been shown and the caller ends the launcher with exit code 83.
bool LoadDLL();

}  // namespace tesmo
