// Extracting the included files into the launcher's temporary directory.
#pragma once

#include <cstdint>

namespace tesmo {

// The file position behind the last included file read; 0 until set.
extern std::int64_t unextractedPosition;

// 0 on success (also with nothing to extract), 1 on a read failure, 2 on a write failure.
int extractIncludedFiles(bool createTempDirectory);

}  // namespace tesmo
