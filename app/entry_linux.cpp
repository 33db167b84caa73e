// Process entry point of the Linux program shuttle: one instance per user, the console switch,
// the settings file, the daily log, the Qt interface (dialog, tray icon, clipboard), the
// computer's workers, the system's device and stop events, and the event loop.

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/computer.h"
#include "base/host_names.h"
#include "base/print.h"
#include "log/logger.h"
#include "platform/autostart_linux.h"
#include "platform/device_watch_linux.h"
#include "platform/file_system_posix.h"
#include "platform/instance_lock_linux.h"
#include "platform/log_files.h"
#include "platform/serial_ports_linux.h"
#include "platform/settings_file_linux.h"
#include "platform/stop_signals_linux.h"
#include "platform/store_drives_linux.h"
#include "ui/clipboard_qt.h"
#include "ui/gui_calls_qt.h"
#include "ui/main_dialog_qt.h"
#include "ui/tray_qt.h"

#include "shuttle_version.h"

namespace shuttle {
namespace {

// How long the end of the program waits for the workers: the end of the session (SIGTERM)
// gives a program a few seconds, and the workers end within a moment of the stop.
constexpr int kWorkerStopWaitMs = 4000;
constexpr int kWorkerCheckMs = 10;

bool hasConsoleSwitch(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--console") == 0 || std::strcmp(argv[i], "-console") == 0) return true;
    return false;
}

// Without the console switch the trace goes nowhere, as on Windows without its console; errors
// still reach standard error, where a desktop session keeps them.
void routeTrace(bool console) {
    if (console) return;
    setTraceSink([](TraceStream stream, const std::string& text) {
        if (stream == TraceStream::Err) std::fwrite(text.data(), 1, text.size(), stderr);
    });
}

// Only X11 lets a program that is not focused see and set the clipboard: on a Wayland session
// the program runs through XWayland, unless the user chose a platform.
void preferX11() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
}

// The workers may wait for the GUI thread (a paste, the dialog): it goes on handling events
// while it waits for them, as the Windows program pumps its messages. A worker stuck in a
// device call past the bound ends with the process; the drive keeps its previous payload.
void stopComputer(Computer& computer, GuiCalls& calls) {
    calls.close();
    computer.requestStop();
    QEventLoop loop;
    QTimer check;
    int waitedMs = 0;
    QObject::connect(&check, &QTimer::timeout, [&] {
        waitedMs += kWorkerCheckMs;
        if (computer.workersFinished() || waitedMs >= kWorkerStopWaitMs) loop.quit();
    });
    check.start(kWorkerCheckMs);
    if (!computer.workersFinished()) loop.exec();
    if (!computer.workersFinished()) {
        printOut("A worker did not end in time; the program ends now\n");
        std::_Exit(0);
    }
    computer.stop();
}

// "Add…" in the dialog: a port or a store folder the system does not list becomes the choice,
// and the supervisor applies the mode again to list and open it.
DialogActions dialogActions(Computer& computer, SerialPorts& ports, LinuxStoreDrives& drives) {
    DialogActions actions;
    actions.addPort = [&computer, &ports](const std::string& path) {
        const std::optional<uint32_t> number = ports.portNumber(path);
        if (!number || !ports.exists(*number)) return false;
        computer.settings().comPort = *number;
        computer.settings().save();
        computer.requests().modeChange = 1;
        return true;
    };
    actions.addStoreFolder = [&computer, &drives](const std::string& folder) {
        const std::optional<LinuxStoreDrive> drive = drives.addFolder(folder);
        const std::u16string entry = drive ? storeDriveEntry(LinkDrive{drive->name, drive->root()}) : std::u16string();
        if (entry.empty()) return false;
        computer.settings().storeSelection.set(entry);
        computer.settings().save();
        computer.requests().modeChange = 1;
        return true;
    };
    return actions;
}

// A notifier on `fd` (when there is one) that runs `onEvent`.
std::unique_ptr<QSocketNotifier> watch(int fd, QSocketNotifier::Type type, std::function<void()> onEvent) {
    if (fd < 0) return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(fd, type);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, std::move(onEvent));
    return notifier;
}

// The platform's side of a Linux computer, made before the computer and outliving it.
struct LinuxSeams {
    // One port table: the settings' port names and the computer's port numbers must agree.
    LinuxSerialPorts ports;
    SettingsFile settingsFile{settingsFilePath(), ports};
    LinuxClipboardFormats formats;
    ClipboardFormatIds formatIds = ClipboardFormatIds::registerAll(formats);
    Logger logger{systemLogFiles(), systemClock()};
    PosixFileSystem& files = posixSystemFileSystem();
    LinuxStoreDrives drives{files};

    ComputerSeams forComputer() {
        return {systemClock(), files, systemGuidSource(), ports, systemDeviceQuery(), formatIds, &logger, &drives};
    }
    // The saved settings. The sender's file list names local files on the host's own drive, and
    // the saved store folder gets its letter back before anything reads the drive.
    void load(Settings& settings) {
        settings.loadFrom(settingsFile);
        files.mapDrive(kHostRootLetter, "/", PosixFileSystem::DriveNames::Host);
        drives.restore(settings.storeSelection.get());
    }
};

// Each clipboard change goes to the copy path, and a busy clipboard is looked at again.
void followClipboard(QtClipboard& clipboard, Computer& computer, QTimer& lookAgain) {
    lookAgain.setSingleShot(true);
    QObject::connect(&clipboard, &QtClipboard::changed, [&computer, &lookAgain] {
        lookAgain.stop();
        if (computer.onClipboardChange()) lookAgain.start(static_cast<int>(kCopyRetryMs));
    });
    QObject::connect(&lookAgain, &QTimer::timeout, [&computer, &lookAgain] {
        if (computer.onClipboardLookAgain()) lookAgain.start(static_cast<int>(kCopyRetryMs));
    });
}

void followTray(QtTray& tray, MainDialog& dialog) {
    QObject::connect(&tray, &QtTray::openRequested, &dialog, &MainDialog::bringToFront);
    // exit(), not quit(): quit() first asks the windows to close, which the dialog declines.
    QObject::connect(&tray, &QtTray::exitRequested, [] { QCoreApplication::exit(0); });
    QObject::connect(&tray, &QtTray::iconShown, &dialog, [&dialog] { dialog.setTrayShown(true); });
    tray.start();
    dialog.setTrayShown(tray.shown());
}

// Serial devices and mounts coming and going, and the signals that end the program.
class SystemEvents {
public:
    SystemEvents(Computer& computer, LinuxStoreDrives& drives, StopSignals& stopSignals) {
        ttyNotifier_ = watch(ttyDevices_.fd(), QSocketNotifier::Read, [this, &computer] {
            if (ttyDevices_.changed()) computer.onDevicesChanged();
        });
        // The drive table first: the supervisor then finds a new drive under its letter.
        mountNotifier_ = watch(mounts_.fd(), QSocketNotifier::Exception, [this, &computer, &drives] {
            if (!mounts_.changed()) return;
            drives.refresh();
            computer.onDevicesChanged();
        });
        stopNotifier_ = watch(stopSignals.fd(), QSocketNotifier::Read, [&stopSignals] {
            if (stopSignals.taken()) QCoreApplication::exit(0);
        });
    }

private:
    TtyDeviceWatch ttyDevices_;
    MountWatch mounts_;
    std::unique_ptr<QSocketNotifier> ttyNotifier_, mountNotifier_, stopNotifier_;
};

int runProgram(StopSignals& stopSignals) {
    LinuxSeams seams;
    Computer computer(seams.forComputer());
    seams.load(computer.settings());
    GuiCalls calls;
    QtClipboard clipboard(seams.formats, [&seams](const std::string& path) { return seams.drives.hostPathOf(path); },
                          calls);
    AutostartFolder autostart(autostartFolder());
    QtTray tray(autostart, QCoreApplication::applicationFilePath());
    MainDialog dialog(computer.settings(), computer.requests(), dialogActions(computer, seams.ports, seams.drives));
    QTimer lookAgain;
    followClipboard(clipboard, computer, lookAgain);
    followTray(tray, dialog);
    const SystemEvents events(computer, seams.drives, stopSignals);
    if (!computer.start({clipboard, tray, dialog.panel()})) return 0;
    // Without a tray nothing else could bring the dialog back: it shows from the start.
    if (!computer.settings().has(kFlagStartInTray) || !tray.shown()) dialog.show();
    printOut("Running\n");
    const int exitCode = QApplication::exec();
    stopComputer(computer, calls);
    return exitCode;
}

}  // namespace
}  // namespace shuttle

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Shuttle %s (Qt %s)\n", SHUTTLE_VERSION_TEXT, qVersion());
        return 0;
    }
    const shuttle::InstanceLock instance(shuttle::instanceLockPath());
    if (instance.state() == shuttle::InstanceLock::State::HeldElsewhere) return 0;
    shuttle::StopSignals stopSignals;  // before any thread starts
    shuttle::routeTrace(shuttle::hasConsoleSwitch(argc, argv));
    shuttle::printOut("Shuttle %s\n", SHUTTLE_VERSION_TEXT);
    shuttle::preferX11();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Shuttle"));
    QApplication::setApplicationVersion(QStringLiteral(SHUTTLE_VERSION_TEXT));
    QApplication::setQuitOnLastWindowClosed(false);
    return shuttle::runProgram(stopSignals);
}
