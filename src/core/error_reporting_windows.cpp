#include <io.h>
#include <stdio.h>

#include "core/error_reporting.h"
#include "core/keys.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/settings.h"
#include "platform/common_controls.h"
#include "platform/text_windows.h"

namespace tesmo {

namespace {

// The splash window owns the boxes while it exists. A message hides the splash first, and
// a hidden splash ends its thread and its window at the next tick; so the owner is kept
// under a lock with a count of the messages being shown, and the splash thread gives up
// its window only while none is (releaseMessageOwner). The box then never gets a window
// that is gone, which would keep it from showing at all.
SRWLOCK ownerLock = SRWLOCK_INIT;
HWND messageOwnerWindow = nullptr;
int messagesShowing = 0;

void (*beforeMessage)() = nullptr;
void (*atExit)() = nullptr;

void countMessage(int change) {
    AcquireSRWLockExclusive(&ownerLock);
    messagesShowing += change;
    ReleaseSRWLockExclusive(&ownerLock);
}

HWND currentMessageOwner() {
    AcquireSRWLockShared(&ownerLock);
    HWND owner = messageOwnerWindow;
    ReleaseSRWLockShared(&ownerLock);
    return owner;
}

std::optional<WideString> longLogPath() {
    std::optional<WideString> path = logFilePath();
    if (!path) return path;
    WideString longForm = fillWideBuffer([&](wchar_t* buffer, DWORD size) {
        return GetLongPathNameW(asWindows(*path), buffer, size);
    });
    if (!longForm.empty()) path = longForm;
    return path;
}

}  // namespace

void registerBeforeMessage(void (*action)()) {
    beforeMessage = action;
}

void registerAtExit(void (*action)()) {
    atExit = action;
}

void setMessageOwner(void* window) {
    AcquireSRWLockExclusive(&ownerLock);
    messageOwnerWindow = static_cast<HWND>(window);
    ReleaseSRWLockExclusive(&ownerLock);
}

bool releaseMessageOwner(void* window) {
    AcquireSRWLockExclusive(&ownerLock);
    bool free = messagesShowing == 0;
    if (free && messageOwnerWindow == window) messageOwnerWindow = nullptr;
    ReleaseSRWLockExclusive(&ownerLock);
    return free;
}

namespace {

WideString messageTitle() {
    if (std::optional<WideString> title = getLocalizedString(kMessageTitle)) return *title;
    // The title is narrow text like the message, so it goes through the same code page.
    return toWide(getSettingString(kMessageTitle));
}

// A localized text may hold characters the file functions' code page has not, so it
// reaches standard error as the UTF-16 it is: written to a console as such, and to a
// file or pipe as its UTF-16 bytes with the line breaks the narrow texts get there.
void writeStandardErrorWide(const WideString& message) {
    fflush(stderr);
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stderr)));
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return;
    DWORD mode = 0, written = 0;
    WideString line;
    if (GetConsoleMode(handle, &mode)) {
        line = message + u"\n";
        WriteConsoleW(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
    for (char16_t c : message + u"\n") {
        if (c == u'\n') line.push_back(u'\r');
        line.push_back(c);
    }
    WriteFile(handle, line.data(), static_cast<DWORD>(line.size() * sizeof(char16_t)), &written,
              nullptr);
}

void showText(const WideString& text, bool localized) {
    countMessage(1);
    if (beforeMessage) beforeMessage();
    WideString message = composeMessage(text, longLogPath());
    if (!quietMode) {
        WideString title = messageTitle();
        initialiseCommonControls();
        MessageBoxW(currentMessageOwner(), asWindows(message), asWindows(title),
                    MB_OK | MB_ICONERROR);
    } else if (localized) {
        writeStandardErrorWide(message);
    } else {
        // The CRT's own conversion of the stream would depend on its locale; the file
        // functions' code page is the one the rest of the launcher writes in.
        std::string narrow = toNarrow(message);
        narrow.push_back('\n');
        fputs(narrow.c_str(), stderr);
        fflush(stderr);
    }
    countMessage(-1);
}

}  // namespace

void showMessageWide(const WideString& text) {
    showText(text, false);
}

void showMessage(const std::string& text) {
    showMessageWide(toWide(text));
}

void showConfiguredMessage(int messageId, const char* argument) {
    WideString wideArgument = toWide(argument ? argument : "");
    if (std::optional<WideString> text =
            localizedMessage(messageId, argument ? &wideArgument : nullptr)) {
        showText(*text, true);
        return;
    }
    std::string text = getSettingString(messageId, kMessageCapacity);
    std::string value = argument ? argument : "";
    showMessage(substituteArgument(std::move(text), argument ? &value : nullptr));
}

void showConfiguredMessageWide(int messageId, const WideString* argument) {
    if (std::optional<WideString> text = localizedMessage(messageId, argument)) {
        showText(*text, true);
        return;
    }
    WideString text = getSettingWideString(messageId, kMessageCapacity);
    showMessageWide(substituteArgument(std::move(text), argument));
}

void exitLauncher(int exitCode) {
    if (atExit) atExit();
    ExitProcess(static_cast<UINT>(exitCode));
}

void fatalInternalError(const std::string& text) {
    showMessage(text);
    exitLauncher(1);
}

void fatalMessage(int messageId, const char* argument) {
    showConfiguredMessage(messageId, argument);
    exitLauncher(1);
}

void fatalMessageWide(int messageId, const WideString* argument) {
    showConfiguredMessageWide(messageId, argument);
    exitLauncher(1);
}

}  // namespace tesmo
