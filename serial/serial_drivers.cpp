#include "serial/serial_drivers.h"

#include <mutex>

#include "platform/serial_port.h"
#include "serial/link_protocol.h"
#include "serial/link_text.h"

namespace shuttle {
namespace {

// What a probe says about the link: copy-ready when the device can take a message,
// paste-ready when it answers at all; an "alive" device answers but takes nothing.
void setReadiness(SharedState& state, LinkStatus probe) {
    int copyReady = 0, pasteReady = 0;
    switch (probe) {
        case LinkStatus::Refused: pasteReady = 1; break;
        case LinkStatus::Ready:
        case LinkStatus::OldData:
        case LinkStatus::NewData: copyReady = pasteReady = 1; break;
        default: break;
    }
    state.link.copyReady = copyReady;
    state.link.pasteReady = pasteReady;
}

bool portNumberIsSet(const SharedState& state) { return static_cast<int32_t>(state.settings.comPort.load()) >= 0; }

}  // namespace

bool sendOverSerial(SharedState& state, Clock& clock, const std::u16string& text, std::string guid) {
    std::shared_ptr<SerialPort> port = state.port.get();
    if (!port) return false;
    const std::vector<DataFrame> frames = buildMessageFrames(encodeLinkText(text), guid);
    if (frames.empty()) return false;
    return writeMessage(*port, clock, frames) == LinkStatus::Ok;
}

size_t receiveOverSerial(SharedState& state, Clock& clock, std::u16string& out) {
    out.clear();
    std::shared_ptr<SerialPort> port = state.port.get();
    if (!port || !portNumberIsSet(state)) return 0;

    uint32_t frameCount = 0;
    const LinkStatus probe = probeLink(state, *port, clock, frameCount);
    setReadiness(state, probe);
    if (probe != LinkStatus::NewData) return 0;

    std::string stream;
    if (readMessage(state, *port, clock, frameCount, stream) != LinkStatus::Ok) return 0;
    const std::string payload = stream.size() > kGuidFieldSize ? stream.substr(kGuidFieldSize) : std::string();

    // The CRC covers the payload bytes as they were sent, so either encoding of characters
    // outside the Basic Multilingual Plane passes intact, and any damage fails.
    out = decodeLinkText(payload);
    if (payloadCrc(payload) != state.expectedCrc.load()) return 0;
    return out.size();
}

bool sendAsLastSent(SharedState& state, Clock& clock, const std::u16string& text, const std::string& guid) {
    std::lock_guard<std::mutex> link(state.linkMutex);
    state.lastSentGuid.set(guid);
    return sendOverSerial(state, clock, text, guid);
}

size_t receiveNewText(SharedState& state, Clock& clock, std::u16string& out) {
    std::lock_guard<std::mutex> link(state.linkMutex);
    return receiveOverSerial(state, clock, out);
}

}  // namespace shuttle
