#pragma once
// The main window: class "SHUTTLE", title "Shuttle". Its creation makes the main dialog and the
// tray icon; its procedure passes clipboard changes and the desktop's events to the program
// through MainWindowEvents, tray callbacks and menu commands to the tray handler, and ends the
// message loop when the window is destroyed.

#include <windows.h>

#include <memory>

#include "core/link_state.h"
#include "core/settings.h"
#include "ui/tray_icon_win.h"

namespace shuttle {

// What the main window tells the program that owns it. Called on the window thread.
class MainWindowEvents {
public:
    virtual ~MainWindowEvents() = default;
    // The clipboard changed. Gives the milliseconds after which to look again (the clipboard
    // was busy), or 0.
    virtual unsigned onClipboardChange() = 0;
    // The look again at a change that met a busy clipboard; the same answer.
    virtual unsigned onClipboardLookAgain() = 0;
    // The periodic check for a change whose notice never came, every clipboardCheckMs(); the
    // same answer.
    virtual unsigned onClipboardCheck() = 0;
    virtual unsigned clipboardCheckMs() const = 0;
    virtual void onDestroy() = 0;           // the window is going: the workers are asked to stop
    virtual void onEndSession() = 0;        // log-off or shutdown: finish before the process is ended
    virtual void onTaskbarCreated() = 0;    // the shell restarted and lost the tray icon
    virtual void onResume() = 0;            // the machine woke from sleep
    virtual void onDevicesChanged() = 0;    // a device arrived or left
};

// What the window procedure needs; outlives the window.
struct MainWindowContext {
    MainWindowContext(HINSTANCE module, Settings& shared, Requests& dialogRequests, MainWindowEvents& handler)
        : instance(module), settings(shared), requests(dialogRequests), events(handler) {}

    HINSTANCE instance;
    Settings& settings;
    Requests& requests;
    MainWindowEvents& events;
    HWND window = nullptr;
    HWND dialog = nullptr;
    std::unique_ptr<TrayIcon> tray;  // made with the window, after the dialog
};

// Registers the class and creates the window (hidden) with its dialog and tray icon; null on
// failure.
HWND createMainWindow(MainWindowContext& context);

// Restores the window if hidden and brings it to the foreground.
void showMainWindow(HWND window);

}  // namespace shuttle
