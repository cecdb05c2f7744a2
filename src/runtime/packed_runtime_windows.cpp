#include <stdio.h>

#include "core/error_reporting.h"
#include "core/internal_errors.h"
#include "core/keys.h"
#include "core/log.h"
#include "platform/paths.h"
#include "platform/text_windows.h"
#include "runtime/runtime_windows.h"

namespace tesmo {

namespace {

// Unpacked in this order; the last one's presence marks a finished preparation.
constexpr const char16_t* kPackedArchives[] = {
    u"lib\\rt.jar",     u"lib\\jfxrt.jar",           u"lib\\charsets.jar", u"lib\\plugin.jar",
    u"lib\\deploy.jar", u"lib\\ext\\localedata.jar", u"lib\\jsse.jar",
};

void unpackArchive(const WideString& home, const WideString& archive) {
    WideString packed = home + u"\\" + archive + u".pack";
    WideString target = packed.substr(0, packed.size() - 5);
    if (!pathExists(packed)) {
        logMessage("pack path doesn't exists");
        return;
    }
    WideString tool = home + u"\\bin\\unpack200.exe";
    WideString arguments = u"-r \"" + packed + u"\" \"" + target + u"\"";
    // Paths go in as arguments, never as the format: a "%" in a path stays text.
    logMessageWide(u"%s", tool);
    logMessageWide(u"%s", arguments);

    WideString command = u"\"" + tool + u"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(asWindows(tool), asWindows(command), nullptr, nullptr, TRUE,
                        NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &process)) {
        logMessage("could not create unpack process");
        fatalMessage(kMessageInternalError, internal_error::kUnpackProcess);
    }
    logMessage("waiting for unpack200 to finish");
    WaitForSingleObject(process.hProcess, INFINITE);
    logMessage("unpack done");
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);

    if (!DeleteFileW(asWindows(packed)) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        logMessage("could not delete packed file (error %d)", static_cast<int>(GetLastError()));
    }
}

}  // namespace

void preparePackedRuntime(const WideString& runtimeHome) {
    if (!pathExists(runtimeHome + u"\\lib\\rt.jar.pack") ||
        pathExists(runtimeHome + u"\\lib\\jsse.jar")) {
        return;
    }
    logMessage("Unpacking JRE");
    fputs("Preparing JRE ...\n", stdout);
    fflush(stdout);
    for (const char16_t* archive : kPackedArchives) unpackArchive(runtimeHome, archive);
    logMessage("Unpacking JRE done");
}

}  // namespace tesmo
