#include <windows.h>

#include "launcher/driver.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand) {
    return tesmo::runLauncher(instance, commandLine, showCommand);
}
