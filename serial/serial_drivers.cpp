#include "serial/serial_drivers.h"

#include <mutex>

#include "base/print.h"
#include "platform/serial_port.h"
#include "serial/link_protocol.h"
#include "serial/link_text.h"

namespace shuttle {
namespace {

// What a probe says about the link: copy-ready when the device can take a message,
// paste-ready when it answers at all; an "alive" device answers but takes nothing.
void setReadiness(LinkState& link, LinkStatus probe) {
    bool copyReady = false, pasteReady = false;
    switch (probe) {
        case LinkStatus::Refused: pasteReady = true; break;
        case LinkStatus::Ready:
        case LinkStatus::OldData:
        case LinkStatus::NewData: copyReady = pasteReady = true; break;
        default: break;
    }
    link.setReadiness(copyReady, pasteReady);
}

bool isPortNumber(unsigned com) { return static_cast<int32_t>(com) >= 0; }

// A new message that could not be read whole is not taken as seen, so the next poll reads it
// again: a device that was slow for a moment must not cost the user the text. A message that
// fails every time is given up after a few tries, as it may never read whole.
void forgetFailedRead(LinkState::UnreadMessage& unread, GuidMemory& memory, const std::string& guid,
                      const std::string& receivedBefore) {
    if (unread.guid != guid) unread = {guid, 0};
    if (++unread.failedReads >= kMessageReadAttempts) {
        printOut("The message could not be read whole %d times; it is given up\n", unread.failedReads);
        unread = {};
        return;
    }
    memory.recordReceived(receivedBefore);
    printOut("The message is read again at the next poll\n");
}

}  // namespace

bool sendOverSerial(LinkState& link, Clock& clock, const std::u16string& text, const std::string& guid,
                    const ProgressCallback& progress) {
    std::shared_ptr<SerialPort> port = link.port.get();
    if (!port) return false;
    const std::vector<DataFrame> frames = buildMessageFrames(encodeLinkText(text), guid);
    if (frames.empty()) return false;
    return writeMessage(*port, clock, frames, progress, link.answerWait) == LinkStatus::Ok;
}

size_t receiveOverSerial(LinkState& link, GuidMemory& memory, unsigned com, Clock& clock, std::u16string& out) {
    out.clear();
    std::shared_ptr<SerialPort> port = link.port.get();
    if (!port || !isPortNumber(com)) return 0;
    // Another port opened since the caller looked: what this one says would be put down to
    // `com` (the empty mark above all), so the poll waits for the next round.
    if (com != link.portNumber.load()) return 0;

    const std::string receivedBefore = memory.lastReceived();
    HeldMessage held;
    const LinkStatus probe = probeLink(*port, clock, com, memory, link.seenEmptyPort, held, link.answerWait);
    setReadiness(link, probe);
    if (probe != LinkStatus::NewData) return 0;

    std::string stream;
    uint32_t expectedCrc = 0;
    bool intact = readMessage(*port, clock, held, stream, expectedCrc, link.answerWait) == LinkStatus::Ok;
    const std::string payload = stream.size() > kGuidFieldSize ? stream.substr(kGuidFieldSize) : std::string();
    // The CRC covers the payload bytes as they were sent, so either encoding of characters
    // outside the Basic Multilingual Plane passes intact, and any damage fails.
    if (intact) {
        out = decodeLinkText(payload);
        intact = payloadCrc(payload) == expectedCrc;
    }
    if (intact) {
        link.unreadMessage = {};
        return out.size();
    }
    out.clear();
    forgetFailedRead(link.unreadMessage, memory, held.guid, receivedBefore);
    return 0;
}

bool sendAsLastSent(LinkState& link, GuidMemory& memory, Clock& clock, const std::u16string& text,
                    const std::string& guid, const ProgressCallback& progress) {
    std::lock_guard<std::mutex> lock(link.mutex);
    memory.recordSent(guid);
    return sendOverSerial(link, clock, text, guid, progress);
}

size_t receiveNewText(LinkState& link, GuidMemory& memory, unsigned com, Clock& clock, std::u16string& out) {
    std::lock_guard<std::mutex> lock(link.mutex);
    return receiveOverSerial(link, memory, com, clock, out);
}

}  // namespace shuttle
