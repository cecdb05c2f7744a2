// Creating the Java VM inside the launcher's process and calling the wrapper class's main.
#pragma once

#include <jni.h>

#include "core/command_line.h"

namespace tesmo {

// Puts the configured native library directories in front of PATH, before the runtime is
// loaded, so that they also become the VM's library path.
void setNativeLibraryPath();

// Builds the options, creates the VM, runs the first-run hook and calls the wrapper's main;
// returns after main has returned and the VM was destroyed. False: the VM could not be
// created or main could not be called.
bool launchJavaApplication(const ArgumentList& arguments);

// For a thread of the launcher that talks to the VM (the splash): nothing before the VM
// exists.
JNIEnv* attachToVm();
void detachFromVm();

}  // namespace tesmo
