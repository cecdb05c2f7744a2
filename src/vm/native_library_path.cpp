#include "vm/native_library_path.h"

#include "core/log.h"

namespace tesmo {

WideString nativeLibraryPath(const WideString& directories, const WideString& current) {
    WideString path = directories;
    if (!path.empty() && path.back() != u';') path.push_back(u';');
    return path + current;
}

void applyNativeLibraryPath(WideString directories, const NativeLibraryPathSources& sources) {
    logMessage("native lib dir is %S", directories);
    sources.expand(directories);
    WideString resolved;
    sources.resolveList(resolved, directories);
    WideString path = nativeLibraryPath(resolved, sources.readPath());
    int error = 0;
    if (sources.writePath(path, error)) {
        logMessage("Setting PATH (native libs) %S", path);
    } else {
        logMessage("Setting PATH (native libs) %S failed with error %d", path, error);
    }
}

}  // namespace tesmo
