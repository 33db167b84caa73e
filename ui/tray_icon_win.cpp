#include "ui/tray_icon_win.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <vector>

#include "base/print.h"
#include "core/start_with_windows.h"
#include "platform/win_dpi.h"
#include "resources/resource_ids.h"
#include "ui/main_window_win.h"
#include "ui/win_ui_handles.h"

namespace shuttle {
namespace {

// A fresh record naming the icon; every other field zero.
NOTIFYICONDATAW iconRecord(HWND window, UINT flags) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = kTrayIconId;
    data.uFlags = flags;
    return data;
}

template <size_t N>
void copyText(wchar_t (&field)[N], const wchar_t* text, size_t length) {
    size_t count = std::min(length, N - 1);
    std::copy(text, text + count, field);
    field[count] = L'\0';
}

// The icon at the size of the notification area for the window's monitor.
ScopedIcon loadTrayIcon(HWND window, HINSTANCE instance, uint16_t icon) {
    const UINT dpi = windowDpi(window);
    const int width = systemMetricForDpi(SM_CXSMICON, dpi);
    const int height = systemMetricForDpi(SM_CYSMICON, dpi);
    return ScopedIcon(static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(icon), IMAGE_ICON, width, height, LR_DEFAULTCOLOR)));
}

// The full path of Shuttle.exe as this process was started from it; empty when unknown.
std::u16string programPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) return std::u16string(buffer.begin(), buffer.begin() + length);
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

// Flips "Start with Windows" from what the Run keys say now, so that a change made elsewhere
// (the installer, another copy) is what the click acts on.
void toggleStartWithWindows() {
    const std::u16string program = programPath();
    if (program.empty()) return;
    auto user = makeRegistryRunKey(RunKeyHive::CurrentUser);
    auto machine = makeRegistryRunKey(RunKeyHive::LocalMachine);
    const StartToggle toggle = toggleStartAtLogon(*user, *machine, program);
    if (toggle.failed)
        printErr("Start with Windows: the Run key could not be changed\n");
    else
        printOut("Start with Windows: %s\n", toggle.on ? "on" : "off");
    if (toggle.machineStillOn)
        printOut("Start with Windows: still on for every user of this computer, as installed; an administrator "
                 "can change it\n");
}

void showTrayMenu(HWND window, WPARAM anchor) {
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE));
    ScopedMenu menu(LoadMenuW(instance, MAKEINTRESOURCEW(IDR_TRAY_MENU)));
    if (!menu) return;
    HMENU popup = GetSubMenu(menu.get(), 0);
    if (popup == nullptr) return;
    const std::u16string program = programPath();
    const bool startsWithLogon =
        !program.empty() && startsAtLogon(*makeRegistryRunKey(RunKeyHive::CurrentUser),
                                          *makeRegistryRunKey(RunKeyHive::LocalMachine), program);
    CheckMenuItem(popup, IDM_TRAY_START_WITH_WINDOWS, MF_BYCOMMAND | (startsWithLogon ? MF_CHECKED : MF_UNCHECKED));
    SetForegroundWindow(window);
    UINT flags = TPM_RIGHTBUTTON | (GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN);
    TrackPopupMenuEx(popup, flags, GET_X_LPARAM(anchor), GET_Y_LPARAM(anchor), window, nullptr);
    // Lets the menu close when the user clicks elsewhere after it was dismissed.
    PostMessageW(window, WM_NULL, 0, 0);
}

}  // namespace

TrayIcon::TrayIcon(HWND window, HINSTANCE instance) : window_(window), instance_(instance) { added_ = add(); }

// The icon with the picture shown last, the tooltip and the callback; the version call follows
// only when the icon was added.
bool TrayIcon::add() {
    NOTIFYICONDATAW data = iconRecord(window_, NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP);
    data.uCallbackMessage = kTrayCallbackMessage;
    ScopedIcon icon = loadTrayIcon(window_, instance_, shownIcon_);
    data.hIcon = icon.get();
    {
        std::lock_guard<std::mutex> lock(tipMutex_);
        copyText(data.szTip, wideText(tip_), tip_.size());
    }
    if (!Shell_NotifyIconW(NIM_ADD, &data)) return false;
    NOTIFYICONDATAW version = iconRecord(window_, 0);
    version.uVersion = NOTIFYICON_VERSION_4;
    Shell_NotifyIconW(NIM_SETVERSION, &version);
    return true;
}

void TrayIcon::restore() {
    // The restarted shell holds no icon of ours: add it anew, whatever we thought before.
    added_ = add();
}

TrayIcon::~TrayIcon() { remove(); }

void TrayIcon::remove() {
    if (added_.exchange(false)) removeTrayIcon(window_);
}

void TrayIcon::setIcon(uint16_t icon) {
    shownIcon_ = icon;
    if (!added_) return;
    NOTIFYICONDATAW data = iconRecord(window_, NIF_ICON | NIF_SHOWTIP);
    ScopedIcon loaded = loadTrayIcon(window_, instance_, icon);  // the shell keeps its own copy
    data.hIcon = loaded.get();
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayIcon::showBalloon(const std::u16string& title, const std::u16string& text) {
    if (!added_) return;
    NOTIFYICONDATAW data = iconRecord(window_, NIF_INFO);
    data.dwInfoFlags = NIIF_NOSOUND;  // the sound, if any, is the beep the caller chose
    copyText(data.szInfoTitle, wideText(title), title.size());
    copyText(data.szInfo, wideText(text), text.size());
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayIcon::setTip(const std::u16string& text) {
    {
        std::lock_guard<std::mutex> lock(tipMutex_);
        tip_ = text;
    }
    if (!added_) return;
    NOTIFYICONDATAW data = iconRecord(window_, NIF_TIP | NIF_SHOWTIP);
    copyText(data.szTip, wideText(text), text.size());
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayIcon::beep(bool information) { MessageBeep(information ? MB_ICONASTERISK : MB_ICONHAND); }

void removeTrayIcon(HWND window) {
    NOTIFYICONDATAW data = iconRecord(window, 0);
    Shell_NotifyIconW(NIM_DELETE, &data);
}

LRESULT onTrayMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) {
        switch (LOWORD(wParam)) {
            case IDM_TRAY_EXIT:
                DestroyWindow(window);
                return 0;
            case IDM_TRAY_OPEN:
                showMainWindow(window);
                return 0;
            case IDM_TRAY_START_WITH_WINDOWS:
                toggleStartWithWindows();
                return 0;
            default:
                break;
        }
    } else if (message == kTrayCallbackMessage) {
        switch (LOWORD(lParam)) {
            case WM_CONTEXTMENU:
                showTrayMenu(window, wParam);
                return 0;
            case NIN_SELECT:
                showMainWindow(window);
                return 0;
            case NIN_BALLOONTIMEOUT: {
                NOTIFYICONDATAW data = iconRecord(window, NIF_SHOWTIP);
                Shell_NotifyIconW(NIM_MODIFY, &data);
                return 0;
            }
            default:
                break;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace shuttle
