// Extracting the included files into the launcher's temporary directory.
#pragma once

#include <cstdint>

namespace tesmo {

// 0 on success (also with nothing to extract), 1 on a read failure, 2 on a write failure.
int extractIncludedFiles();

}  // namespace tesmo
