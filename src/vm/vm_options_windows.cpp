#include "vm/vm_options_windows.h"

#include "core/keys.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/settings.h"
#include "expansion/variables.h"
#include "platform/paths.h"
#include "platform/text_windows.h"

namespace tesmo {

namespace {

// Options files are small; anything beyond this is not an options file.
constexpr DWORD kOptionsFileLimit = 16 * 1024 * 1024;

void expandInPlace(WideString& text) {
    expandVariables(text);
}

bool resolveAgainst(WideString& out, const WideString& path, const WideString* baseFile) {
    return resolvePath(out, path, baseFile);
}

// Opens for reading with the sharing a text-mode stream has; the whole file is read at once.
std::optional<std::string> readWholeFile(const WideString& path) {
    HANDLE file = CreateFileW(asWindows(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string contents;
    char buffer[65536];
    DWORD got = 0;
    while (contents.size() <= kOptionsFileLimit &&
           ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        contents.append(buffer, got);
    }
    CloseHandle(file);
    if (contents.size() > kOptionsFileLimit) {
        // A line cut at the limit would reach the VM as an option the file does not hold:
        // the file ends with the last whole line before it.
        contents.resize(kOptionsFileLimit);
        contents.resize(contents.rfind('\n') + 1);
        logError("%S holds more than %d bytes: the rest is left out", path,
                 static_cast<int>(kOptionsFileLimit));
    }
    return contents;
}

const VmOptionSources kSources = {expandInPlace, resolveAgainst, readWholeFile};

}  // namespace

const VmOptionSources& vmOptionSources() {
    return kSources;
}

std::optional<std::string> openDefaultVmOptionsFile() {
    WideString longPath = executablePathWide();
    WideString modulePath = fillWideBuffer(
        [](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
    for (const WideString& exe : {longPath, modulePath}) {
        if (exe.size() < 4) continue;
        WideString first = exe.substr(0, exe.size() - 4) + u".vmoptions";
        std::optional<std::string> contents = readWholeFile(first);
        logMessage("vmoptions2: exe %S file: %S, file: %p", exe, first,
                   contents ? static_cast<const void*>(contents->data()) : nullptr);
        if (contents) return contents;
        WideString second = exe + u".vmoptions";
        contents = readWholeFile(second);
        logMessage("vmoptions: opts2: %S, file: %p", second,
                   contents ? static_cast<const void*>(contents->data()) : nullptr);
        if (contents) return contents;
    }
    return std::nullopt;
}

void collectVmOptions(VmOptionContext& context, const ArgumentList& arguments) {
    WideString configured = getSettingWideString(kKeyVmOptions);
    expandVariables(configured);
    addConfiguredOptions(context, configured);
    if (getSettingInt(kKeyDashJOptions) != 0) addDashJOptions(context, arguments);
    addLocaleOptions(context, arguments, userLanguage, userCountry);
}

}  // namespace tesmo
