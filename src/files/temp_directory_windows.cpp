#include "config/keys.h"
#include "files/temp_directory.h"
#include "launcher/error_reporting.h"
#include "launcher/log.h"
#include "platform/paths.h"
#include "platform/windows_text.h"

namespace tesmo {

WideString launcherTempDirectory;

bool isWritableDirectory(const WideString& directory) {
    WideString probe = directory + u"\\tsm_w_testdir";
    // A probe left behind by an earlier run must not count against the directory.
    RemoveDirectoryW(asWindows(probe));
    if (!CreateDirectoryW(asWindows(probe), nullptr)) return false;
    bool exists = pathExists(probe);
    RemoveDirectoryW(asWindows(probe));
    return exists;
}

WideString systemTempDirectoryWide() {
    WideString out(kPathCapacity, u'\0');
    DWORD length = GetTempPathW(static_cast<DWORD>(kPathCapacity), asWindows(out));
    DWORD error = GetLastError();
    logMessage("GetTempPath returned %d (last error %d)", static_cast<int>(length),
               static_cast<int>(error));
    out.resize(length < kPathCapacity ? length : 0);

    if (out.empty()) {
        WideString drive, path;
        readEnvironment(L"HOMEDRIVE", drive);
        readEnvironment(L"HOMEPATH", path);
        out = drive + path;
        truncateToCapacity(out, kPathCapacity);
        logMessage("No temp dir defined. Using home %S", out);
    } else {
        BOOL made = CreateDirectoryW(asWindows(out), nullptr);
        logMessage("make dir returned %d", made ? 0 : -1);
    }

    WideString longForm = fillWideBuffer([&](wchar_t* buffer, DWORD size) {
        return GetLongPathNameW(asWindows(out), buffer, size);
    });
    // Wide paths name every directory, so only a "?" that is really in the name sends the
    // wide form to the fallbacks; the narrow form is the one that meets unrepresentable
    // characters. Without a long form there is nothing to test: the path stays.
    if (longForm.find(u'?') == WideString::npos) return out;

    WideString windows = fillWideBuffer(
        [](wchar_t* buffer, DWORD size) { return GetWindowsDirectoryW(buffer, size); });
    const WideString candidates[] = {windows + u"\\temp", u"c:\\temp", u"c:\\tmp", windows};
    for (const WideString& candidate : candidates) {
        if (isWritableDirectory(candidate)) return candidate;
    }
    if (isWritableDirectory(u"c:\\")) {
        CreateDirectoryW(L"c:\\tmp", nullptr);
        if (isWritableDirectory(u"c:\\tmp")) return u"c:\\tmp";
    }
    fatalMessageWide(kMessageNotPoweruser, nullptr);
}

}  // namespace tesmo
