#pragma once
// Per-monitor DPI queries that also run on Windows versions without them (before Windows 10
// 1607), where everything is laid out at the system DPI. Windows-only header.

#include <windows.h>

#include "platform/win_handles.h"

namespace shuttle {

// A user32 function looked up by name, or null where this Windows lacks it. GetProcAddress
// gives a FARPROC; the detour through void (*)(), the generic function pointer, states that the
// real signature is known to the caller.
template <class Function>
Function user32Function(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

inline UINT windowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFn>("GetDpiForWindow");
    UINT dpi = getDpiForWindow != nullptr ? getDpiForWindow(window) : 0;
    if (dpi == 0) {
        WindowDc screen(nullptr);
        if (screen.get() != nullptr) dpi = static_cast<UINT>(GetDeviceCaps(screen.get(), LOGPIXELSX));
    }
    return dpi != 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

inline int systemMetricForDpi(int index, UINT dpi) {
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    static const auto getSystemMetricsForDpi = user32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    return getSystemMetricsForDpi != nullptr ? getSystemMetricsForDpi(index, dpi) : GetSystemMetrics(index);
}

// Leaves a dialog's DPI changes to the program: the dialog manager neither scales its font nor
// moves its controls (Windows 10 1703 and later do that for per-monitor aware dialogs).
inline void disableDialogDpiScaling(HWND dialog) {
    using SetBehaviorFn = BOOL(WINAPI*)(HWND, int, int);
    static const auto setBehavior = user32Function<SetBehaviorFn>("SetDialogDpiChangeBehavior");
    constexpr int kDisableAll = 1;  // DDC_DISABLE_ALL
    if (setBehavior != nullptr) setBehavior(dialog, kDisableAll, kDisableAll);
}

// The window size whose client area is `client` for a window of this style at `dpi`.
inline SIZE windowSizeForClient(SIZE client, DWORD style, DWORD extendedStyle, UINT dpi) {
    using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = user32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    RECT box{0, 0, client.cx, client.cy};
    if (adjustForDpi != nullptr)
        adjustForDpi(&box, style, FALSE, extendedStyle, dpi);
    else
        AdjustWindowRectEx(&box, style, FALSE, extendedStyle);
    return SIZE{box.right - box.left, box.bottom - box.top};
}

}  // namespace shuttle
