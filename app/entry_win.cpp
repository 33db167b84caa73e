// Process entry point of Shuttle.exe: single instance, console switch, settings, logger,
// main window and dialog, the computer's workers, and the message loop.

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <atomic>

#include "app/computer.h"
#include "app/console_win.h"
#include "base/print.h"
#include "log/logger.h"
#include "platform/clipboard_formats.h"
#include "platform/clipboard_win.h"
#include "platform/clock.h"
#include "platform/device_query.h"
#include "platform/file_system.h"
#include "platform/guid_source.h"
#include "platform/log_files.h"
#include "platform/serial_port.h"
#include "platform/settings_store.h"
#include "platform/win_handles.h"
#include "ui/link_panel_win.h"
#include "ui/main_window_win.h"

#include "shuttle_version.h"

namespace shuttle {
namespace {

constexpr wchar_t kInstanceMutexName[] = L"Shuttle-F51271F8-E2D2-4C48-8510-91FBC79BBB79";
// The workers' part of the five seconds a program has once its session ends; the rest is for
// the process's own end.
constexpr DWORD kEndSessionWaitMs = 4000;

// The window whose tray icon the console's close event removes; the console handler runs on a
// thread of the system's own and may come at any time.
std::atomic<HWND> consoleTrayWindow{nullptr};

// Lets the window thread answer the messages the workers send to the dialog while it waits
// for them to end; a plain join could wait for a worker that waits for this thread.
void waitForWorkers(Computer& computer, DWORD limitMs) {
    const ULONGLONG deadline = GetTickCount64() + limitMs;
    while (!computer.workersFinished() && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

// Stops the computer: every wait of its workers ends on the stop, so they return within a
// moment; they are joined once they have. False when they had not all returned by `limitMs`.
bool stopComputer(Computer& computer, DWORD limitMs) {
    computer.requestStop();
    waitForWorkers(computer, limitMs);
    if (!computer.workersFinished()) return false;
    computer.stop();
    return true;
}

// The session ends: the process goes within five seconds whatever it was doing. A store copy
// stops at its next chunk and leaves the drive's document as it was; a worker stuck in a call
// to a device that does not answer is not waited for beyond the bound, since the system ends
// the process anyway - the drive then still holds its previous document, written whole.
void endSession(Computer& computer) {
    printOut("The session ends\n");
    if (stopComputer(computer, kEndSessionWaitMs)) {
        PostQuitMessage(0);
        return;
    }
    printOut("A worker did not end in time; the program ends now\n");
    TerminateProcess(GetCurrentProcess(), 0);
}

// The main window's events, passed to the computer.
class ProgramEvents final : public MainWindowEvents {
public:
    explicit ProgramEvents(Computer& computer) : computer_(computer) {}
    unsigned onClipboardChange() override { return computer_.onClipboardChange() ? kCopyRetryMs : 0; }
    unsigned onClipboardLookAgain() override { return computer_.onClipboardLookAgain() ? kCopyRetryMs : 0; }
    unsigned onClipboardCheck() override { return computer_.onClipboardCheck() ? kCopyRetryMs : 0; }
    unsigned clipboardCheckMs() const override { return kClipboardCheckMs; }
    void onDestroy() override { computer_.requestStop(); }
    void onEndSession() override { endSession(computer_); }
    void onTaskbarCreated() override { computer_.onTaskbarCreated(); }
    void onResume() override { computer_.onResume(); }
    void onDevicesChanged() override { computer_.onDevicesChanged(); }

private:
    Computer& computer_;
};

int runMessageLoop(HWND dialog) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // The dialog gets the first look for its keyboard handling.
        if (dialog != nullptr && IsDialogMessageW(dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

// The window, the dialog and the tray icon exist: the computer's workers run until the window
// is destroyed.
int runWindow(Computer& computer, MainWindowContext& context, int showCommand) {
    if (!computer.settings().has(kFlagStartInTray)) {
        ShowWindow(context.window, showCommand);
        UpdateWindow(context.window);
    }
    std::unique_ptr<Clipboard> clipboard = makeWin32Clipboard(context.window);
    DialogLinkPanel panel(context.dialog);
    int exitCode = 0;
    if (computer.start({*clipboard, *context.tray, panel}))
        exitCode = runMessageLoop(context.dialog);
    else
        DestroyWindow(context.window);  // a worker could not start: the program ends cleanly
    consoleTrayWindow = nullptr;
    stopComputer(computer, INFINITE);
    return exitCode;
}

int runApplication(HINSTANCE instance, const wchar_t* commandLine, int showCommand) {
    // One instance per user. The handle is kept until the process ends.
    ScopedHandle instanceMutex(CreateMutexW(nullptr, FALSE, kInstanceMutexName));
    const DWORD mutexError = GetLastError();
    if (mutexError == ERROR_ALREADY_EXISTS || mutexError == ERROR_ACCESS_DENIED) return 0;

    // The console switch: the whole command line, exactly.
    if (isConsoleSwitch(commandLine)) {
        openTraceConsole([] {
            if (HWND window = consoleTrayWindow.load()) removeTrayIcon(window);
        });
        printOut("Shuttle " SHUTTLE_VERSION_TEXT "\n");
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    Clock& clock = systemClock();
    std::unique_ptr<SettingsStore> settingsStore = makeRegistrySettingsStore();
    const ClipboardFormatIds formatIds = ClipboardFormatIds::registerAll(*makeSystemClipboardFormatRegistry());
    Logger logger(systemLogFiles(), clock);  // its construction creates the log folder
    std::unique_ptr<SerialPorts> ports = makeSystemSerialPorts();
    Computer computer(
        {clock, systemFileSystem(), systemGuidSource(), *ports, systemDeviceQuery(), formatIds, &logger});
    computer.settings().loadFrom(*settingsStore);

    // The hyperlink control class.
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);

    ProgramEvents events(computer);
    MainWindowContext context(instance, computer.settings(), computer.requests(), events);
    HWND window = createMainWindow(context);
    int exitCode = 0;
    if (window != nullptr && context.dialog != nullptr && context.tray) {
        consoleTrayWindow = window;
        exitCode = runWindow(computer, context, showCommand);
    }
    computer.stop();
    CoUninitialize();
    FreeConsole();
    return exitCode;
}

}  // namespace
}  // namespace shuttle

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    return shuttle::runApplication(instance, commandLine, showCommand);
}
