// Extracting the included files into the launcher's temporary directory.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace tesmo {

// 0 on success (also with nothing to extract), 1 on a read failure, 2 on a write failure.
int extractIncludedFiles();

struct ExtractionCalls {
    // False when the directory neither exists nor could be made.
    bool (*createDirectory)(const WideString& path);
    // Writes the next file of the bundle to `target`: 0, or 1 or 2 as extractIncludedFiles.
    int (*extract)(void* context, const WideString& target);
    void* context;
};

// The files leave the bundle in the order of their names, each into `directory`, its one
// directory level made first; the first failure ends the extraction with its result.
int extractInOrder(const WideString& directory, const std::vector<WideString>& names,
                   const ExtractionCalls& calls);

}  // namespace tesmo
