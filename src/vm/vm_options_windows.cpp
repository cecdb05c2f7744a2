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
    while (contents.size() <= kVmOptionsFileLimit &&
           ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        contents.append(buffer, got);
    }
    CloseHandle(file);
    keepWholeLinesWithin(contents, kVmOptionsFileLimit, path);
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
    return readDefaultVmOptionsFile({longPath, modulePath}, kSources);
}

void collectVmOptions(VmOptionContext& context, const ArgumentList& arguments) {
    WideString configured = getSettingWideString(kKeyVmOptions);
    expandVariables(configured);
    addConfiguredOptions(context, configured);
    if (getSettingInt(kKeyDashJOptions) != 0) addDashJOptions(context, arguments);
    addLocaleOptions(context, arguments, userLanguage, userCountry);
}

}  // namespace tesmo
