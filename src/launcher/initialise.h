// The initialisation stage: log switch, configuration block, flavour, working directory
// and the log-file question.
#pragma once

#include "core/command_line.h"

namespace tesmo {

void initialiseLauncher(void* instance, ArgumentList& arguments);

}  // namespace tesmo
