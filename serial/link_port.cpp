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

void openSelectedLink(SharedState& state, SerialPorts& ports, Clock& clock, const std::u16string& selectorText) {
    if (state.settings.usbMode()) {
        state.settings.storeSelection.set(selectorText.substr(0, kStoreSelectionChars));
        state.link.openAttempted = 1;
        return;
    }
    if (std::optional<uint32_t> number = parsePortName(selectorText)) state.settings.comPort = *number;
    state.link.copyReady = 0;
    state.link.pasteReady = 0;
    if (state.port) closePort(state);

    std::shared_ptr<SerialPort> port = ports.open(state.settings.comPort.load(), kLinkPortSettings);
    if (!port) {
        state.settings.comPort = kNoComPort;
        state.link.linkConnected = 0;
        state.link.openAttempted = 1;
        return;
    }
    // Published only now, fully configured: the drivers treat a missing port as nothing to do.
    state.port.set(std::move(port));
    clock.sleepMs(kSettleMs);
    state.link.linkConnected = 1;
    state.link.portOpen = 1;
    state.link.openAttempted = 1;
}

void closePort(SharedState& state) {
    std::lock_guard<std::mutex> lock(state.linkMutex);
    state.link.portOpen = 0;
    closeAndRelease(state.port.take());
}

void closePortAtExit(SharedState& state) {
    state.link.autoProbe = 0;
    state.link.portOpen = 0;
    closeAndRelease(state.port.take());
}

}  // namespace shuttle
