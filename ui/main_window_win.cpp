#include "ui/main_window_win.h"

#include <dbt.h>

#include "platform/win_dpi.h"
#include "resources/resource_ids.h"
#include "ui/dialog_fit_win.h"
#include "ui/main_dialog_win.h"

namespace shuttle {
namespace {

constexpr wchar_t kWindowClass[] = L"SHUTTLE";
constexpr wchar_t kWindowTitle[] = L"Shuttle";
constexpr UINT_PTR kClipboardLookTimer = 1;
constexpr UINT_PTR kClipboardCheckTimer = 2;

MainWindowContext* contextOf(HWND window) {
    return reinterpret_cast<MainWindowContext*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// The shell broadcasts this when it (re)starts; the icon must then be added again.
UINT taskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

enum class ClipboardLook { NewChange, Again, Check };

// Another program may still hold the clipboard: a timer brings the copy path back to it. A new
// change ends the looks at the one before, so that one content is never read twice.
void lookAtClipboard(HWND window, MainWindowContext& context, ClipboardLook look) {
    if (look != ClipboardLook::Check) KillTimer(window, kClipboardLookTimer);
    MainWindowEvents& events = context.events;
    const unsigned againInMs = look == ClipboardLook::NewChange ? events.onClipboardChange()
                               : look == ClipboardLook::Again   ? events.onClipboardLookAgain()
                                                                : events.onClipboardCheck();
    if (againInMs != 0) SetTimer(window, kClipboardLookTimer, againInMs, nullptr);
}

void onCreate(HWND window, MainWindowContext& context) {
    context.window = window;
    context.dialog = createMainDialog(context.instance, window, context.settings, context.requests);
    context.tray = std::make_unique<TrayIcon>(window, context.instance);
    SetTimer(window, kClipboardCheckTimer, context.events.clipboardCheckMs(), nullptr);
}

// The client area is the dialog, with no band beside or below it.
void fitToDialog(HWND window, HWND dialog) {
    RECT dialogBox{};
    if (dialog == nullptr || !GetWindowRect(dialog, &dialogBox)) return;
    const SIZE client{dialogBox.right - dialogBox.left, dialogBox.bottom - dialogBox.top};
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    const auto extendedStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    const SIZE size = windowSizeForClient(client, style, extendedStyle, windowDpi(window));
    RECT now{};
    GetWindowRect(window, &now);
    if (now.right - now.left == size.cx && now.bottom - now.top == size.cy) return;
    SetWindowPos(window, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
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
        // Moved to a monitor of another scale: the place the system suggests, then the dialog
        // laid out for the new scale gives the size.
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        refitMainDialog(context->dialog);
        return 0;
    }
    case kDialogLaidOutMessage:
        fitToDialog(window, reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_SETTINGCHANGE:
    case WM_THEMECHANGED:
    case WM_FONTCHANGE:
        // Other metrics, check marks or fonts: the captions are measured again.
        refitMainDialog(context->dialog);
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_CLIPBOARDUPDATE:
        lookAtClipboard(window, *context, ClipboardLook::NewChange);
        return 0;
    case WM_TIMER:
        if (wParam == kClipboardLookTimer) lookAtClipboard(window, *context, ClipboardLook::Again);
        else if (wParam == kClipboardCheckTimer) lookAtClipboard(window, *context, ClipboardLook::Check);
        else return DefWindowProcW(window, message, wParam, lParam);
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

// Until the dialog has been laid out and sets the size.
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
    // The dialog, made while the window is created, sizes the window to itself.
    return CreateWindowExW(0, kWindowClass, kWindowTitle, style, CW_USEDEFAULT, CW_USEDEFAULT, kWindowWidth,
                           kWindowHeight, nullptr, nullptr, context.instance, &context);
}

void showMainWindow(HWND window) {
    if (!IsWindowVisible(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

}  // namespace shuttle
