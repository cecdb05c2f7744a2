// The launcher's own splash window. It lives on a thread of its own with its own message
// loop, so it keeps painting while the main thread blocks in the runtime search or the VM,
// and a 100 ms timer on that thread switches it off when the application shows a window or
// its controller asks for it.
#include <windows.h>

#include "core/error_reporting.h"
#include "core/keys.h"
#include "core/launcher_state.h"
#include "core/log.h"
#include "core/settings.h"
#include "instance/window_activation.h"
#include "platform/common_controls.h"
#include "platform/text_windows.h"
#include "splash/splash.h"
#include "splash/splash_bridges.h"
#include "splash/splash_gate.h"
#include "splash/splash_layout.h"

namespace tesmo {

namespace {

constexpr char kClassName[] = "TesmoSplashScreen";
constexpr char kIconName[] = "ID_SPLASH_ICON";
constexpr UINT_PTR kTimerEvent = 9962;
constexpr UINT kTimerPeriod = 100;
constexpr WORD kImageResource = 10000;
constexpr std::size_t kFaceCapacity = 32;

struct TextLine {
    WideString text;
    int x = 0;
    int y = 0;
    COLORREF colour = 0;
    HFONT font = nullptr;
};

SplashGate gate;
// Written by the splash thread before it publishes the window through the gate; other
// threads use it only after the gate has told them the window is shown.
HWND splashWindow = nullptr;
// Set by the splash thread once the window is shown, or hidden again because a hide came
// while it was being made. Made before the thread starts.
HANDLE creationSettled = nullptr;

// Everything below belongs to the splash thread alone.
int windowWidth = 0;
int windowHeight = 0;
TextLine statusLine;
TextLine versionLine;
bool fontsCreated = false;
bool autoOff = false;
UINT_PTR timer = 0;

HFONT createLineFont(HDC device, SettingKey size, SettingKey weight, SettingKey face) {
    std::string faceName = getSettingString(face, kFaceCapacity);
    return CreateFontA(fontHeight(getSettingInt(size), GetDeviceCaps(device, LOGPIXELSY)), 0, 0, 0,
                       getSettingInt(weight), FALSE, FALSE, FALSE, 0, 0, 0, 0,
                       FF_SWISS | DEFAULT_PITCH, faceName.c_str());
}

void drawLine(HDC device, const TextLine& line) {
    if (line.font) SelectObject(device, line.font);
    SetTextColor(device, line.colour);
    TextOutW(device, line.x, line.y, asWindows(line.text), static_cast<int>(line.text.size()));
}

// The image is copied under the text, both into an off-screen bitmap that reaches the
// window in one copy: a status change repaints without flicker.
void paint(HWND window) {
    PAINTSTRUCT paintInfo;
    HDC device = BeginPaint(window, &paintInfo);
    if (!fontsCreated) {
        statusLine.font =
            createLineFont(device, kKeyStatusLineSize, kKeyStatusLineWeight, kKeyStatusLineFont);
        versionLine.font =
            createLineFont(device, kKeyVersionLineSize, kKeyVersionLineWeight, kKeyVersionLineFont);
        fontsCreated = true;
    }
    HDC memory = CreateCompatibleDC(device);
    HBITMAP buffer = CreateCompatibleBitmap(device, windowWidth, windowHeight);
    if (memory && buffer) {
        HGDIOBJ previousBitmap = SelectObject(memory, buffer);
        RECT whole{0, 0, windowWidth, windowHeight};
        FillRect(memory, &whole, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));

        auto* image = static_cast<HBITMAP>(LoadImageA(static_cast<HINSTANCE>(launcherInstance),
                                                      MAKEINTRESOURCEA(kImageResource),
                                                      IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
        if (image) {
            HDC imageDevice = CreateCompatibleDC(device);
            HGDIOBJ previousImage = SelectObject(imageDevice, image);
            BitBlt(memory, 0, 0, windowWidth, windowHeight, imageDevice, 0, 0, SRCCOPY);
            SelectObject(imageDevice, previousImage);
            DeleteObject(image);
            DeleteDC(imageDevice);
        }

        SetBkMode(memory, TRANSPARENT);
        HGDIOBJ previousFont = GetCurrentObject(memory, OBJ_FONT);
        COLORREF previousColour = GetTextColor(memory);
        drawLine(memory, statusLine);
        drawLine(memory, versionLine);
        SelectObject(memory, previousFont);
        SetTextColor(memory, previousColour);

        BitBlt(device, 0, 0, windowWidth, windowHeight, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previousBitmap);
    }
    if (buffer) DeleteObject(buffer);
    if (memory) DeleteDC(memory);
    EndPaint(window, &paintInfo);
}

LRESULT CALLBACK splashProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_PAINT:
            paint(window);
            return 0;
        case WM_ERASEBKGND:
            // The paint covers the whole window.
            return 1;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

void createSplashWindow() {
    initialiseCommonControls();
    statusLine.text = fitStatusText(toWide(getSettingString(kKeyStatusLineText)));
    versionLine.text = toWide(getSettingString(kKeyVersionLineText));
    statusLine.colour = getSettingColour(kKeyStatusLineColour);
    versionLine.colour = getSettingColour(kKeyVersionLineColour);
    std::string title = getSettingString(kKeyApplicationId);
    windowWidth = getSettingInt(kKeySplashWidth);
    windowHeight = getSettingInt(kKeySplashHeight);
    statusLine.x = getSettingInt(kKeyStatusLineX);
    statusLine.y = getSettingInt(kKeyStatusLineY);
    versionLine.x = getSettingInt(kKeyVersionLineX);
    versionLine.y = getSettingInt(kKeyVersionLineY);

    auto instance = static_cast<HINSTANCE>(launcherInstance);
    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = splashProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, kIconName);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);

    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    SplashOrigin origin = centredOrigin(desktop.left, desktop.top, desktop.right, desktop.bottom,
                                        windowWidth, windowHeight);
    splashWindow = CreateWindowExA(0, kClassName, title.c_str(), WS_POPUP, origin.x, origin.y,
                                   windowWidth, windowHeight, nullptr, nullptr, instance, nullptr);
    fontsCreated = false;
}

// Hides the shown window. When that leaves another process in front, the launcher's
// own windows (the application's, by now) come forward instead.
void hideSplashWindow() {
    ShowWindow(splashWindow, SW_HIDE);
    HWND foreground = GetForegroundWindow();
    DWORD owner = 0;
    if (foreground) GetWindowThreadProcessId(foreground, &owner);
    if (foreground && owner != GetCurrentProcessId()) {
        activateProcessWindows(GetCurrentProcessId(), false);
    }
}

// A hide that came while the window was being made returns only once the splash thread
// has hidden it, so that nothing the caller shows next can appear beneath the splash.
// Messages sent to this thread are handled meanwhile, so the wait cannot deadlock with
// anything the splash thread sends while it makes the window.
void waitForCreation() {
    while (MsgWaitForMultipleObjects(1, &creationSettled, FALSE, INFINITE, QS_SENDMESSAGE) ==
           WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// Ends the message loop and with it the thread, unless a message is being shown: the box
// may be owned by the window, so the thread waits for it and tries again at a later tick.
void endSplashThread() {
    if (!releaseMessageOwner(splashWindow)) return;
    gate.requestHide();
    KillTimer(nullptr, timer);
    releaseSplashController();
    if (splashWindow) {
        DestroyWindow(splashWindow);
    } else {
        PostQuitMessage(0);
    }
}

void CALLBACK splashTick(HWND, UINT, UINT_PTR, DWORD) {
    if (!IsWindowVisible(splashWindow)) {
        endSplashThread();
        return;
    }
    // The splash window itself is one of the process's windows.
    if (autoOff && countProcessWindows(GetCurrentProcessId()) > 1) {
        logMessage("Splash screen auto off");
        splashScreen(0);
        endSplashThread();
        return;
    }
    if (pollSplashController() == ControllerRequest::Close) {
        splashScreen(0);
        endSplashThread();
    }
}

DWORD WINAPI splashThread(void* parameter) {
    int showCommand = static_cast<int>(reinterpret_cast<INT_PTR>(parameter));
    logMessage("Showing splash screen");
    if (!gate.beginCreation()) return 0;
    logMessage("Initializing splash screen");
    createSplashWindow();
    if (splashWindow) setMessageOwner(splashWindow);
    // Not shown at all when a hide has already come; shown and hidden again at once when
    // it comes from here to the publication below.
    bool shownHere = !gate.hidden();
    if (shownHere) {
        ShowWindow(splashWindow, showCommand);
        if (getSettingInt(kKeySplashTopmost) != 0) {
            SetWindowPos(splashWindow, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        }
    }
    if (!gate.publish() && shownHere) hideSplashWindow();
    SetEvent(creationSettled);
    autoOff = getSettingInt(kKeySplashAutoClose) != 0;
    timer = SetTimer(nullptr, kTimerEvent, kTimerPeriod, splashTick);

    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<DWORD>(message.wParam);
}

}  // namespace

void splashScreen(int showCommand) {
    if (getSettingInt(kKeySplashThroughRuntime) != 0) {
        if (showCommand != 0) {
            showLibrarySplash();
        } else {
            closeLibrarySplash();
        }
        return;
    }
    if (showCommand != 0) {
        logMessage("Starting splash screen thread");
        if (!creationSettled) creationSettled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HANDLE thread =
            CreateThread(nullptr, 0, splashThread,
                         reinterpret_cast<void*>(static_cast<INT_PTR>(showCommand)), 0, nullptr);
        if (thread) CloseHandle(thread);
        return;
    }
    logMessage("Hiding splash screen");
    switch (gate.requestHide()) {
        case SplashGate::HideOutcome::Shown:
            hideSplashWindow();
            break;
        case SplashGate::HideOutcome::DuringCreation:
            waitForCreation();
            break;
        default:
            break;
    }
}

void setSplashStatusText(const WideString& text) {
    if (!gate.shown()) return;
    statusLine.text = fitStatusText(text);
    InvalidateRect(splashWindow, nullptr, FALSE);
    UpdateWindow(splashWindow);
}

}  // namespace tesmo
