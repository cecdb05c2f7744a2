#include "core/keys.h"
#include "core/log.h"
#include "core/settings.h"
#include "expansion/variables.h"
#include "platform/paths.h"
#include "platform/text_windows.h"
#include "vm/java_vm_launcher_windows.h"

namespace tesmo {

void setNativeLibraryPath() {
    WideString directories = getSettingWideString(kKeyNativeLibraryDirectories);
    logMessage("native lib dir is %S", directories);
    expandVariables(directories);
    WideString path;
    resolvePathList(path, directories);
    if (!path.empty() && path.back() != u';') path.push_back(u';');
    // The existing PATH is kept whole in front of which the directories go; the system
    // refuses a value beyond its own limit, which the log then shows.
    WideString current;
    readEnvironment(L"PATH", current);
    path += current;
    if (writeEnvironment(L"PATH", path)) {
        logMessage("Setting PATH (native libs) %S", path);
    } else {
        logMessage("Setting PATH (native libs) %S failed with error %d", path,
                   static_cast<int>(GetLastError()));
    }
}

}  // namespace tesmo
