#include "serial/link_port.h"

#include <optional>

#include "base/utf8.h"

namespace shuttle {
namespace {

constexpr uint32_t kSettleMs = 500;
constexpr size_t kStoreSelectionChars = 1023;  // the selection buffer holds 1024 with its terminator

// The number of the port the selector names ("COM5", or a device path on Linux); nothing when
// the text names none.
std::optional<uint32_t> selectedPortNumber(SerialPorts& ports, const std::u16string& text) {
    std::string name;
    if (!tryToUtf8(text, name)) return std::nullopt;
    return ports.portNumber(name);
}

void closeAndRelease(std::shared_ptr<SerialPort> port) {
    if (!port) return;
    port->cancel();
    port->close();
}

}  // namespace

void openSelectedLink(Settings& settings, LinkState& link, SerialPorts& ports, Clock& clock,
                      const std::u16string& selectorText) {
    if (settings.usbMode()) {
        settings.storeSelection.set(selectorText.substr(0, kStoreSelectionChars));
        link.openAttempted = 1;
        return;
    }
    const uint32_t number = selectedPortNumber(ports, selectorText).value_or(settings.comPort.load());
    link.setReadiness(false, false);
    if (link.port) closePort(link);
    // What was seen on one port says nothing about the device behind another.
    if (link.seenEmptyPort.load() != number) link.seenEmptyPort = kNoComPort;

    std::shared_ptr<SerialPort> port = ports.open(number, kLinkPortSettings);
    if (!port) {
        link.openFailure = ports.lastOpenFailure();
        link.portNumber = kNoComPort;
        link.seenEmptyPort = kNoComPort;
        link.linkConnected = 0;
        link.openAttempted = 1;
        return;
    }
    // Published only now, fully configured: the drivers treat a missing port as nothing to do.
    link.openFailure = SerialOpenFailure::None;
    link.portNumber = number;
    link.port.set(std::move(port));
    clock.sleepMs(kSettleMs);
    link.linkConnected = 1;
    link.portOpen = 1;
    link.openAttempted = 1;
}

void closePort(LinkState& link) {
    std::lock_guard<std::mutex> lock(link.mutex);
    link.portOpen = 0;
    link.portNumber = kNoComPort;
    closeAndRelease(link.port.take());
    // A probe that ended while this close waited for the mutex has set the flags for the port
    // now closed; left standing they would show a link that is gone and keep the search off.
    link.setReadiness(false, false);
}

void closePortAtExit(LinkState& link) {
    link.autoProbe = 0;
    link.portOpen = 0;
    link.portNumber = kNoComPort;
    closeAndRelease(link.port.take());
}

}  // namespace shuttle
