#include "serial/link_port.h"

#include <optional>

namespace shuttle {
namespace {

constexpr uint32_t kSettleMs = 500;
constexpr size_t kStoreSelectionChars = 1023;  // the selection buffer holds 1024 with its terminator

// "COM%u": the prefix, optional blanks, then decimal digits that fit 32 bits.
std::optional<uint32_t> parsePortName(const std::u16string& text) {
    if (text.compare(0, 3, u"COM") != 0) return std::nullopt;
    size_t i = 3;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    uint64_t number = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, ++digits) {
        number = number * 10 + (text[i] - u'0');
        if (number > 0xFFFFFFFFu) return std::nullopt;
    }
    if (digits == 0) return std::nullopt;
    return static_cast<uint32_t>(number);
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
    const uint32_t number = parsePortName(selectorText).value_or(settings.comPort.load());
    link.setReadiness(false, false);
    if (link.port) closePort(link);
    // What was seen on one port says nothing about the device behind another.
    if (link.seenEmptyPort.load() != number) link.seenEmptyPort = kNoComPort;

    std::shared_ptr<SerialPort> port = ports.open(number, kLinkPortSettings);
    if (!port) {
        link.portNumber = kNoComPort;
        link.seenEmptyPort = kNoComPort;
        link.linkConnected = 0;
        link.openAttempted = 1;
        return;
    }
    // Published only now, fully configured: the drivers treat a missing port as nothing to do.
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
}

void closePortAtExit(LinkState& link) {
    link.autoProbe = 0;
    link.portOpen = 0;
    link.portNumber = kNoComPort;
    closeAndRelease(link.port.take());
}

}  // namespace shuttle
