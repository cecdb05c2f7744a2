// The start-up sequence. Every stage either returns or ends the process itself through
// exitLauncher; there is no unwinding back to here.
#include <windows.h>

#include "core/error_reporting.h"
#include "core/internal_errors.h"
#include "core/keys.h"
#include "core/launcher_state.h"
#include "core/settings.h"
#include "files/extraction.h"
#include "instance/single_instance.h"
#include "launcher/console.h"
#include "launcher/driver.h"
#include "launcher/initialise.h"
#include "platform/text_windows.h"
#include "runtime/runtime_library_windows.h"
#include "splash/splash.h"
#include "vm/java_vm_launcher_windows.h"

namespace tesmo {

int runLauncher(void* instance, const char* narrowCommandLine, int showCommand) {
    if (isRebootRequest(narrowCommandLine)) {
        rebootSystem();
        return 0;
    }
    if (isLanguageRestart(narrowCommandLine)) languageRestart = true;
    if (isInternalQuiet(narrowCommandLine)) quietMode = true;

    // The splash hides before any message, whether or not it was ever shown.
    registerBeforeMessage([] { splashScreen(0); });
    ArgumentList argumentList;
    splitCommandLine(fromWindows(GetCommandLineW()), argumentList);
    initialiseLauncher(instance, argumentList);

    bool quietSwitches = getSettingInt(kKeyQuietSwitches) != 0;
    if (quietSwitches || getSettingInt(kKeyConsoleSwitch) != 0) {
        ConsoleSwitches switches = scanConsoleSwitches(argumentList, quietSwitches);
        if (switches.quiet) quietMode = true;
        for (int i = 0; i < switches.consoleRequests; ++i) obtainConsole();
    }

    // A language restart is started by the running instance itself and must not meet it
    // as a second start.
    if (!languageRestart) checkSingleInstance();

    bool splash = getSettingInt(kKeySplashEnabled) != 0;
    // The runtime's own splash library is found through the runtime, so it comes later.
    bool librarySplash = getSettingInt(kKeySplashThroughRuntime) != 0;
    if (splash && !librarySplash) splashScreen(showCommand);

    if (extractIncludedFiles() != 0) {
        fatalMessage(kMessageInternalError, internal_error::kExtraction);
    }
    setNativeLibraryPath();
    if (!LoadDLL()) exitLauncher(83);
    if (splash && librarySplash) splashScreen(showCommand);
    if (!launchJavaApplication(argumentList)) fatalMessageWide(kMessageVmNotStarted, nullptr);
    return 0;
}

}  // namespace tesmo
