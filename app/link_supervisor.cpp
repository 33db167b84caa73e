#include "app/link_supervisor.h"

#include <algorithm>
#include <array>

#include "core/settings.h"
#include "base/utf8.h"
#include "core/notifications.h"

namespace shuttle {
namespace {

// Status texts of the search, one per step, cycling.
constexpr std::array<const char16_t*, 3> kProbingTexts{{u" Probing  > > >", u" Probing  ", u" Probing  > "}};

std::u16string comPortName(uint32_t number) {
    std::string name = "COM" + std::to_string(number);
    return std::u16string(name.begin(), name.end());
}

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

LinkSupervisor::LinkSupervisor(SharedState& state, LinkPanel& panel, LinkEnvironment& environment, Tray& tray,
                               Clock& clock)
    : state_(state), panel_(panel), environment_(environment), tray_(tray), clock_(clock) {}

void LinkSupervisor::showLinkState() {
    LinkFlags& link = state_.link;
    bool usb = usbMode();
    if (usb) link.linkConnected = link.portOpen.load();
    bool copy = link.copyReady != 0;
    bool paste = link.pasteReady != 0;
    if (link.linkConnected != 0) {
        if (copy && paste)
            panel_.setStatusText(link_text::kReady);
        else if (copy)
            panel_.setStatusText(link_text::kReadyToCopy);
        else if (paste)
            panel_.setStatusText(link_text::kReadyToPaste);
        else
            panel_.setStatusText(link_text::kNotReady);
        panel_.setLinkButtonCaption(link_text::kDisconnect);
        panel_.enableLinks(usb);
        return;
    }
    if (link.openAttempted != 0) {
        panel_.setStatusText(usb ? link_text::kNotReady : link_text::kFailed);
        panel_.setLinkButtonCaption(link_text::kRefresh);
    } else {
        panel_.setStatusText(usb ? link_text::kSelectUsb : link_text::kSelectCom);
        panel_.setLinkButtonCaption(usb ? link_text::kRefresh : link_text::kAuto);
    }
    panel_.enableLinks(true);
}

void LinkSupervisor::fillComPorts() {
    for (uint32_t number = 0; number <= kHighestComPort; ++number)
        if (environment_.comPortExists(number)) panel_.addLink(comPortName(number));
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
    LinkFlags& link = state_.link;
    link.copyReady = 0;
    link.pasteReady = 0;
    panel_.resetLinks();
    if (!usbMode()) {
        fillComPorts();
        environment_.closePort();
        if (!keepSelection) {
            state_.settings.comPort = kNoComPort;
            saveSettings(state_);
        }
    } else {
        fillStoreDrives();
        link.portOpen = 0;
        if (!keepSelection) {
            state_.settings.storeSelection.set(u"");
            saveSettings(state_);
        }
    }
    link.linkConnected = 0;
    link.openAttempted = 0;
}

void LinkSupervisor::openSelectedLink() { environment_.openSelectedLink(panel_.linkText(panel_.currentLink())); }

void LinkSupervisor::selectSavedLink() {
    Settings& settings = state_.settings;
    if (usbMode()) {
        std::u16string selection = settings.storeSelection.get();
        if (selection.empty()) return;
        if (!panel_.selectLinkByPrefix(selection)) panel_.selectLink(panel_.addLink(selection));
    } else {
        uint32_t port = settings.comPort;
        if (port == kNoComPort) return;
        if (!panel_.selectLinkByPrefix(comPortName(port))) {
            settings.comPort = kNoComPort;
            saveSettings(state_);
            return;
        }
    }
    openSelectedLink();
}

void LinkSupervisor::selectSizeLimit() {
    Settings& settings = state_.settings;
    int row = sizeLimitRow(settings.sizeLimit);
    bool selected = row >= 0 && panel_.selectSize(kSizeLimitRows[row].label);
    if (!selected) {
        settings.sizeLimit = kSizeLimitRows[0].bytes;
        panel_.selectSize(kSizeLimitRows[0].label);
        saveSettings(state_);
    }
    int current = panel_.currentSize();
    if (current >= 0 && current < static_cast<int>(kSizeLimitRows.size()))
        settings.sizeLimit = kSizeLimitRows[current].bytes;
}

void LinkSupervisor::checkStoreDrive() {
    char16_t letter = storeSelectionDriveLetter(state_.settings.storeSelection.get());
    bool present = letter != 0 && environment_.isDirectory(std::u16string{letter, u':', u'\\'});
    int value = present ? 1 : 0;
    state_.link.copyReady = value;
    state_.link.pasteReady = value;
    state_.link.portOpen = value;
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
        clock_.sleepMs(kProbeWaitMs);
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
    panel_.setStatusText(kProbingTexts[probingPhase_]);
    probingPhase_ = (probingPhase_ + 1) % static_cast<int>(kProbingTexts.size());
}

void LinkSupervisor::showSearching() {
    advanceProbingText();
    panel_.setLinkButtonCaption(link_text::kStop);
    panel_.enableLinks(false);
}

bool LinkSupervisor::begin() {
    while (state_.mainDialogReady == 0) {
        if (state_.running == 0) return false;  // the window never came; nothing to supervise
        clock_.sleepMs(1);
    }
    applyMode();
    showLinkState();
    return state_.running != 0;
}

void LinkSupervisor::takeModeChange() {
    LinkFlags& link = state_.link;
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
        state_.link.autoProbe = 1;
        showSearching();
    } else if (caption == link_text::kStop) {
        state_.link.autoProbe = 0;
        showLinkState();
    } else {
        if (!usbMode()) state_.link.autoProbe = 0;
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
        clock_.sleepMs(kProbeWaitMs);
    if (state_.link.copyReady != 0 || state_.link.pasteReady != 0) {
        state_.link.autoProbe = 1;
        saveSettings(state_);
    }
}

void LinkSupervisor::takeSizeLimit() {
    int current = panel_.currentSize();
    if (current < 0 || current >= static_cast<int>(kSizeLimitRows.size())) return;
    state_.settings.sizeLimit = kSizeLimitRows[current].bytes;
    saveSettings(state_);
}

void LinkSupervisor::followReadyFlags() {
    int copy = state_.link.copyReady;
    int paste = state_.link.pasteReady;
    if (copy == previousCopyReady_ && paste == previousPasteReady_) return;
    if (copy != 0) {
        state_.lastIconChangeTick = 0;
        setTrayIcon(state_, tray_, clock_, kIconCopyReady);
        environment_.addClipboardListener();
    } else if (paste != 0) {
        environment_.removeClipboardListener();
        setTrayIcon(state_, tray_, clock_, kIconPasteReady);
    } else {
        state_.lastIconChangeTick = 0;
        setTrayIcon(state_, tray_, clock_, kIconIdle);
        environment_.removeClipboardListener();
    }
    previousCopyReady_ = copy;
    previousPasteReady_ = paste;
    showLinkState();
}

void LinkSupervisor::restoreStateIcon() {
    uint64_t changed = state_.lastIconChangeTick;
    uint64_t now = clock_.tickMs();
    if (changed == 0 || now < changed || now - changed < kIconRestoreMs) return;
    // A newer change stamped meanwhile by the window thread keeps its own three seconds.
    if (!state_.lastIconChangeTick.compare_exchange_strong(changed, 0)) return;
    if (state_.link.copyReady != 0)
        setTrayIcon(state_, tray_, clock_, kIconCopyReady);
    else if (state_.link.pasteReady != 0)
        setTrayIcon(state_, tray_, clock_, kIconPasteReady);
}

void LinkSupervisor::searchPorts() {
    refreshLinkList(false);
    int count = panel_.linkCount();
    for (int index = 0; index < count; ++index) {
        panel_.selectLink(index);
        openSelectedLink();
        showSearching();
        clock_.sleepMs(kProbeWaitMs);
        if (state_.link.copyReady != 0 || state_.link.pasteReady != 0) {
            showLinkState();
            saveSettings(state_);
            return;
        }
        if (state_.requests.linkButton != 0 || state_.requests.modeChange != 0 || state_.running == 0) return;
    }
}

void LinkSupervisor::runRound() {
    clock_.sleepMs(kSupervisorPeriodMs);
    if (state_.running == 0) return;
    Requests& requests = state_.requests;
    if (requests.modeChange.exchange(0) != 0) takeModeChange();
    if (requests.linkButton.exchange(0) != 0) takeLinkButton();
    if (requests.selectionChange.exchange(0) != 0) takeSelectionChange();
    if (requests.sizeLimit.exchange(0) != 0) takeSizeLimit();
    if (usbMode()) checkStoreDrive();
    followReadyFlags();
    restoreStateIcon();
    if (!usbMode() && state_.link.autoProbe != 0 && state_.link.pasteReady == 0) searchPorts();
}

int runLinkSupervisor(LinkSupervisor& supervisor) {
    if (!supervisor.begin()) return 1;
    while (supervisor.running()) supervisor.runRound();
    return 1;
}

}  // namespace shuttle
