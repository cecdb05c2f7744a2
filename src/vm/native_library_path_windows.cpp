#include "core/keys.h"
#include "core/settings.h"
#include "expansion/variables.h"
#include "platform/paths.h"
#include "platform/text_windows.h"
#include "vm/java_vm_launcher_windows.h"
#include "vm/native_library_path.h"

namespace tesmo {

namespace {

void expandInPlace(WideString& text) {
    expandVariables(text);
}

WideString currentPath() {
    WideString value;
    readEnvironment(L"PATH", value);
    return value;
}

bool writePath(const WideString& value, int& error) {
    if (writeEnvironment(L"PATH", value)) return true;
    error = static_cast<int>(GetLastError());
    return false;
}

const NativeLibraryPathSources kSources = {expandInPlace, resolvePathList, currentPath, writePath};

}  // namespace

void setNativeLibraryPath() {
    applyNativeLibraryPath(getSettingWideString(kKeyNativeLibraryDirectories), kSources);
}

}  // namespace tesmo
