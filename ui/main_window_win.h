#pragma once
// The main window: class "SHUTTLE", title "Shuttle". Its procedure dispatches clipboard
// changes to the copy path, tray callbacks and menu commands to the tray handler, and ends the
// application when destroyed.

#include <windows.h>

#include <functional>

#include "core/shared_state.h"
#include "resources/resource_ids.h"

namespace shuttle {

constexpr UINT kTrayCallbackMessage = WM_APP + 100;  // 0x8064
constexpr UINT kCommandOpen = IDM_TRAY_OPEN;
constexpr UINT kCommandExit = IDM_TRAY_EXIT;

// What the window procedure needs; lives for the whole process.
struct MainWindowContext {
    SharedState& state;
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    HWND dialog = nullptr;

    // Attached by the user-interface and clipboard modules.
    std::function<HWND(HWND window)> createDialog;      // WM_CREATE: the main dialog
    std::function<void(HWND window)> addTrayIcon;       // WM_CREATE, after the dialog
    std::function<void(HWND window)> removeTrayIcon;    // WM_DESTROY and console events
    std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> onTrayMessage;  // WM_COMMAND, callback
    std::function<void()> onClipboardUpdate;            // WM_CLIPBOARDUPDATE: the copy path

    explicit MainWindowContext(SharedState& shared) : state(shared) {}
};

// Registers the class and creates the window (hidden); null on failure.
HWND createMainWindow(MainWindowContext& context);

// Restores the window if hidden and brings it to the foreground.
void showMainWindow(HWND window);

}  // namespace shuttle
