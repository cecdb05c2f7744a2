// The configured native library directories in front of PATH, before the runtime is loaded,
// so that they also become the VM's library path.
#pragma once

#include "platform/text.h"

namespace tesmo {

struct NativeLibraryPathSources {
    void (*expand)(WideString& text);
    bool (*resolveList)(WideString& out, const WideString& list);
    WideString (*readPath)();
    // False when the system refuses the value; `error` then says why.
    bool (*writePath)(const WideString& value, int& error);
};

// The resolved directories, a ";" unless they end in one, then the current PATH kept whole.
WideString nativeLibraryPath(const WideString& directories, const WideString& current);

// Expands and resolves the configured directories and sets PATH; a value beyond
// the system's limit is refused, which the log then shows.
void applyNativeLibraryPath(WideString directories, const NativeLibraryPathSources& sources);

}  // namespace tesmo
