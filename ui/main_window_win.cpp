#include "ui/main_window_win.h"

#include "platform/win_dpi.h"

namespace shuttle {
namespace {

constexpr wchar_t kWindowClass[] = L"SHUTTLE";
constexpr wchar_t kWindowTitle[] = L"Shuttle";
constexpr WORD kAppIcon = IDI_COPY_READY;

MainWindowContext* contextOf(HWND window) {
    return reinterpret_cast<MainWindowContext*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// Menu commands while no tray handler is attached: the two items of the tray menu.
LRESULT defaultCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == kCommandExit) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == kCommandOpen) {
        showMainWindow(window);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    MainWindowContext* context = contextOf(window);
    if (context == nullptr) return DefWindowProcW(window, message, wParam, lParam);

    switch (message) {
    case WM_CREATE:
        context->window = window;
        if (context->createDialog) {
            context->dialog = context->createDialog(window);
            if (context->dialog != nullptr) context->state.mainDialogReady = 1;
        }
        if (context->addTrayIcon) context->addTrayIcon(window);
        return 0;
    case WM_DESTROY:
        context->state.running = 0;
        RemoveClipboardFormatListener(window);
        if (context->removeTrayIcon) context->removeTrayIcon(window);
        PostQuitMessage(0);
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
        if (context->onClipboardUpdate) context->onClipboardUpdate();
        return 0;
    case WM_COMMAND:
    case kTrayCallbackMessage:
        if (context->onTrayMessage) return context->onTrayMessage(window, message, wParam, lParam);
        return defaultCommand(window, message, wParam, lParam);
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
    windowClass.hIcon = LoadIconW(context.instance, MAKEINTRESOURCEW(kAppIcon));
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
