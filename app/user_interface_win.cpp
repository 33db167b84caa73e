#include "app/user_interface_win.h"

#include "app/link_supervisor.h"
#include "ui/main_dialog_win.h"

namespace shuttle {

void attachUserInterface(MainWindowContext& context, UserInterface& ui) {
    MainWindowContext* window = &context;
    UserInterface* parts = &ui;
    context.createDialog = [window, parts](HWND mainWindow) {
        HWND dialog = createMainDialog(window->instance, mainWindow, window->state);
        parts->panel = std::make_unique<DialogLinkPanel>(dialog);
        parts->environment = std::make_unique<WindowLinkEnvironment>(window->state, mainWindow);
        return dialog;
    };
    context.addTrayIcon = [window, parts](HWND mainWindow) {
        parts->tray = std::make_unique<TrayIcon>(mainWindow, window->instance);
    };
    context.removeTrayIcon = [parts](HWND mainWindow) {
        if (parts->tray)
            parts->tray->remove();
        else
            removeTrayIcon(mainWindow);
    };
    context.onTrayMessage = onTrayMessage;
}

int runLinkSupervisorThread(SharedState& state, UserInterface& ui, Clock& clock) {
    if (!ui.panel || !ui.environment || !ui.tray) return 1;  // the main window was never made
    LinkSupervisor supervisor(state, *ui.panel, *ui.environment, *ui.tray, clock);
    return runLinkSupervisor(supervisor);
}

}  // namespace shuttle
