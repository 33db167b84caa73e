#include "tools/link-sim/link_device.h"

#include <algorithm>

namespace linksim {
namespace {

constexpr uint8_t kFrameStart = 0x40;
constexpr uint8_t kReadStart = 0x10;
constexpr uint8_t kDataKind = 1;
constexpr uint8_t kStatus = 3;
constexpr size_t kRequestSize = 16;
constexpr size_t kFrameSize = 64;
constexpr uint8_t kSignature[10] = {0xBA, 0x01, 0xBA, 0x01, 0x00, 0x00, 0x00, 0x00, 0xAA, 0xAA};

bool startsFrame(uint8_t byte) { return byte == kFrameStart || byte == kReadStart; }

bool isDataFrame(const Bytes& input) { return input[0] == kFrameStart && input[3] == kDataKind; }

bool signatureAt(const Bytes& input) { return std::equal(std::begin(kSignature), std::end(kSignature), input.begin() + 4); }

Bytes status(uint8_t start, uint8_t byte1, uint8_t byte2) { return Bytes{start, byte1, byte2, kStatus}; }

}  // namespace

uint16_t dataFrameChecksum(const Frame& frame) {
    uint32_t sum = 0;
    for (size_t i = 0; i < frame.size(); i += 2)
        if (i != 14) sum += uint32_t(frame[i]) | (uint32_t(frame[i + 1]) << 8);
    return static_cast<uint16_t>(sum);
}

LinkDevice::LinkDevice(size_t portCount) : ports_(portCount) {}

void LinkDevice::resetPort(size_t port) {
    Port& state = ports_.at(port);
    state.input.clear();
    state.writing.clear();
}

// Frames are found by their first byte and signature; anything else on the line is skipped
// one byte at a time, so the device falls back in step after noise or a cut-off frame.
std::vector<Bytes> LinkDevice::receive(size_t port, const uint8_t* data, size_t size) {
    Bytes& input = ports_.at(port).input;
    input.insert(input.end(), data, data + size);
    std::vector<Bytes> answers;
    while (!input.empty()) {
        if (!startsFrame(input[0])) {
            input.erase(input.begin());
            continue;
        }
        if (input.size() < 4 + sizeof kSignature) break;
        if (!signatureAt(input)) {
            input.erase(input.begin());
            continue;
        }
        const size_t length = isDataFrame(input) ? kFrameSize : kRequestSize;
        if (input.size() < length) break;
        const Bytes frame(input.begin(), input.begin() + static_cast<long>(length));
        input.erase(input.begin(), input.begin() + static_cast<long>(length));
        if (std::optional<Bytes> reply = answer(port, frame)) answers.push_back(std::move(*reply));
    }
    return answers;
}

std::optional<Bytes> LinkDevice::answer(size_t port, const Bytes& frame) {
    if (options_.mode == AnswerMode::Silent) return std::nullopt;
    if (frame[0] == kReadStart) return answerRead(port, frame[2]);
    if (frame.size() == kFrameSize) return answerData(port, frame);
    if (frame[3] == 0) return answerProbe();
    return status(kFrameStart, 0, frame[2]);  // a request of unknown kind
}

Bytes LinkDevice::answerProbe() const {
    if (options_.mode == AnswerMode::Alive) return status(kFrameStart, 0xAA, 0);
    if (held_.empty()) return status(kFrameStart, 0, 0);
    return Bytes(held_[0].begin(), held_[0].end());
}

Bytes LinkDevice::answerRead(size_t port, uint8_t index) {
    if (index >= held_.size() || index == options_.nackRead) return status(kReadStart, 0, index);
    Bytes frame(held_[index].begin(), held_[index].end());
    if (index == options_.corruptRead) frame[16 + (index == 1 ? 10 : 0)] ^= 0x01;  // first payload byte
    ++ports_[port].messageFrames;
    return frame;
}

// A message is taken frame by frame in order; frame 0 starts it anew. It replaces the held
// message only when its last frame has arrived, so an interrupted write leaves the old one.
Bytes LinkDevice::answerData(size_t port, const Bytes& bytes) {
    Frame frame;
    std::copy(bytes.begin(), bytes.end(), frame.begin());
    const uint8_t count = frame[1], index = frame[2];
    std::vector<Frame>& writing = ports_[port].writing;
    if (index == 0) writing.clear();
    const bool checksumOk = !options_.checkChecksum || dataFrameChecksum(frame) == uint16_t(frame[14] | (frame[15] << 8));
    const bool inOrder = index < count && writing.size() == index && (writing.empty() || writing[0][1] == count);
    if (!checksumOk || !inOrder || index == options_.nackWrite) {
        writing.clear();
        return status(kFrameStart, 0, index);
    }
    writing.push_back(frame);
    ++ports_[port].messageFrames;
    if (writing.size() == count) {
        held_ = std::move(writing);
        writing.clear();
    }
    return Bytes{kFrameStart, count, index, kDataKind};
}

}  // namespace linksim
