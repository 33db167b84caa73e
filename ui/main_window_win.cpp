#include "ui/main_window_win.h"

#include <dbt.h>

#include "platform/win_dpi.h"
#include "resources/resource_ids.h"
#include "ui/main_dialog_win.h"

namespace shuttle {
namespace {

constexpr wchar_t kWindowClass[] = L"SHUTTLE";
constexpr wchar_t kWindowTitle[] = L"Shuttle";
constexpr UINT_PTR kClipboardLookTimer = 1;

MainWindowContext* contextOf(HWND window) {
    return reinterpret_cast<MainWindowContext*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The shell broadcasts this when it (re)starts; the icon must then be added again.
UINT taskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

// Another program may still hold the clipboard: a timer brings the copy path back to it. A new
// change ends the looks at the one before, so that one content is never read twice.
void lookAtClipboard(HWND window, MainWindowContext& context, bool newChange) {
    KillTimer(window, kClipboardLookTimer);
    const unsigned againInMs =
        newChange ? context.events.onClipboardChange() : context.events.onClipboardLookAgain();
    if (againInMs != 0) SetTimer(window, kClipboardLookTimer, againInMs, nullptr);
}

void onCreate(HWND window, MainWindowContext& context) {
    context.window = window;
    context.dialog = createMainDialog(context.instance, window, context.settings, context.requests);
    context.tray = std::make_unique<TrayIcon>(window, context.instance);
}

void onDestroy(HWND window, MainWindowContext& context) {
    context.events.onDestroy();
    RemoveClipboardFormatListener(window);
    if (context.tray) context.tray->remove();
    PostQuitMessage(0);
}

LRESULT onDeviceChange(MainWindowContext& context, WPARAM event) {
    if (event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE || event == DBT_DEVNODES_CHANGED)
        context.events.onDevicesChanged();
    return TRUE;
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    MainWindowContext* context = contextOf(window);
    if (context == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    if (message == taskbarCreatedMessage() && message != 0) {
        context->events.onTaskbarCreated();
        return 0;
    }

    switch (message) {
    case WM_CREATE:
        onCreate(window, *context);
        return 0;
    case WM_DESTROY:
        onDestroy(window, *context);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE:
        ShowWindow(window, SW_HIDE);
        return 0;
    case WM_CONTEXTMENU:
        return 0;
    case WM_DPICHANGED: {
        // Moved to a monitor of another scale: take the size the system suggests for it.
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_CLIPBOARDUPDATE:
        lookAtClipboard(window, *context, true);
        return 0;
    case WM_TIMER:
        if (wParam != kClipboardLookTimer) return DefWindowProcW(window, message, wParam, lParam);
        lookAtClipboard(window, *context, false);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The process may be ended as soon as this returns: a store write in progress is
        // finished or abandoned now, so the drive never keeps half of it.
        if (wParam != FALSE) context->events.onEndSession();
        return 0;
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMRESUMEAUTOMATIC) context->events.onResume();
        return TRUE;
    case WM_DEVICECHANGE:
        return onDeviceChange(*context, wParam);
    case WM_COMMAND:
    case kTrayCallbackMessage:
        return onTrayMessage(window, message, wParam, lParam);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

constexpr int kWindowWidth = 600;
constexpr int kWindowHeight = 400;

HWND createMainWindow(MainWindowContext& context) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = context.instance;
    windowClass.hIcon = LoadIconW(context.instance, MAKEINTRESOURCEW(IDI_COPY_READY));
    windowClass.hIconSm = windowClass.hIcon;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);  // a failure shows in CreateWindowExW below

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    HWND window = CreateWindowExW(0, kWindowClass, kWindowTitle, style, CW_USEDEFAULT, CW_USEDEFAULT, kWindowWidth,
                                  kWindowHeight, nullptr, nullptr, context.instance, &context);
    // 600 x 400 at 100 % scaling; the dialog inside grows with the monitor's scale, so the
    // window grows with it.
    const UINT dpi = window != nullptr ? windowDpi(window) : USER_DEFAULT_SCREEN_DPI;
    if (dpi != USER_DEFAULT_SCREEN_DPI)
        SetWindowPos(window, nullptr, 0, 0, MulDiv(kWindowWidth, dpi, USER_DEFAULT_SCREEN_DPI),
                     MulDiv(kWindowHeight, dpi, USER_DEFAULT_SCREEN_DPI), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return window;
}

void showMainWindow(HWND window) {
    if (!IsWindowVisible(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

}  // namespace shuttle
