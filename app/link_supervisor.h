#pragma once
// The link supervisor: the worker that owns the connection state shown to the user. Every
// 100 ms it carries out the dialog's requests, checks the store drive in USB mode, keeps the
// clipboard listener registered, turns changes of the ready flags into the state icon and the
// status text, in COM mode searches the ports for the link device, and in USB mode lists the
// drives anew when a device comes or goes. While a transfer shows its progress, the status text
// shows it too. The saved port (Settings::comPort) is the user's choice, matched by its whole
// name: it is replaced only by a port found working, or forgotten by "Disconnect"; the port
// actually open is LinkState::portNumber.

#include <cstdint>
#include <string>

#include "app/link_environment.h"
#include "core/link_state.h"
#include "core/notifier.h"
#include "core/settings.h"
#include "platform/clock.h"
#include "ui/link_panel.h"

namespace shuttle {

constexpr uint32_t kSupervisorPeriodMs = 100;
constexpr uint32_t kProbeWaitMs = 1000;        // time the receive thread gets to probe a port
constexpr uint64_t kIconRestoreMs = 3000;
constexpr uint64_t kPortRescanMs = 1000;       // with no port to try, the names are looked up this often

class LinkSupervisor {
public:
    LinkSupervisor(Settings& settings, LinkState& link, Requests& requests, LinkPanel& panel,
                   LinkEnvironment& environment, Notifier& notifier, Clock& clock, Wakeup& stop);

    // Arranges the dialog for the mode, registers the clipboard listener and shows the state.
    // False when the program is already ending.
    bool begin();
    // One round: sleep, requests, drive check, ready-flag changes, icon restore, search.
    void runRound();

    void showLinkState();
    void refreshLinkList(bool keepSelection);
    void selectSavedLink();
    void selectSizeLimit();
    void applyMode();
    void advanceProbingText();
    // USB mode: the store drive is present when the root of the drive letter in the store
    // selection is a directory; sets copy-ready, paste-ready and port-open accordingly.
    void checkStoreDrive();

    bool running() const { return !stop_.raised(); }
    int probingPhase() const { return probingPhase_; }

private:
    bool usbMode() const { return settings_.usbMode(); }
    // Waits `ms`, or less when the program ends; true when it is ending.
    bool pause(uint32_t ms) { return clock_.sleepUnless(stop_, ms); }
    void openSelectedLink();
    void tellPermissionOnce();
    void fillComPorts();
    void fillStoreDrives();
    bool selectStoreSelection();
    void followStoreDrives();
    void takeModeChange();
    void takeLinkButton();
    void takeSelectionChange();
    void takeSizeLimit();
    void takeReopen();
    void keepListening();
    void followReadyFlags();
    void restoreStateIcon();
    void followProgress();
    // The status line: `linkText`, or the progress of a transfer while one is shown.
    void showStatus(const std::u16string& linkText);
    void keepWorkingPort();
    void searchPorts(bool devicesChanged);
    void showSearching();

    Settings& settings_;
    LinkState& link_;
    Requests& requests_;
    LinkPanel& panel_;
    LinkEnvironment& environment_;
    Notifier& notifier_;
    Clock& clock_;
    Wakeup& stop_;
    int probingPhase_ = 0;
    int previousCopyReady_ = 0;
    int previousPasteReady_ = 0;
    bool shownCopyReady_ = false;  // the flags the status line was last drawn from
    bool shownPasteReady_ = false;
    bool sizesFilled_ = false;
    std::u16string shownProgress_;  // the progress text on the status line; empty when none
    bool portsScanned_ = false;
    bool permissionTold_ = false;
    uint64_t lastPortScanTick_ = 0;
};

// The thread procedure: `begin`, then rounds while the run flag is set. Returns 1.
int runLinkSupervisor(LinkSupervisor& supervisor);

// Text of an entry of the link selector for a store drive: "<name> (<E:>)".
std::u16string storeDriveEntry(const LinkDrive& drive);
// Drive letter the store selection names (the character after its last "("), or 0 when it
// names none.
char16_t storeSelectionDriveLetter(const std::u16string& selection);

}  // namespace shuttle
