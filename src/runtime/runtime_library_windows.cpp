#include "runtime/runtime_library_windows.h"

#include "core/error_reporting.h"
#include "core/keys.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/settings.h"
#include "platform/paths.h"
#include "platform/text_windows.h"
#include "runtime/runtime_windows.h"

namespace tesmo {

CreateJavaVMFunction createJavaVMEntry = nullptr;

namespace {

constexpr bool kSixtyFourBit = sizeof(void*) == 8;
constexpr std::size_t kPreferredVmTypeCapacity = 200;

// Sets PATH where the runtime library and programs started through the C runtime read it.
void setPath(const WideString& value) {
    if (writeEnvironment(L"PATH", value)) {
        logMessage("Setting PATH %S", value);
    } else {
        logMessage("Setting PATH %S failed with error %d", value, static_cast<int>(GetLastError()));
    }
}

HMODULE tryVmDirectory(const WideString& binDirectory, const WideString& vmName) {
    WideString dll = binDirectory + u"\\" + vmName + u"\\jvm.dll";
    bool exists = pathExists(dll);
    logMessage("Trying %S (exists %d)", dll, exists ? 1 : 0);
    // Tried even when missing: the loader may know better than the directory listing.
    HMODULE handle = LoadLibraryW(asWindows(dll));
    if (!handle && exists) {
        logMessage("Failed with error code %d", static_cast<int>(GetLastError()));
    }
    return handle;
}

HMODULE tryBinDirectory(const WideString& javaExe) {
    WideString binDirectory = javaExeDirectory(javaExe);
    if (!binDirectory.empty()) binDirectory.pop_back();
    WideString oldPath;
    readEnvironment(L"PATH", oldPath);
    setPath(oldPath + u";" + binDirectory);

    HMODULE handle = nullptr;
    WideString preferred = getSettingWideString(kKeyPreferredVmType, kPreferredVmTypeCapacity);
    for (const WideString& vm : vmDirectoryOrder(preferred)) {
        handle = tryVmDirectory(binDirectory, vm);
        if (handle) break;
    }
    if (!handle) setPath(oldPath);
    return handle;
}

HMODULE loadJvmLibrary(const WideString& javaExe) {
    if (HMODULE handle = tryBinDirectory(javaExe)) return handle;
    // A development kit's bin\java.exe: its embedded runtime holds the VM.
    return tryBinDirectory(javaExeDirectory(javaExe) + u"..\\jre\\bin\\java.exe");
}

}  // namespace

bool LoadDLL() {
    logMessage("LoadDLL (%d, %s, %d)", 1, "(null)", 0);
    WideString javaExe, foundText;
    SearchResult result = findJvm(javaExe, foundText);
    const char* bits = kSixtyFourBit ? "64" : "32";
    if (result == SearchResult::NotFound) {
        logError("No JVM found");
        showConfiguredMessage(kMessageNoJvm, bits);
        return false;
    }
    logMessage("Trying to load JVM-DLL from %S", javaExe);
    HMODULE handle = loadJvmLibrary(javaExe);
    jvmHome = javaExeDirectory(javaExe) + u"..";
    if (!handle) logError("Could not get DLL-Handle.");
    if (handle) {
        createJavaVMEntry = reinterpret_cast<CreateJavaVMFunction>(
            reinterpret_cast<void*>(GetProcAddress(handle, "JNI_CreateJavaVM")));
    }
    if (handle && createJavaVMEntry) {
        logMessage("Loading of JVM-DLL successful");
        return true;
    }
    logError("Could not load functions");

    LoadFailureMessage message = loadFailureMessage(result, kSixtyFourBit);
    if (message.messageId == kMessageNoJvm) {
        showConfiguredMessage(kMessageNoJvm, bits);
    } else if (message.messageId != 0) {
        showConfiguredMessageWide(message.messageId, &foundText);
    }
    showConfiguredMessageWide(kMessageVmNotStarted, nullptr);
    return false;
}

}  // namespace tesmo
