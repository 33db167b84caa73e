#pragma once
// Everything that crosses the serial line to the link device: request and data frames, the
// message stream (GUID field, CRC field, payload) cut into 48-byte slices, and the transactions
// built on them: probe, read message, write message and the check that a written message was
// stored. The callers hold the link mutex while a transaction runs.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/guid_text.h"
#include "base/progress.h"
#include "core/guid_memory.h"
#include "core/link_state.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "serial/link_text.h"

namespace shuttle {

constexpr size_t kRequestFrameSize = 16;
constexpr size_t kDataFrameSize = 64;
constexpr size_t kAnswerHeadSize = 4;
constexpr size_t kFrameDataOffset = 16;
constexpr size_t kFrameDataSize = 48;     // message bytes per frame
constexpr size_t kGuidFieldSize = 48;     // frame 0
constexpr size_t kCrcFieldSize = 10;      // start of frame 1, "%10u"
constexpr size_t kMaxFrames = 255;        // count and index travel in one byte
// Frames of the longest message a sender makes (189); a held message said to need more is not read.
constexpr size_t kMaxMessageFrames =
    (kGuidFieldSize + kCrcFieldSize + kMaxLinkTextBytes + kFrameDataSize - 1) / kFrameDataSize;
// The most one read of a message may take. The longest message takes about 4 s at the device's
// 20 ms per frame; a device slower than twice that, or one dribbling its answers to stretch
// every read to its time-out, is given up on: the link mutex is held meanwhile.
constexpr uint32_t kReadMessageLimitMs = 10000;
constexpr uint8_t kStatusAnswer = 3;      // byte 3 of a status (refusal) answer
constexpr uint8_t kAliveMark = 0xAA;      // byte 1 of the "alive" status answer

using RequestFrame = std::array<uint8_t, kRequestFrameSize>;
using DataFrame = std::array<uint8_t, kDataFrameSize>;

// Result of a transaction.
enum class LinkStatus : int {
    Ok = 0,             // read or write message completed
    RequestFailed = 2,  // writing a request or data frame failed
    AnswerFailed = 3,   // reading an answer failed; in read message also a line error or a missing last frame
    LineError = 5,      // the port reported line errors while waiting (probe, write message)
    Refused = 6,        // status answer: "alive" in the probe, a nack in read and write message
    NewData = 7,        // probe: the device holds a message this side has neither seen nor sent
    OldData = 8,        // probe: the held message is known, or none that can be used
    Ready = 9,          // probe: a status answer other than "alive"
    NoAnswer = 11,      // no answer within the polling limit, or a short one
    RequestShort = 13,  // the port accepted fewer bytes than the frame has
    NotStored = 14,     // check after a write: the device holds another message, or none
};

// The standard CRC-32 over `payload` up to its first zero byte.
uint32_t payloadCrc(const std::string& payload);
// "%10u" of the payload's CRC.
std::string crcField(const std::string& payload);

// Sum of the 32 little-endian 16-bit words of the frame, taken with bytes 14..15 as zero.
uint16_t frameChecksum(const DataFrame& frame);

// The data frames of one message: GUID field, CRC field and the payload in 48-byte slices.
// A payload too long for 255 frames gives no frames at all.
std::vector<DataFrame> buildMessageFrames(const std::string& payload, const std::string& guid);

RequestFrame probeRequest();
RequestFrame readRequest(uint8_t index);

// What a probe learnt of the message the device holds.
struct HeldMessage {
    std::string guid;         // the first 38 bytes of its GUID field, zeros included
    uint32_t frameCount = 0;  // 0 when the device held none
};

// Asks the device what it holds: `held` gets the count and GUID of a full answer, else a count
// of 0. Decides with `memory` whether the held message is new and remembers its GUID as
// received. `com` names the port in the trace. A status answer other than "alive" marks the
// device seen empty on `com` (`seenEmptyPort`); a message held later on that port arrived
// while this side was running.
LinkStatus probeLink(SerialPort& port, Clock& clock, unsigned com, GuidMemory& memory,
                     std::atomic<uint32_t>& seenEmptyPort, HeldMessage& held,
                     const DeviceAnswerWait& answerWait = {});

// Fetches frames 0 .. count-1 of the message the probe saw and appends their data to `stream`
// (the CRC field of frame 1 goes to `expectedCrc` instead). Every answer must be the frame asked
// for, of a message of the probed count, and frame 0 must carry the probed GUID; otherwise, or
// with a count above kMaxMessageFrames, or after kReadMessageLimitMs, the read fails.
LinkStatus readMessage(SerialPort& port, Clock& clock, const HeldMessage& held, std::string& stream,
                       uint32_t& expectedCrc, const DeviceAnswerWait& answerWait = {});

// Sends the frames in order, each acknowledged by the device before the next; `progress`
// hears of every acknowledged frame (frames sent of frames). An acknowledgement is only an
// answer that is not a refusal: whether the message was stored is for checkStored to say.
LinkStatus writeMessage(SerialPort& port, Clock& clock, const std::vector<DataFrame>& frames,
                        const ProgressCallback& progress = {}, const DeviceAnswerWait& answerWait = {});

// Probes the device after a write: Ok when it holds the message whose frame 0 is `first` (the
// same GUID and frame count), NotStored when it holds another or none. A device that lost or
// garbled frames while answering every one of them is caught here. Unlike probeLink it judges
// nothing as news: the GUID memory and the empty mark are left alone.
LinkStatus checkStored(SerialPort& port, Clock& clock, const DataFrame& first, const DeviceAnswerWait& answerWait = {});

}  // namespace shuttle
