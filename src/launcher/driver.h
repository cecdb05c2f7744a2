// The launcher's start-up sequence, run by the entry point.
#pragma once

namespace tesmo {

// Returns the exit code of a completed start; failures end the process inside a stage.
int runLauncher(void* instance, const char* narrowCommandLine, int showCommand);

}  // namespace tesmo
