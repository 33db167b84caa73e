#include "serial/link_protocol.h"

#include <algorithm>
#include <cstring>

#include "base/print.h"
#include "base/trace_text.h"
#include "serial/crc32.h"

namespace shuttle {
namespace {

constexpr uint8_t kFrameStart = 0x40;
constexpr uint8_t kReadStart = 0x10;
constexpr uint8_t kDataKind = 1;
constexpr uint8_t kSignature[8] = {0xBA, 0x01, 0xBA, 0x01, 0x00, 0x00, 0x00, 0x00};

// Bytes 4..13, the same in every request and data frame.
template <size_t N>
void putSignature(std::array<uint8_t, N>& frame) {
    std::memcpy(frame.data() + 4, kSignature, sizeof kSignature);
    frame[12] = 0xAA;
    frame[13] = 0xAA;
}

// How one exchange ended, before a transaction gives it a meaning.
enum class Step { RequestFailed, RequestShort, LineError, NoAnswer, HeadFailed, HeadShort, Status, RestFailed, RestShort, Answered };

struct Exchange {
    Step step = Step::Answered;
    DataFrame answer{};
};

// Polls the error state and input queue until a 4-byte head waits: the device's settle time,
// then its looks at the queue. A port that cannot report its state counts as a line error.
Step waitForAnswerHead(SerialPort& port, Clock& clock, const DeviceAnswerWait& wait) {
    clock.sleepMs(wait.settleMs);
    for (int look = 0; look < wait.looks; ++look) {
        std::optional<SerialErrorState> state = port.clearErrors();
        if (!state || state->errors != 0) return Step::LineError;
        if (state->inputQueue >= kAnswerHeadSize) return Step::Answered;
        clock.sleepMs(wait.lookMs);
    }
    return Step::NoAnswer;
}

// One request or data frame and the device's answer: the head, and the rest of a full answer
// when `wantFull`.
Exchange exchange(SerialPort& port, Clock& clock, const uint8_t* frame, size_t size, bool wantFull,
                  const DeviceAnswerWait& wait) {
    Exchange result;
    std::optional<size_t> written = port.write(frame, size);
    if (!written) return {Step::RequestFailed, {}};
    if (*written < size) return {Step::RequestShort, {}};
    Step waited = waitForAnswerHead(port, clock, wait);
    if (waited != Step::Answered) return {waited, {}};
    std::optional<size_t> head = port.read(result.answer.data(), kAnswerHeadSize);
    if (!head) return {Step::HeadFailed, result.answer};
    if (*head < kAnswerHeadSize) return {Step::HeadShort, result.answer};
    if (result.answer[3] == kStatusAnswer) return {Step::Status, result.answer};
    if (!wantFull) return result;
    const size_t restSize = kDataFrameSize - kAnswerHeadSize;
    std::optional<size_t> rest = port.read(result.answer.data() + kAnswerHeadSize, restSize);
    if (!rest) return {Step::RestFailed, result.answer};
    if (*rest < restSize) return {Step::RestShort, result.answer};
    return result;
}

// Every transaction starts from a quiet line; what either call reports does not matter.
void resetLine(SerialPort& port) {
    port.purge();
    port.clearErrors();
}

std::string textUpToZero(const uint8_t* data, size_t limit) {
    const uint8_t* end = std::find(data, data + limit, uint8_t{0});
    return std::string(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(end));
}

// The CRC field as the sender wrote it with "%10u": up to 10 characters, spaces first. A field
// that does not fit 32 bits cannot match any CRC and gives the largest value.
uint32_t parseCrcField(const uint8_t* data) {
    const std::string field = textUpToZero(data, kCrcFieldSize);
    size_t i = field.find_first_not_of(' ');
    uint64_t value = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) value = value * 10 + uint64_t(field[i] - '0');
    return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
}

LinkStatus oldData(unsigned com) {
    printOut("COM%u old data\n", com);
    return LinkStatus::OldData;
}

// Whether the held message is news. The first GUID met after start belongs to a message that
// was on the device before this side ran and is only remembered, unless a probe has already
// found the device empty: then it arrived later and is delivered.
LinkStatus classifyHeldMessage(unsigned com, GuidMemory& memory, bool seenEmpty, const HeldMessage& held) {
    const std::string& guid = held.guid;
    if (!isValidGuidText(guid) || held.frameCount == 0) return oldData(com);
    if (!memory.hasReceived() && !seenEmpty) {
        memory.recordReceived(guid);
        return oldData(com);
    }
    // Remembered even when it is this side's own, like any message the device held.
    const bool fresh = memory.isNew(guid);
    memory.recordReceived(guid);
    if (!fresh) return oldData(com);
    printOut("COM%u NEW DATA!\n", com);
    return LinkStatus::NewData;
}

LinkStatus probeFailure(Step step, unsigned com) {
    switch (step) {
        case Step::RequestFailed: printOut("PROBE COM%u: request failed\n", com); return LinkStatus::RequestFailed;
        case Step::RequestShort: printOut("PROBE COM%u: request timeout\n", com); return LinkStatus::RequestShort;
        case Step::LineError: printOut("PROBE COM%u: error\n", com); return LinkStatus::LineError;
        case Step::NoAnswer: printOut("PROBE COM%u: no response\n", com); return LinkStatus::NoAnswer;
        case Step::HeadFailed: printOut("PROBE COM%u: response failed\n", com); return LinkStatus::AnswerFailed;
        case Step::HeadShort: printOut("PROBE COM%u: response timeout\n", com); return LinkStatus::NoAnswer;
        case Step::RestFailed: printOut("COM%u get GUID failed\n", com); return LinkStatus::AnswerFailed;
        default: printOut("COM%u get GUID timeout\n", com); return LinkStatus::NoAnswer;
    }
}

LinkStatus readFailure(Step step, int index) {
    switch (step) {
        case Step::RequestFailed: printOut("READ chunk %d: request failed\n", index); return LinkStatus::RequestFailed;
        case Step::RequestShort: printOut("READ chunk %d: request timeout\n", index); return LinkStatus::RequestShort;
        case Step::LineError: printOut("READ chunk %d error\n", index); return LinkStatus::AnswerFailed;
        case Step::NoAnswer: printOut("READ chunk %d no response\n", index); return LinkStatus::NoAnswer;
        case Step::HeadFailed: printOut("READ chunk %d: response failed\n", index); return LinkStatus::AnswerFailed;
        case Step::HeadShort: printOut("READ chunk %d: response timeout\n", index); return LinkStatus::NoAnswer;
        case Step::Status: printOut("READ chunk %d: nack\n", index); return LinkStatus::Refused;
        case Step::RestFailed: printOut("READ chunk %d: data failed\n", index); return LinkStatus::AnswerFailed;
        default: printOut("READ chunk %d: data timeout\n", index); return LinkStatus::NoAnswer;
    }
}

// Write message reads only the head; a head that is unreadable or short still counts as an
// acknowledgement, only a status answer is a refusal. What the device made of the frames is
// learnt by the check after the last one.
bool writeFailure(Step step, int index, LinkStatus& status) {
    switch (step) {
        case Step::RequestFailed: printOut(">>> WRITE chunk %d: request failed\n", index); status = LinkStatus::RequestFailed; return true;
        case Step::RequestShort: printOut(">>> WRITE chunk %d: request timeout\n", index); status = LinkStatus::RequestShort; return true;
        case Step::LineError: printOut(">>> WRITE chunk %d error\n", index); status = LinkStatus::LineError; return true;
        case Step::NoAnswer: printOut(">>> WRITE chunk %d no response\n", index); status = LinkStatus::NoAnswer; return true;
        case Step::Status: printOut(">>> WRITE chunk %d nack\n", index); status = LinkStatus::Refused; return true;
        default: return false;
    }
}

// The check after a write: not learning what the device holds leaves the message unconfirmed.
LinkStatus checkFailure(Step step) {
    switch (step) {
        case Step::RequestFailed: printOut(">>> CHECK: request failed\n"); return LinkStatus::RequestFailed;
        case Step::RequestShort: printOut(">>> CHECK: request timeout\n"); return LinkStatus::RequestShort;
        case Step::LineError: printOut(">>> CHECK error\n"); return LinkStatus::LineError;
        case Step::HeadFailed:
        case Step::RestFailed: printOut(">>> CHECK: response failed\n"); return LinkStatus::AnswerFailed;
        default: printOut(">>> CHECK: no response\n"); return LinkStatus::NoAnswer;
    }
}

// The probe request and the device's full answer, from a quiet line.
Exchange askWhatIsHeld(SerialPort& port, Clock& clock, const DeviceAnswerWait& wait) {
    resetLine(port);
    const RequestFrame request = probeRequest();
    return exchange(port, clock, request.data(), request.size(), true, wait);
}

// A device whose content changed since the probe, or that answers for another frame, would
// splice another message's bytes into this one. The frame checksum is not looked at: peers'
// devices may leave it unfilled.
bool isFrameOfHeldMessage(uint32_t index, const DataFrame& answer, const HeldMessage& held) {
    if (answer[2] != index) {
        printOut("READ chunk %u: the answer is chunk %u\n", index, unsigned{answer[2]});
        return false;
    }
    if (answer[1] != held.frameCount) {
        printOut("READ chunk %u: %u chunks, the probe saw %u\n", index, unsigned{answer[1]}, held.frameCount);
        return false;
    }
    const uint8_t* data = answer.data() + kFrameDataOffset;
    if (index == 0 && (held.guid.size() > kGuidFieldSize || std::memcmp(data, held.guid.data(), held.guid.size()) != 0)) {
        printOut("READ chunk 0: GUID=%s, not the one probed\n", traceText(textUpToZero(data, kGuidFieldSize)).c_str());
        return false;
    }
    return true;
}

// Frame 1 opens with the CRC field; every other frame carries message bytes only.
void appendFrameData(uint32_t index, const DataFrame& answer, std::string& stream, uint32_t& expectedCrc) {
    const uint8_t* data = answer.data() + kFrameDataOffset;
    size_t skip = 0;
    if (index == 1) {
        expectedCrc = parseCrcField(data);
        skip = kCrcFieldSize;
    }
    stream.append(reinterpret_cast<const char*>(data) + skip, kFrameDataSize - skip);
}

}  // namespace

uint32_t payloadCrc(const std::string& payload) {
    const size_t length = std::min(payload.find('\0'), payload.size());
    return crc32(reinterpret_cast<const uint8_t*>(payload.data()), length);
}

std::string crcField(const std::string& payload) { return formatText("%10u", payloadCrc(payload)); }

uint16_t frameChecksum(const DataFrame& frame) {
    uint32_t sum = 0;
    for (size_t i = 0; i < kDataFrameSize; i += 2) {
        if (i == 14) continue;
        sum += uint32_t(frame[i]) | (uint32_t(frame[i + 1]) << 8);
    }
    return static_cast<uint16_t>(sum & 0xFFFFu);
}

std::vector<DataFrame> buildMessageFrames(const std::string& payload, const std::string& guid) {
    std::string stream(kGuidFieldSize, '\0');
    const std::string guidText = guid.substr(0, std::min({guid.find('\0'), guid.size(), kGuidFieldSize}));
    stream.replace(0, guidText.size(), guidText);
    stream += crcField(payload);
    stream += payload;

    const size_t count = (stream.size() + kFrameDataSize - 1) / kFrameDataSize;
    if (count > kMaxFrames) return {};
    std::vector<DataFrame> frames(count);
    for (size_t index = 0; index < count; ++index) {
        DataFrame& frame = frames[index];
        frame.fill(0);
        frame[0] = kFrameStart;
        frame[1] = static_cast<uint8_t>(count);
        frame[2] = static_cast<uint8_t>(index);
        frame[3] = kDataKind;
        putSignature(frame);
        const size_t start = index * kFrameDataSize;
        const size_t length = std::min(kFrameDataSize, stream.size() - start);
        std::memcpy(frame.data() + kFrameDataOffset, stream.data() + start, length);
        const uint16_t checksum = frameChecksum(frame);
        frame[14] = static_cast<uint8_t>(checksum & 0xFF);
        frame[15] = static_cast<uint8_t>(checksum >> 8);
    }
    return frames;
}

RequestFrame probeRequest() {
    RequestFrame frame{};
    frame[0] = kFrameStart;
    frame[1] = 0x01;
    putSignature(frame);
    return frame;
}

RequestFrame readRequest(uint8_t index) {
    RequestFrame frame{};
    frame[0] = kReadStart;
    frame[1] = 0x01;
    frame[2] = index;
    putSignature(frame);
    return frame;
}

LinkStatus probeLink(SerialPort& port, Clock& clock, unsigned com, GuidMemory& memory,
                     std::atomic<uint32_t>& seenEmptyPort, HeldMessage& held, const DeviceAnswerWait& answerWait) {
    held = HeldMessage{};
    const Exchange answer = askWhatIsHeld(port, clock, answerWait);
    if (answer.step == Step::Status) {
        if (answer.answer[1] == kAliveMark) {
            printOut("COM%u alive\n", com);
            return LinkStatus::Refused;
        }
        seenEmptyPort = com;
        printOut("COM%u ready\n", com);
        return LinkStatus::Ready;
    }
    if (answer.step != Step::Answered) return probeFailure(answer.step, com);

    held.frameCount = answer.answer[1];
    const uint8_t* data = answer.answer.data() + kFrameDataOffset;
    printOut("GUID=%s\n", traceText(textUpToZero(data, kFrameDataSize)).c_str());
    held.guid.assign(reinterpret_cast<const char*>(data), kGuidTextSize);
    return classifyHeldMessage(com, memory, seenEmptyPort.load() == com, held);
}

LinkStatus readMessage(SerialPort& port, Clock& clock, const HeldMessage& held, std::string& stream,
                       uint32_t& expectedCrc, const DeviceAnswerWait& answerWait) {
    const uint32_t frameCount = held.frameCount;
    if (frameCount == 0) {
        printOut("READ: not enough chunks\n");
        return LinkStatus::AnswerFailed;
    }
    if (frameCount > kMaxMessageFrames) {
        printOut("READ: %u chunks, more than a text takes\n", frameCount);
        return LinkStatus::AnswerFailed;
    }
    resetLine(port);
    const uint64_t start = clock.tickMs();
    for (uint32_t index = 0; index < frameCount; ++index) {
        const uint64_t spent = clock.tickMs() - start;
        if (spent >= kReadMessageLimitMs) {
            printOut("READ chunk %u: given up after %u ms\n", index, static_cast<unsigned>(spent));
            return LinkStatus::NoAnswer;
        }
        const RequestFrame request = readRequest(static_cast<uint8_t>(index));
        const Exchange answer = exchange(port, clock, request.data(), request.size(), true, answerWait);
        if (answer.step != Step::Answered) return readFailure(answer.step, static_cast<int>(index));
        if (!isFrameOfHeldMessage(index, answer.answer, held)) return LinkStatus::AnswerFailed;
        appendFrameData(index, answer.answer, stream, expectedCrc);
    }
    return LinkStatus::Ok;
}

LinkStatus writeMessage(SerialPort& port, Clock& clock, const std::vector<DataFrame>& frames,
                        const ProgressCallback& progress, const DeviceAnswerWait& answerWait) {
    resetLine(port);
    for (size_t index = 0; index < frames.size(); ++index) {
        const Exchange answer = exchange(port, clock, frames[index].data(), frames[index].size(), false, answerWait);
        LinkStatus status;
        if (writeFailure(answer.step, static_cast<int>(index), status)) return status;
        if (progress) progress(index + 1, frames.size());
    }
    return LinkStatus::Ok;
}

LinkStatus checkStored(SerialPort& port, Clock& clock, const DataFrame& first, const DeviceAnswerWait& answerWait) {
    const Exchange answer = askWhatIsHeld(port, clock, answerWait);
    if (answer.step == Step::Status) {
        printOut(">>> CHECK: the device holds no message\n");
        return LinkStatus::NotStored;
    }
    if (answer.step != Step::Answered) return checkFailure(answer.step);
    const uint8_t* guidField = answer.answer.data() + kFrameDataOffset;
    const unsigned frameCount = answer.answer[1];
    if (frameCount == first[1] && std::memcmp(guidField, first.data() + kFrameDataOffset, kGuidTextSize) == 0)
        return LinkStatus::Ok;
    printOut(">>> CHECK: the device holds GUID=%s of %u chunks, not this message\n",
             traceText(textUpToZero(guidField, kGuidFieldSize)).c_str(), frameCount);
    return LinkStatus::NotStored;
}

}  // namespace shuttle
