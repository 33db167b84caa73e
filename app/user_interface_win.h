#pragma once
// The main window's user interface: the main dialog, the tray icon, and the link supervisor's
// view of them. Everything here lives until the process ends, because the worker threads are
// never joined and keep their references.

#include <windows.h>

#include <memory>

#include "ui/main_window_win.h"
#include "platform/clock.h"
#include "app/link_environment_win.h"
#include "ui/link_panel_win.h"
#include "ui/tray_icon_win.h"

namespace shuttle {

struct UserInterface {
    std::unique_ptr<DialogLinkPanel> panel;                // made with the dialog
    std::unique_ptr<WindowLinkEnvironment> environment;    // made with the dialog
    std::unique_ptr<TrayIcon> tray;                        // made after the dialog
};

// Hooks the dialog and the tray into the main window: its creation makes the dialog (resource
// 102) and adds the tray icon, its destruction removes the icon, and WM_COMMAND and the tray
// callback go to onTrayMessage.
void attachUserInterface(MainWindowContext& context, UserInterface& ui);

// The link supervisor thread over the dialog and the tray. Start it after the main window
// exists; returns 1 when the run flag is cleared.
int runLinkSupervisorThread(SharedState& state, UserInterface& ui, Clock& clock);

}  // namespace shuttle
