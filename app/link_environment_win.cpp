#include "app/link_environment_win.h"

#include <string>

#include "base/print.h"
#include "ui/win_ui_handles.h"

namespace shuttle {

bool WindowLinkEnvironment::comPortExists(uint32_t number) {
    std::wstring name = L"COM" + std::to_wstring(number);
    wchar_t target[64];
    if (QueryDosDeviceW(name.c_str(), target, 64) != 0) return true;
    // A target longer than the buffer still means the name resolves to a device.
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

void WindowLinkEnvironment::recordSelection(const std::u16string& selectedText) {
    LinkFlags& link = state_.link;
    if (state_.settings.usbMode()) {
        state_.settings.storeSelection.set(selectedText);
        link.openAttempted = 1;
        return;
    }
    // No serial layer attached: every open fails as an absent port would.
    link.copyReady = 0;
    link.pasteReady = 0;
    state_.settings.comPort = kNoComPort;
    link.linkConnected = 0;
    link.openAttempted = 1;
}

void WindowLinkEnvironment::openSelectedLink(const std::u16string& selectedText) {
    if (openLink)
        openLink(selectedText);
    else
        recordSelection(selectedText);
}

void WindowLinkEnvironment::closePort() {
    if (closeLink)
        closeLink();
    else
        state_.link.portOpen = 0;
}

std::vector<LinkDrive> WindowLinkEnvironment::findStoreDrives() {
    return findDrives ? findDrives() : std::vector<LinkDrive>{};
}

bool WindowLinkEnvironment::isDirectory(const std::u16string& path) {
    DWORD attributes = GetFileAttributesW(wideText(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The supervisor adds the listener on every change of the ready flags while copy-ready;
// registering once keeps one clipboard change from running the copy path twice. The trace
// line marks the moment a copy is first carried (tests and the demonstration wait for it).
void WindowLinkEnvironment::addClipboardListener() {
    if (!listening_.exchange(true) && AddClipboardFormatListener(mainWindow_)) printOut("Listening for copies\n");
}

void WindowLinkEnvironment::removeClipboardListener() {
    listening_ = false;
    RemoveClipboardFormatListener(mainWindow_);
}

}  // namespace shuttle
