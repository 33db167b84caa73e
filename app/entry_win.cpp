// Process entry point of Shuttle.exe: single instance, console switch, settings, logger,
// main window and dialog, the two worker threads, and the message loop.

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <thread>

#include "app/console_win.h"
#include "ui/main_window_win.h"
#include "core/settings.h"
#include "core/shared_state.h"
#include "exchange/copy_path.h"
#include "exchange/receive_loop.h"
#include "discovery/store_drives.h"
#include "log/logger.h"
#include "base/print.h"
#include "platform/clipboard_formats.h"
#include "platform/clipboard_win.h"
#include "platform/clock.h"
#include "platform/device_query.h"
#include "platform/file_system.h"
#include "platform/guid_source.h"
#include "platform/log_files.h"
#include "platform/serial_port.h"
#include "platform/settings_store.h"
#include "serial/link_port.h"
#include "store/file_tree.h"
#include "app/user_interface_win.h"
#include "shuttle_version.h"

namespace shuttle {
namespace {

constexpr wchar_t kInstanceMutexName[] = L"Shuttle-F51271F8-E2D2-4C48-8510-91FBC79BBB79";

std::vector<LinkDrive> listStoreDrives() {
    std::vector<StoreDrive> found;
    findStoreDrives(systemDeviceQuery(), found);
    std::vector<LinkDrive> drives;
    for (const StoreDrive& drive : found) drives.push_back(LinkDrive{drive.name, drive.rootPath});
    return drives;
}

// Gives the supervisor the real link: serial ports, the port close and drive discovery.
void attachLink(SharedState& state, UserInterface& ui, Clock& clock) {
    SerialPorts* ports = makeSystemSerialPorts().release();
    SharedState* shared = &state;
    Clock* time = &clock;
    ui.environment->openLink = [shared, ports, time](const std::u16string& selectedText) {
        openSelectedLink(*shared, *ports, *time, selectedText);
    };
    ui.environment->closeLink = [shared] { closePort(*shared); };
    ui.environment->findDrives = listStoreDrives;
}

// The copy path and the receive loop share one view of this computer. Like the rest of the
// process-wide objects, it is never destroyed (the receive thread is never joined).
ExchangeContext* makeExchange(SharedState& state, HWND window, Tray& tray, Clock& clock,
                              const ClipboardFormatIds& formatIds) {
    Clipboard* clipboard = makeWin32Clipboard(window).release();
    auto* copyBuffer = new CopyBuffer();
    return new ExchangeContext{state, *clipboard, tray, clock, systemFileSystem(), systemGuidSource(), *copyBuffer,
                               formatIds};
}

int runApplication(HINSTANCE instance, const wchar_t* commandLine, int showCommand) {
    // 1. One instance per user. The handle is kept until the process ends.
    HANDLE instanceMutex = CreateMutexW(nullptr, FALSE, kInstanceMutexName);
    const DWORD mutexError = GetLastError();
    if (mutexError == ERROR_ALREADY_EXISTS || mutexError == ERROR_ACCESS_DENIED) return 0;
    (void)instanceMutex;

    // Everything shared lives until the process ends: worker threads may still be running
    // when the entry point returns, so none of it is ever destroyed.
    auto* state = new SharedState();
    auto* settingsStore = makeRegistrySettingsStore().release();
    auto* context = new MainWindowContext(*state);
    auto* userInterface = new UserInterface();
    attachUserInterface(*context, *userInterface);
    state->settingsStore = settingsStore;
    Clock& clock = systemClock();

    // 2. Console switch: the whole command line, exactly.
    if (isConsoleSwitch(commandLine)) {
        openTraceConsole([context] {
            if (context->removeTrayIcon && context->window != nullptr) context->removeTrayIcon(context->window);
        });
        printOut("Shuttle " SHUTTLE_VERSION_TEXT "\n");
    }

    // 3.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    // 4. Settings.
    loadSettings(*settingsStore, state->settings);

    // 5. The four registered clipboard formats.
    auto* formatIds = new ClipboardFormatIds(ClipboardFormatIds::registerAll(*makeSystemClipboardFormatRegistry()));

    // 6. The process's logger (its construction creates the log folder).
    state->logger = new Logger(systemLogFiles(), clock);

    // 7. The hyperlink control class.
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);

    // 8-9. Main window (its creation makes the dialog and the tray icon).
    context->instance = instance;
    HWND window = createMainWindow(*context);
    int exitCode = 0;
    if (window != nullptr && userInterface->tray && userInterface->environment) {
        if (!state->settings.has(kFlagStartInTray)) {
            ShowWindow(window, showCommand);
            UpdateWindow(window);
        }
        // 10-11. The link mutex is part of the shared state; start the workers. The copy path
        // runs for clipboard changes once the supervisor registers the listener.
        attachLink(*state, *userInterface, clock);
        ExchangeContext* exchange = makeExchange(*state, window, *userInterface->tray, clock, *formatIds);
        context->onClipboardUpdate = [exchange] { runCopyPath(*exchange); };
        std::thread(runLinkSupervisorThread, std::ref(*state), std::ref(*userInterface), std::ref(clock)).detach();
        std::thread(receiveLoop, std::ref(*exchange)).detach();

        // 12. Message loop; the dialog gets the first look for its keyboard handling.
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (context->dialog != nullptr && IsDialogMessageW(context->dialog, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        exitCode = static_cast<int>(message.wParam);
    }

    // Shutdown: the port is closed without the link mutex, which a poll may hold.
    closePortAtExit(*state);
    CoUninitialize();
    FreeConsole();
    return exitCode;
}

}  // namespace
}  // namespace shuttle

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    return shuttle::runApplication(instance, commandLine, showCommand);
}
