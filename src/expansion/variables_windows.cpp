#include "core/error_reporting.h"
#include "core/keys.h"
#include "core/launcher_state.h"
#include "expansion/variable_expansion.h"
#include "expansion/variables.h"
#include "files/temp_directory.h"
#include "platform/paths.h"
#include "platform/text_windows.h"

namespace tesmo {

namespace {

std::vector<WideString> environmentEntries() {
    std::vector<WideString> entries;
    wchar_t* block = GetEnvironmentStringsW();
    if (!block) return entries;
    for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
        entries.push_back(fromWindows(entry));
    }
    FreeEnvironmentStringsW(block);
    return entries;
}

// Asked for only when a text names it; without a usable directory the text has no meaning.
WideString systemTempOrReport() {
    std::optional<WideString> directory = systemTempDirectoryWide();
    if (!directory) fatalMessageWide(kMessageNotPoweruser, nullptr);
    return *directory;
}

}  // namespace

void expandVariables(WideString& text, std::size_t capacity) {
    ExpansionValues values;
    values.executableDirectory = executableDirectoryWide();
    values.launcherTempDirectory = launcherTempDirectory;
    values.javaHome = jvmHome;
    values.systemTempDirectory = systemTempOrReport;
    values.environment = environmentEntries;
    expandVariables(text, capacity, values);
}

}  // namespace tesmo
