// The start-up sequence. Every stage either returns or ends the process itself through
// exitLauncher; there is no unwinding back to here.
#include <windows.h>

#include "launcher/driver.h"

#include "config/keys.h"
#include "config/settings.h"
#include "files/extraction.h"
#include "instance/single_instance.h"
#include "launcher/console.h"
#include "launcher/error_reporting.h"
#include "launcher/initialise.h"
#include "launcher/launcher_state.h"
#include "platform/windows_text.h"
#include "runtime/runtime_library.h"
#include "splash/splash.h"
#include "vm/java_vm_launcher.h"

namespace tesmo {

bool quietMode = false;
bool languageRestart = false;
ArgumentList argumentList;
char flavourLetter = '\0';
std::string productName = "korvane";
void* launcherInstance = nullptr;

int runLauncher(void* instance, const char* narrowCommandLine, int showCommand) {
    if (isRebootRequest(narrowCommandLine)) {
        rebootSystem();
        return 0;
    }
    if (isLanguageRestart(narrowCommandLine)) languageRestart = true;
    if (isInternalQuiet(narrowCommandLine)) quietMode = true;

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
    if (!languageRestart) checkSingleInstance(true, true);

    bool splash = getSettingInt(kKeySplashEnabled) != 0;
    // The runtime's own splash library is found through the runtime, so it comes later.
    bool librarySplash = getSettingInt(kKeySplashThroughRuntime) != 0;
    if (splash && !librarySplash) splashScreen(showCommand);

    if (extractIncludedFiles(true) != 0) fatalMessage(kMessageInternalError, "16");
    setNativeLibraryPath();
    if (!LoadDLL()) exitLauncher(83);
    if (splash && librarySplash) splashScreen(showCommand);
    if (!launchJavaApplication(argumentList, true)) fatalMessageWide(kMessageVmNotStarted, nullptr);

    argumentList.clear();
    return 0;
}

}  // namespace tesmo
