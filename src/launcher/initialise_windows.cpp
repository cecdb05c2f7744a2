#include "config/block_reader.h"
#include "config/configuration.h"
#include "core/keys.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/settings.h"
#include "expansion/variables.h"
#include "files/temp_directory.h"
#include "launcher/initialise.h"
#include "platform/common_controls.h"
#include "platform/paths.h"
#include "platform/text_windows.h"

namespace tesmo {

namespace {

void changeWorkingDirectory() {
    WideString directory = getSettingWideString(kKeyWorkingDirectory);
    if (directory.empty()) {
        logMessage("working directory unchanged");
        return;
    }
    expandVariables(directory);
    WideString full;
    fullPath(full, directory, true);
    SetCurrentDirectoryW(asWindows(full));
    logMessage("change working directory to %S", full);
}

void offerLogFile() {
    WideString path = logFilePath().value_or(WideString());
    WideString text = u"The following log file will be created:\n\n" + path +
                      u"\n\nDo you want to open an Explorer window?";
    WideString title = toWide(productName);
    initialiseCommonControls();
    if (MessageBoxW(nullptr, asWindows(text), asWindows(title), MB_YESNO) != IDYES) return;

    wchar_t shortPath[MAX_PATH] = {};
    wchar_t windows[MAX_PATH] = {};
    DWORD shortLength = GetShortPathNameW(asWindows(path), shortPath, MAX_PATH);
    if (shortLength >= MAX_PATH) shortPath[0] = 0;
    UINT windowsLength = GetWindowsDirectoryW(windows, MAX_PATH);
    if (windowsLength >= MAX_PATH) windows[0] = 0;
    WideString command = fromWindows(windows) + u"\\explorer.exe /select," + fromWindows(shortPath);
    logMessage("calling %S", command);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, asWindows(command), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &process)) {
        logMessage("could not open explorer window %d", static_cast<int>(GetLastError()));
        return;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

}  // namespace

void initialiseLauncher(void* instance, ArgumentList& arguments) {
    launcherTempDirectory.clear();
    // Before anything is logged, so that the log holds every line from the first one.
    if (takeLogSwitch(arguments)) logRequested = true;
    if (isQuietExecutableType(readConfigurationBlock(arguments))) quietMode = true;
    launcherInstance = instance;

    std::string flavour = getSettingString(kKeyFlavour, 2);
    flavourLetter = flavour.empty() ? '\0' : flavour[0];
    productName = productNameFor(flavourLetter);

    if (!languageRestart) changeWorkingDirectory();
    if (logRequested) offerLogFile();
}

}  // namespace tesmo
