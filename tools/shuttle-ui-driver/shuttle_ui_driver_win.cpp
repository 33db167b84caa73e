// shuttle-ui-driver: works Shuttle's main dialog and tray icon the way a user would, from
// another process of the same Wine prefix. Exit code 0 = done / condition met, 1 = not met or
// timed out, 2 = Shuttle or the control is not there, 64 = bad usage.
//   click ID                      BM_CLICK on a dialog control
//   select ID INDEX               select a drop-down entry and notify the dialog (CBN_SELCHANGE)
//   text ID                       print a control's text (UTF-8)
//   items ID                      print a drop-down list's entries, one a line, "*" on the selected
//   state ID...                   print "visible enabled checked" of each control as 0/1 digits,
//                                 one line each (one call for a whole dialog's state)
//   wait-text ID MS TEXT          wait until the control's text is TEXT; prints the wait in ms
//   click-wait ID OTHER 0|1 MS    click ID, then wait until control OTHER is hidden (0) or shown
//                                 (1); prints the ms from the click
//   wait-other ID MS TEXT         wait until the control's text is no longer TEXT
//   wait-shown ID 0|1 MS          wait until the control is hidden (0) or shown (1); prints ms
//   tray-present                  exit 0 when Shuttle's notification-area icon exists
//   tray-event EVENT [X Y]        post the tray callback with an event (123 menu, 1024 select)
//   menu-keys MS VK...            wait for the open popup menu, then press the keys in it
//   menu-open                     exit 0 when a popup menu is open
//   context-menu ID               send WM_CONTEXTMENU to a control (as a right click would); returns
//                                 once the control has handled it (exit 1 if that takes over 30 s,
//                                 as when a context menu's loop holds it)
//   balloon TITLE TEXT            show a balloon on Shuttle's icon (for pictures of the tray)
//   stored-text ID                print a control's text as the system keeps it, without asking
//                                 Shuttle (works while Shuttle is held still)
//   tray-hover                    rest the pointer on the notification-area icon (its tip shows)
//   tray-tip MS [PREFIX]          wait until the icon's tip is shown (and begins with PREFIX);
//                                 print its text (UTF-8). Neither command sends Shuttle a message,
//                                 so both work while Shuttle is held still.
//   move X Y                      move the main window (so that pictures show the tray beside it)
//   fits [all]                    print the dialog's DPI and font, then every caption that needs more
//                                 room than its control gives it (text of check boxes and radio
//                                 buttons beside the check mark, group captions inside the frame,
//                                 drop-down entries in the box and in the list), a text static
//                                 much wider than its word, and a main window whose client area
//                                 is not the dialog's size; exit 1 when there is any ("all" prints
//                                 every measure)
//   setting NAME                  print a saved setting of HKCU\Software\ORB\Shuttle: a number in
//                                 decimal, a text as UTF-8 (exit 1 when it is not there)
// Other programs' top-level windows, found by window class (these work without Shuttle):
//   wait-top CLASS MS             wait until a visible window of the class exists
//   place CLASS X Y WIDTH HEIGHT  move and size it
//   paste-into CLASS              paste, as Ctrl+V would: WM_PASTE to its edit control, or to the
//                                 window itself when it has none
//   top-text CLASS                print the text of its edit control (or its title) as UTF-8
// Several commands can share one call, separated by "+" (each Wine process start costs a
// fifth of a second): they run in order and the first that does not give 0 ends the call
// with its code.

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "caption_fit_win.h"

namespace {

constexpr UINT kTrayIconId = 0xEA856883u;
constexpr UINT kTrayCallback = WM_APP + 100;

HWND mainWindow() { return FindWindowW(L"SHUTTLE", L"Shuttle"); }
HWND mainDialog() { return FindWindowExW(mainWindow(), nullptr, MAKEINTATOM(0x8002), nullptr); }
HWND control(int id) {
    HWND dialog = mainDialog();
    return dialog != nullptr ? GetDlgItem(dialog, id) : nullptr;
}

void printWide(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? bytes : 0, '\0');
    if (bytes > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

std::wstring windowText(HWND window) {
    wchar_t buffer[1024] = {};
    LRESULT length = SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer));
    return std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

// The control's own visibility, whether or not the main window is shown.
bool ownVisible(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

std::wstring itemText(HWND combo, int index) {
    LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
    if (length < 0) return {};
    std::vector<wchar_t> buffer(length + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buffer.data()));
    return std::wstring(buffer.data());
}

// Polls `met` every 5 ms; prints the time it took.
template <class Condition>
int waitUntil(DWORD ms, Condition met) {
    ULONGLONG start = GetTickCount64();
    for (;;) {
        if (met()) {
            std::printf("%llu\n", GetTickCount64() - start);
            return 0;
        }
        if (GetTickCount64() - start > ms) return 1;
        Sleep(5);
    }
}

NOTIFYICONDATAW iconRecord(UINT flags) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = mainWindow();
    data.uID = kTrayIconId;
    data.uFlags = flags;
    return data;
}

HWND openMenu() {
    HWND menu = FindWindowW(MAKEINTATOM(0x8000), nullptr);  // "#32768", the popup menu class
    return menu != nullptr && IsWindowVisible(menu) ? menu : nullptr;
}

int pressMenuKeys(DWORD ms, int count, wchar_t** keys) {
    if (waitUntil(ms, [] { return openMenu() != nullptr; }) != 0) return 1;
    HWND menu = openMenu();
    for (int i = 0; i < count; ++i) {
        WPARAM key = std::wcstoul(keys[i], nullptr, 0);
        PostMessageW(menu, WM_KEYDOWN, key, 0);
        PostMessageW(menu, WM_KEYUP, key, 0xC0000000);
    }
    return 0;
}

// Wine draws the notification area itself: each icon is a window of its own inside the tray
// window ("__winex11_tray_icon" in Wine 8's stand-alone tray, "__wine_tray_icon" in later
// versions), and its tip a tooltip window shown while the pointer rests on it. In a fresh
// prefix Shuttle's icon is the only one.
BOOL CALLBACK findTrayIcon(HWND window, LPARAM result) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    if ((std::wcscmp(name, L"__winex11_tray_icon") == 0 || std::wcscmp(name, L"__wine_tray_icon") == 0) &&
        IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK findTrayIconInside(HWND window, LPARAM result) {
    if (!findTrayIcon(window, result)) return FALSE;
    EnumChildWindows(window, findTrayIcon, result);
    return *reinterpret_cast<HWND*>(result) == nullptr;
}

HWND trayIconWindow() {
    HWND found = nullptr;
    EnumWindows(findTrayIconInside, reinterpret_cast<LPARAM>(&found));
    return found;
}

int hoverTrayIcon() {
    HWND icon = trayIconWindow();
    if (icon == nullptr) return 1;
    RECT box{};
    GetWindowRect(icon, &box);
    // Off the icon first, so that resting on it is a new hover even when the pointer was there.
    SetCursorPos(box.right + 40, box.bottom + 40);
    Sleep(50);
    SetCursorPos((box.left + box.right) / 2, (box.top + box.bottom) / 2);
    return 0;
}

// The text of a shown tip of another process (balloons, which are tooltips too, left out).
std::wstring shownTrayTip() {
    std::wstring text;
    auto look = [](HWND window, LPARAM result) -> BOOL {
        wchar_t name[64] = L"";
        GetClassNameW(window, name, 64);
        if (std::wcscmp(name, TOOLTIPS_CLASSW) != 0 || !IsWindowVisible(window)) return TRUE;
        if (GetWindowLongW(window, GWL_STYLE) & TTS_BALLOON) return TRUE;
        wchar_t buffer[256] = L"";
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(window, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 1000,
                                 &length) ||
            length == 0)
            return TRUE;
        *reinterpret_cast<std::wstring*>(result) = std::wstring(buffer, length);
        return FALSE;
    };
    EnumWindows(look, reinterpret_cast<LPARAM>(&text));
    return text;
}

// Reads what Shuttle saved, without starting reg.exe (a second Wine process).
int printSetting(const wchar_t* name) {
    constexpr wchar_t kKey[] = L"Software\\ORB\\Shuttle";
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_DWORD | RRF_RT_REG_SZ, &type, nullptr, &bytes) !=
        ERROR_SUCCESS)
        return 1;
    std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 2, L'\0');
    if (RegGetValueW(HKEY_CURRENT_USER, kKey, name, RRF_RT_REG_DWORD | RRF_RT_REG_SZ, &type, data.data(), &bytes) !=
        ERROR_SUCCESS)
        return 1;
    if (type == REG_DWORD) {
        DWORD value = 0;
        std::memcpy(&value, data.data(), sizeof value);
        std::printf("%lu\n", static_cast<unsigned long>(value));
    } else {
        printWide(std::wstring(data.data()) + L"\n");
    }
    return 0;
}

HWND topWindow(const wchar_t* windowClass) {
    HWND window = FindWindowW(windowClass, nullptr);
    return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

// The window that takes a paste: the edit control of a window such as Notepad's, else the window.
HWND pasteTarget(HWND window) {
    HWND edit = FindWindowExW(window, nullptr, L"Edit", nullptr);
    return edit != nullptr ? edit : window;
}

int runOnTopWindow(const std::wstring& verb, int argc, wchar_t** argv) {
    auto number = [&](int index) { return index < argc ? static_cast<int>(std::wcstol(argv[index], nullptr, 0)) : 0; };
    if (verb == L"wait-top") return argc == 4 ? waitUntil(number(3), [&] { return topWindow(argv[2]) != nullptr; }) : 64;
    HWND window = topWindow(argv[2]);
    if (window == nullptr) return 2;
    if (verb == L"place" && argc == 7)
        return SetWindowPos(window, nullptr, number(3), number(4), number(5), number(6), SWP_NOZORDER | SWP_NOACTIVATE)
                   ? 0
                   : 1;
    if (verb == L"paste-into") {
        SendMessageW(pasteTarget(window), WM_PASTE, 0, 0);
        return 0;
    }
    if (verb == L"top-text") {
        printWide(windowText(pasteTarget(window)) + L"\n");
        return 0;
    }
    return 64;
}

int run(int argc, wchar_t** argv) {
    if (argc < 2) return 64;
    const std::wstring verb = argv[1];
    auto number = [&](int index) { return index < argc ? static_cast<int>(std::wcstol(argv[index], nullptr, 0)) : 0; };
    if (verb == L"setting") return argc == 3 ? printSetting(argv[2]) : 64;
    if (verb == L"wait-top" || verb == L"place" || verb == L"paste-into" || verb == L"top-text")
        return argc >= 3 ? runOnTopWindow(verb, argc, argv) : 64;
    if (mainWindow() == nullptr) return 2;

    if (verb == L"tray-present") {
        NOTIFYICONDATAW data = iconRecord(0);  // modifies nothing; fails when there is no icon
        return Shell_NotifyIconW(NIM_MODIFY, &data) ? 0 : 1;
    }
    if (verb == L"tray-event") {
        WPARAM anchor = MAKEWPARAM(number(3), number(4));
        return PostMessageW(mainWindow(), kTrayCallback, anchor, MAKELPARAM(number(2), kTrayIconId)) ? 0 : 1;
    }
    if (verb == L"menu-open") return openMenu() != nullptr ? 0 : 1;
    if (verb == L"menu-keys") return argc < 4 ? 64 : pressMenuKeys(number(2), argc - 3, argv + 3);
    if (verb == L"balloon" && argc == 4) {
        NOTIFYICONDATAW data = iconRecord(NIF_INFO);
        data.dwInfoFlags = NIIF_NOSOUND;
        wcsncpy(data.szInfoTitle, argv[2], 63);
        wcsncpy(data.szInfo, argv[3], 255);
        return Shell_NotifyIconW(NIM_MODIFY, &data) ? 0 : 1;
    }

    if (verb == L"tray-hover") return hoverTrayIcon();
    if (verb == L"tray-tip" && (argc == 3 || argc == 4)) {
        const std::wstring prefix = argc == 4 ? argv[3] : L"";
        std::wstring tip;
        const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(number(2));
        do {
            tip = shownTrayTip();
            if (!tip.empty() && tip.compare(0, prefix.size(), prefix) == 0) {
                printWide(tip + L"\n");
                return 0;
            }
            Sleep(20);
        } while (GetTickCount64() < end);
        return 1;
    }

    if (verb == L"move") {
        return SetWindowPos(mainWindow(), nullptr, number(2), number(3), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
                   ? 0
                   : 1;
    }

    if (verb == L"fits" && argc <= 3) {
        if (mainDialog() == nullptr) return 2;
        return printCaptionFits(mainWindow(), mainDialog(), argc == 3 && std::wcscmp(argv[2], L"all") == 0);
    }

    HWND item = control(number(2));
    if (item == nullptr) return 2;
    if (verb == L"click") {
        SendMessageW(item, BM_CLICK, 0, 0);
        return 0;
    }
    if (verb == L"click-wait" && argc == 6) {
        HWND other = control(number(3));
        if (other == nullptr) return 2;
        bool want = number(4) != 0;
        PostMessageW(item, BM_CLICK, 0, 0);  // timed from the moment the click is queued
        return waitUntil(number(5), [&] { return ownVisible(other) == want; });
    }
    if (verb == L"select") {
        if (SendMessageW(item, CB_SETCURSEL, number(3), 0) == CB_ERR) return 1;
        SendMessageW(mainDialog(), WM_COMMAND, MAKEWPARAM(number(2), CBN_SELCHANGE), reinterpret_cast<LPARAM>(item));
        return 0;
    }
    if (verb == L"stored-text") {
        wchar_t buffer[1024] = {};
        const int length = InternalGetWindowText(item, buffer, 1024);
        printWide(std::wstring(buffer, length > 0 ? static_cast<size_t>(length) : 0) + L"\n");
        return 0;
    }
    if (verb == L"text") {
        printWide(windowText(item) + L"\n");
        return 0;
    }
    if (verb == L"items") {
        LRESULT count = SendMessageW(item, CB_GETCOUNT, 0, 0);
        LRESULT selected = SendMessageW(item, CB_GETCURSEL, 0, 0);
        for (int i = 0; i < count; ++i) printWide((i == selected ? L"*" : L"") + itemText(item, i) + L"\n");
        return 0;
    }
    if (verb == L"state") {
        for (int index = 2; index < argc; ++index) {
            HWND each = control(number(index));
            if (each == nullptr) return 2;
            std::printf("%d %d %d\n", ownVisible(each) ? 1 : 0, IsWindowEnabled(each) ? 1 : 0,
                        SendMessageW(each, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
        }
        return 0;
    }
    if (verb == L"wait-text" && argc == 5) {
        std::wstring want = argv[4];
        return waitUntil(number(3), [&] { return windowText(item) == want; });
    }
    if (verb == L"wait-other" && argc == 5) {
        std::wstring old = argv[4];
        return waitUntil(number(3), [&] { return windowText(item) != old; });
    }
    if (verb == L"context-menu") {
        RECT box{};
        GetWindowRect(item, &box);
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(item, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(item),
                                   MAKELPARAM(box.left + 4, box.top + 4), SMTO_NORMAL, 30000, &result) != 0
                   ? 0
                   : 1;
    }
    if (verb == L"wait-shown") {
        bool want = number(3) != 0;
        return waitUntil(number(4), [&] { return ownVisible(item) == want; });
    }
    return 64;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int code = 64;
    for (int start = 1; start <= argc;) {
        int end = start;
        while (end < argc && std::wcscmp(argv[end], L"+") != 0) ++end;
        // Each command sees the program name and its own words, as if called alone.
        std::vector<wchar_t*> words{argv[0]};
        words.insert(words.end(), argv + start, argv + end);
        code = run(static_cast<int>(words.size()), words.data());
        std::fflush(stdout);
        if (code != 0) break;
        start = end + 1;
    }
    return code;
}
