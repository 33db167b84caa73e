#pragma once
// Per-monitor DPI queries that also run on Windows versions without them (before Windows 10
// 1607), where everything is laid out at the system DPI. Windows-only header.

#include <windows.h>

#include "platform/win_handles.h"

namespace shuttle {

inline UINT windowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow =
        reinterpret_cast<GetDpiForWindowFn>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow"));
    UINT dpi = getDpiForWindow != nullptr ? getDpiForWindow(window) : 0;
    if (dpi == 0) {
        WindowDc screen(nullptr);
        if (screen.get() != nullptr) dpi = static_cast<UINT>(GetDeviceCaps(screen.get(), LOGPIXELSX));
    }
    return dpi != 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

inline int systemMetricForDpi(int index, UINT dpi) {
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    static const auto getSystemMetricsForDpi = reinterpret_cast<GetSystemMetricsForDpiFn>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi"));
    return getSystemMetricsForDpi != nullptr ? getSystemMetricsForDpi(index, dpi) : GetSystemMetrics(index);
}

}  // namespace shuttle
