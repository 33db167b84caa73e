#pragma once
// The link device as the simulator plays it: no I/O, only the answers to what arrives on each
// of its ports. It keeps the last complete message written by any port and hands it out frame
// by frame to whichever port asks.
//
// What it understands (all multi-byte values little-endian):
//   probe request  16 bytes  40 01 00 00 | BA 01 BA 01 00 00 00 00 | AA AA | 00 00
//   read request   16 bytes  10 01 ii 00 | signature | AA AA | 00 00        (ii = frame index)
//   data frame     64 bytes  40 cc ii 01 | signature | AA AA | checksum | 48 data bytes
// What it answers:
//   probe, nothing held     status  40 00 00 03          ("ready")
//   probe, "alive" mode     status  40 AA 00 03
//   probe, message held     frame 0 of the message (byte 1 = frame count, data = GUID field)
//   read of frame ii        frame ii as it was written, or the status nack 10 00 ii 03
//   data frame              head 40 cc ii 01 when taken, status nack 40 00 ii 03 when refused
// Every answer starts with those 4 bytes; byte 3 = 3 marks a status answer that ends there.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace linksim {

using Bytes = std::vector<uint8_t>;
using Frame = std::array<uint8_t, 64>;

enum class AnswerMode {
    Normal,  // answer everything
    Alive,   // answer every probe with the "alive" status (the device takes no messages)
    Silent,  // answer nothing at all
};

struct DeviceOptions {
    AnswerMode mode = AnswerMode::Normal;
    int nackWrite = -1;    // refuse the data frame with this index (-1: none)
    int nackRead = -1;     // refuse reads of the frame with this index
    int corruptRead = -1;  // hand out the frame with this index with its first payload byte changed
    bool checkChecksum = true;  // refuse data frames whose checksum does not match
};

// The checksum a data frame carries at offset 14: the 16-bit sum of its 32 little-endian
// words, counted with the checksum's own place as zero.
uint16_t dataFrameChecksum(const Frame& frame);

class LinkDevice {
public:
    explicit LinkDevice(size_t portCount);

    void setOptions(const DeviceOptions& options) { options_ = options; }
    const DeviceOptions& options() const { return options_; }

    // Bytes that arrived on `port`; gives the answers to send back on it, in order.
    std::vector<Bytes> receive(size_t port, const uint8_t* data, size_t size);
    // Whether a frame on `port` has begun to arrive and is not complete yet.
    bool hasPartialInput(size_t port) const { return !ports_.at(port).input.empty(); }
    // Forgets a half-received frame (a pause on the line ends it).
    void dropPartialInput(size_t port) { ports_.at(port).input.clear(); }
    // The port was unplugged: forgets its input and the message it was writing.
    void resetPort(size_t port);
    // Message frames exchanged on `port` so far: data frames taken and frames handed out.
    uint64_t messageFrames(size_t port) const { return ports_.at(port).messageFrames; }

    const std::vector<Frame>& heldMessage() const { return held_; }
    void clearMessage() { held_.clear(); }

private:
    struct Port {
        Bytes input;                 // received bytes not yet forming a whole frame
        std::vector<Frame> writing;  // frames of the message this port is writing
        uint64_t messageFrames = 0;
    };

    std::optional<Bytes> answer(size_t port, const Bytes& frame);
    Bytes answerProbe() const;
    Bytes answerRead(size_t port, uint8_t index);
    Bytes answerData(size_t port, const Bytes& bytes);

    DeviceOptions options_;
    std::vector<Port> ports_;
    std::vector<Frame> held_;
};

}  // namespace linksim
