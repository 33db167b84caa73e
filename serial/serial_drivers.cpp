#include "serial/serial_drivers.h"

#include <mutex>
#include <optional>

#include "base/guid_text.h"
#include "base/print.h"
#include "platform/serial_port.h"
#include "serial/link_protocol.h"
#include "serial/link_text.h"

namespace shuttle {
namespace {

using UnreadMessage = LinkState::UnreadMessage;

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

// Reads the message the probe found new: its text when every frame came, the CRC matches and
// the bytes are text of this link. The CRC covers the payload bytes as they were sent, so
// either encoding of characters outside the Basic Multilingual Plane passes, and any damage fails.
std::optional<std::u16string> fetchText(SerialPort& port, Clock& clock, const HeldMessage& held,
                                        const DeviceAnswerWait& answerWait) {
    std::string stream;
    uint32_t expectedCrc = 0;
    if (readMessage(port, clock, held, stream, expectedCrc, answerWait) != LinkStatus::Ok) return std::nullopt;
    const std::string payload = stream.size() > kGuidFieldSize ? stream.substr(kGuidFieldSize) : std::string();
    if (payloadCrc(payload) != expectedCrc) {
        printOut("READ: CRC mismatch\n");
        return std::nullopt;
    }
    std::optional<std::u16string> text = decodeLinkText(payload);
    if (!text) printOut("READ: the payload is not UTF-8 text\n");
    return text;
}

// Taken as seen for good, so that a late whole read does not paste what the user was told is lost.
SerialReceipt giveUp(UnreadMessage& unread, GuidMemory& memory) {
    printOut("The message did not read whole for %u s; it is given up\n", unsigned(kUnreadMessageLimitMs / 1000));
    memory.recordReceived(unread.guid);
    unread = {};
    return SerialReceipt::GivenUp;
}

// A new message that could not be read whole is not taken as seen, so the next poll reads it
// again: a device that was slow or disturbed for a while must not cost the user the text.
SerialReceipt noteFailedRead(UnreadMessage& unread, GuidMemory& memory, uint64_t now, const std::string& guid,
                             const std::string& receivedBefore) {
    if (unread.guid != guid) unread = {guid, now};
    if (now - unread.firstFailedTick >= kUnreadMessageLimitMs) return giveUp(unread, memory);
    memory.recordReceived(receivedBefore);
    printOut("The message is read again at the next poll\n");
    return SerialReceipt::Nothing;
}

// A poll that read nothing: another message on the device replaces the unread one (the newer
// copy wins); while the device is silent, empty or still shows it, its time runs on.
SerialReceipt followUnread(UnreadMessage& unread, GuidMemory& memory, uint64_t now, const HeldMessage& held) {
    if (unread.guid.empty()) return SerialReceipt::Nothing;
    if (held.frameCount != 0 && isValidGuidText(held.guid) && held.guid != unread.guid) {
        printOut("The message not read whole was replaced on the device\n");
        unread = {};
        return SerialReceipt::Nothing;
    }
    if (now - unread.firstFailedTick < kUnreadMessageLimitMs) return SerialReceipt::Nothing;
    return giveUp(unread, memory);
}

}  // namespace

bool sendOverSerial(LinkState& link, Clock& clock, const std::u16string& text, const std::string& guid,
                    const ProgressCallback& progress) {
    std::shared_ptr<SerialPort> port = link.port.get();
    if (!port) return false;
    const std::vector<DataFrame> frames = buildMessageFrames(encodeLinkText(text), guid);
    if (frames.empty()) return false;
    if (writeMessage(*port, clock, frames, progress, link.answerWait) != LinkStatus::Ok) return false;
    return checkStored(*port, clock, frames.front(), link.answerWait) == LinkStatus::Ok;
}

SerialReceipt receiveOverSerial(LinkState& link, GuidMemory& memory, unsigned com, Clock& clock,
                                std::u16string& out) {
    out.clear();
    std::shared_ptr<SerialPort> port = link.port.get();
    if (!port || !isPortNumber(com)) return SerialReceipt::Nothing;
    // Another port opened since the caller looked: what this one says would be put down to
    // `com` (the empty mark above all), so the poll waits for the next round.
    if (com != link.portNumber.load()) return SerialReceipt::Nothing;

    const std::string receivedBefore = memory.lastReceived();
    HeldMessage held;
    const LinkStatus probe = probeLink(*port, clock, com, memory, link.seenEmptyPort, held, link.answerWait);
    setReadiness(link, probe);
    if (probe != LinkStatus::NewData) return followUnread(link.unreadMessage, memory, clock.tickMs(), held);

    std::optional<std::u16string> text = fetchText(*port, clock, held, link.answerWait);
    if (!text) return noteFailedRead(link.unreadMessage, memory, clock.tickMs(), held.guid, receivedBefore);
    link.unreadMessage = {};
    out = std::move(*text);
    return out.empty() ? SerialReceipt::Nothing : SerialReceipt::Text;
}

bool sendAsLastSent(LinkState& link, GuidMemory& memory, Clock& clock, const std::u16string& text,
                    const std::string& guid, const ProgressCallback& progress) {
    std::lock_guard<std::mutex> lock(link.mutex);
    memory.recordSent(guid);
    return sendOverSerial(link, clock, text, guid, progress);
}

SerialReceipt receiveNewText(LinkState& link, GuidMemory& memory, unsigned com, Clock& clock, std::u16string& out) {
    std::lock_guard<std::mutex> lock(link.mutex);
    return receiveOverSerial(link, memory, com, clock, out);
}

}  // namespace shuttle
