#include "app/link_supervisor.h"

#include <algorithm>
#include <array>

#include "base/print.h"
#include "base/utf8.h"

namespace shuttle {
namespace {

bool isAsciiLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

}  // namespace

std::u16string storeDriveEntry(const LinkDrive& drive) {
    if (drive.rootPath.size() < 2) return {};
    std::u16string entry;
    if (!tryFromUtf8(drive.name + " (" + drive.rootPath.substr(0, 2) + ")", entry)) return {};
    return entry;
}

char16_t storeSelectionDriveLetter(const std::u16string& selection) {
    size_t open = selection.rfind(u'(');
    if (open == std::u16string::npos || open + 1 >= selection.size()) return 0;
    char16_t letter = selection[open + 1];
    return isAsciiLetter(letter) ? letter : 0;
}

LinkSupervisor::LinkSupervisor(Settings& settings, LinkState& link, Requests& requests, LinkPanel& panel,
                               LinkEnvironment& environment, Notifier& notifier, Clock& clock, Wakeup& stop)
    : settings_(settings),
      link_(link),
      requests_(requests),
      panel_(panel),
      environment_(environment),
      notifier_(notifier),
      clock_(clock),
      stop_(stop) {}

// Status texts begin with a space; the progress gets one too.
void LinkSupervisor::showStatus(const std::u16string& linkText) {
    panel_.setStatusText(shownProgress_.empty() ? linkText : u" " + shownProgress_);
}

// The transfer worker publishes its progress through the notifier; this thread owns the status
// line and shows it, at most once a round, and the link state again when the transfer ends.
void LinkSupervisor::followProgress() {
    std::u16string progress = notifier_.progressText();
    if (progress == shownProgress_) return;
    shownProgress_ = std::move(progress);
    if (shownProgress_.empty())
        showLinkState();
    else
        showStatus(shownProgress_);
}

void LinkSupervisor::showLinkState() {
    LinkState& link = link_;
    bool usb = usbMode();
    if (usb) link.linkConnected = link.portOpen.load();
    bool copy = link.copyReady != 0;
    bool paste = link.pasteReady != 0;
    shownCopyReady_ = copy;
    shownPasteReady_ = paste;
    if (link.linkConnected != 0) {
        if (copy && paste)
            showStatus(link_text::kReady);
        else if (copy)
            showStatus(link_text::kReadyToCopy);
        else if (paste)
            showStatus(link_text::kReadyToPaste);
        else
            showStatus(link_text::kNotReady);
        panel_.setLinkButtonCaption(link_text::kDisconnect);
        panel_.enableLinks(usb);
        return;
    }
    if (link.openAttempted != 0) {
        showStatus(usb ? link_text::kNotConnected : link_text::kFailed);
        panel_.setLinkButtonCaption(link_text::kRefresh);
    } else {
        showStatus(usb ? link_text::kSelectUsb : link_text::kSelectCom);
        panel_.setLinkButtonCaption(usb ? link_text::kRefresh : link_text::kAuto);
    }
    panel_.enableLinks(true);
}

void LinkSupervisor::fillComPorts() {
    lastPortScanTick_ = clock_.tickMs();
    portsScanned_ = true;
    for (const std::u16string& name : environment_.presentPortNames()) panel_.addLink(name);
}

void LinkSupervisor::fillStoreDrives() {
    int widest = -1;
    for (const LinkDrive& drive : environment_.findStoreDrives()) {
        std::u16string entry = storeDriveEntry(drive);
        if (entry.empty()) continue;  // no drive letter, or a name that is not text
        panel_.addLink(entry);
        widest = std::max(widest, panel_.measureLinkText(entry));
    }
    if (widest >= 0) panel_.setLinkDroppedWidth(widest);
}

void LinkSupervisor::refreshLinkList(bool keepSelection) {
    LinkState& link = link_;
    link.setReadiness(false, false);
    panel_.resetLinks();
    if (!usbMode()) {
        fillComPorts();
        environment_.closePort();
        if (!keepSelection) {
            settings_.comPort = kNoComPort;
            settings_.save();
        }
    } else {
        fillStoreDrives();
        link.portOpen = 0;
        if (!keepSelection) {
            settings_.storeSelection.set(u"");
            settings_.save();
        }
    }
    link.linkConnected = 0;
    link.openAttempted = 0;
}

void LinkSupervisor::openSelectedLink() {
    environment_.openSelectedLink(panel_.linkText(panel_.currentLink()));
    tellPermissionOnce();
}

// A port this user may not open stays shut until the user is in its group: said once a run.
void LinkSupervisor::tellPermissionOnce() {
    if (usbMode() || permissionTold_ || link_.openFailure.load() != SerialOpenFailure::NoPermission) return;
    permissionTold_ = true;
    const char* text = serialOpenFailureText(SerialOpenFailure::NoPermission);
    printOut(">>> %s\n", text);
    notifier_.notify(u"Can't open the port", fromUtf8(text), false);
    notifier_.log(text);
}

// An absent drive is listed all the same, so that the user sees which one is awaited.
bool LinkSupervisor::selectStoreSelection() {
    const std::u16string selection = settings_.storeSelection.get();
    if (selection.empty()) return false;
    if (!panel_.selectLinkByName(selection)) panel_.selectLink(panel_.addLink(selection));
    return true;
}

void LinkSupervisor::selectSavedLink() {
    if (usbMode()) {
        if (!selectStoreSelection()) return;
    } else {
        // An absent saved port stays the choice: the search tries it again once it appears.
        const uint32_t port = settings_.comPort;
        if (port == kNoComPort || !panel_.selectLinkByName(environment_.portName(port))) return;
    }
    openSelectedLink();
}

// USB mode: a device came or went. The drives are listed anew and the selected one stays
// selected, present or not; the drive check shows whether it is there, every round.
void LinkSupervisor::followStoreDrives() {
    panel_.resetLinks();
    fillStoreDrives();
    selectStoreSelection();
}

void LinkSupervisor::selectSizeLimit() {
    Settings& settings = settings_;
    int row = sizeLimitRow(settings.sizeLimit);
    bool selected = row >= 0 && panel_.selectSize(kSizeLimitRows[row].label);
    if (!selected) {
        settings.sizeLimit = kSizeLimitRows[0].bytes;
        panel_.selectSize(kSizeLimitRows[0].label);
        settings.save();
    }
    int current = panel_.currentSize();
    if (current >= 0 && current < static_cast<int>(kSizeLimitRows.size()))
        settings.sizeLimit = kSizeLimitRows[current].bytes;
}

void LinkSupervisor::checkStoreDrive() {
    char16_t letter = storeSelectionDriveLetter(settings_.storeSelection.get());
    bool present = letter != 0 && environment_.isDirectory(std::u16string{letter, u':', u'\\'});
    link_.setReadiness(present, present);
    link_.portOpen = present ? 1 : 0;
}

void LinkSupervisor::applyMode() {
    bool usb = usbMode();
    if (usb) environment_.closePort();
    panel_.showControl(ModeControl::SizeSelector, usb);
    panel_.showControl(ModeControl::SizeFrame, usb);
    panel_.showControl(ModeControl::UsbOptions, usb);
    panel_.showControl(ModeControl::ComOptions, !usb);
    if (!usb) {
        refreshLinkList(true);
        selectSavedLink();
        pause(kProbeWaitMs);
        return;
    }
    if (!sizesFilled_) {
        for (const SizeLimitRow& row : kSizeLimitRows) panel_.addSize(row.label);
        sizesFilled_ = true;
    }
    selectSizeLimit();
    refreshLinkList(true);
    selectSavedLink();
    checkStoreDrive();
}

void LinkSupervisor::advanceProbingText() {
    panel_.setStatusText(link_text::kProbing[probingPhase_]);
    probingPhase_ = (probingPhase_ + 1) % static_cast<int>(link_text::kProbing.size());
}

void LinkSupervisor::showSearching() {
    advanceProbingText();
    panel_.setLinkButtonCaption(link_text::kStop);
    panel_.enableLinks(false);
}

bool LinkSupervisor::begin() {
    if (!running()) return false;
    keepListening();
    applyMode();
    showLinkState();
    return running();
}

void LinkSupervisor::takeModeChange() {
    LinkState& link = link_;
    link.portOpen = 0;
    link.openAttempted = 0;
    link.linkConnected = 0;
    showLinkState();
    applyMode();
    // The ready flags may not change after the switch (a saved drive that is absent), so the
    // status line would keep showing the state from before the mode was applied.
    showLinkState();
}

void LinkSupervisor::takeLinkButton() {
    std::u16string caption = panel_.linkButtonCaption();
    if (caption == link_text::kAuto) {
        link_.autoProbe = 1;
        showSearching();
    } else if (caption == link_text::kStop) {
        link_.autoProbe = 0;
        showLinkState();
    } else {
        if (!usbMode()) link_.autoProbe = 0;
        refreshLinkList(false);
        showLinkState();
    }
}

void LinkSupervisor::takeSelectionChange() {
    openSelectedLink();
    showLinkState();
    if (usbMode())
        checkStoreDrive();
    else
        pause(kProbeWaitMs);
    if (link_.copyReady != 0 || link_.pasteReady != 0) {
        link_.autoProbe = 1;
        keepWorkingPort();
    }
}

void LinkSupervisor::takeSizeLimit() {
    int current = panel_.currentSize();
    if (current < 0 || current >= static_cast<int>(kSizeLimitRows.size())) return;
    settings_.sizeLimit = kSizeLimitRows[current].bytes;
    settings_.save();
}

// After sleep a USB serial adapter often comes back as a new device: reconnect at once
// instead of learning of it through failed polls.
void LinkSupervisor::takeReopen() {
    if (usbMode()) {
        checkStoreDrive();
        return;
    }
    printOut("Resumed: reopening the link\n");
    const uint32_t inUse = link_.portNumber;
    environment_.closePort();
    if (inUse != kNoComPort) openSelectedLink();
    showLinkState();
}

// The listener stays registered while the program runs; a copy made while the link is down is
// then reported instead of going unnoticed. A refused registration is tried again next round.
void LinkSupervisor::keepListening() {
    if (!link_.listening()) link_.setListening(environment_.addClipboardListener());
}

// The receive thread sets the flags at every poll, so they may change back between two looks
// while a request showed the state in between: the status line follows the flags it last
// showed, and the icon the flags this look saw last.
void LinkSupervisor::followReadyFlags() {
    int copy = link_.copyReady;
    int paste = link_.pasteReady;
    if (copy == previousCopyReady_ && paste == previousPasteReady_) {
        if ((copy != 0) != shownCopyReady_ || (paste != 0) != shownPasteReady_) showLinkState();
        return;
    }
    if (copy != 0) {
        notifier_.keepIcon();
        notifier_.setIcon(kIconCopyReady);
    } else if (paste != 0) {
        notifier_.setIcon(kIconPasteReady);
    } else {
        notifier_.keepIcon();
        notifier_.setIcon(kIconIdle);
    }
    previousCopyReady_ = copy;
    previousPasteReady_ = paste;
    if (!usbMode() && (copy != 0 || paste != 0)) keepWorkingPort();
    showLinkState();
}

// The port found working becomes the saved choice; nothing else replaces it, not even its
// absence.
void LinkSupervisor::keepWorkingPort() {
    const uint32_t inUse = link_.portNumber;
    if (inUse == kNoComPort) return;
    settings_.comPort = inUse;
    settings_.save();
}

void LinkSupervisor::restoreStateIcon() {
    // A newer change stamped meanwhile by another thread keeps its own three seconds.
    if (!notifier_.iconChangeExpired(kIconRestoreMs)) return;
    if (link_.copyReady != 0)
        notifier_.setIcon(kIconCopyReady);
    else if (link_.pasteReady != 0)
        notifier_.setIcon(kIconPasteReady);
}

void LinkSupervisor::searchPorts(bool devicesChanged) {
    // A pass over the present ports takes a second per port. With none present the names are
    // looked up again once a second, or at once when a device came or went.
    if (portsScanned_ && !devicesChanged && clock_.tickMs() - lastPortScanTick_ < kPortRescanMs) return;
    refreshLinkList(true);
    int count = panel_.linkCount();
    for (int index = 0; index < count; ++index) {
        panel_.selectLink(index);
        openSelectedLink();
        showSearching();
        if (pause(kProbeWaitMs)) return;
        if (link_.copyReady != 0 || link_.pasteReady != 0) {
            showLinkState();
            keepWorkingPort();
            return;
        }
        if (requests_.linkButton != 0 || requests_.modeChange != 0) return;
    }
}

void LinkSupervisor::runRound() {
    if (pause(kSupervisorPeriodMs)) return;
    Requests& requests = requests_;
    if (requests.modeChange.exchange(0) != 0) takeModeChange();
    if (requests.linkButton.exchange(0) != 0) takeLinkButton();
    if (requests.selectionChange.exchange(0) != 0) takeSelectionChange();
    if (requests.sizeLimit.exchange(0) != 0) takeSizeLimit();
    if (requests.reopenLink.exchange(0) != 0) takeReopen();
    const bool devicesChanged = requests.devicesChanged.exchange(0) != 0;
    keepListening();
    if (usbMode()) {
        if (devicesChanged) followStoreDrives();
        checkStoreDrive();
    }
    followReadyFlags();
    followProgress();
    restoreStateIcon();
    if (!usbMode() && link_.autoProbe != 0 && link_.pasteReady == 0) searchPorts(devicesChanged);
}

int runLinkSupervisor(LinkSupervisor& supervisor) {
    if (!supervisor.begin()) return 1;
    while (supervisor.running()) supervisor.runRound();
    return 1;
}

}  // namespace shuttle
