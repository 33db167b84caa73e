// The link device's answers to a probe, a message read and a message write, as a script of
// replies. The transactions must end within their bounds, report a message read only when
// every answer was the frame asked for, of the probed count, and frame 0 carried the probed
// GUID, report a write done only when every frame went out whole, and trace nothing but
// printable ASCII and line feeds.
//
// Input: an option byte, then one reply per request or data frame written:
//   byte 0  bits 0-1 the write: 0 or 1 accepted, 2 failed, 3 half written
//           bit 2 a line error at the first look at the port; bit 3 the head read fails;
//           bit 4 the read of the rest fails; bits 5-7 looks at the queue that still find it
//           empty, times two (0 to 14: beyond ten the answer comes too late)
//   byte 1  n, the answer's length; then n answer bytes (fewer when the input ends first).
// Answer bytes the protocol does not read stay queued until the next transaction's purge.
// Option byte: bit 0 this side has received a message before; bit 1 the device was seen empty
// on this port; bits 2-7 the length of the text written afterwards, in 40-byte steps.

#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "core/guid_memory.h"
#include "fuzz_support.h"
#include "serial/link_protocol.h"

using namespace shuttle;

namespace {

constexpr unsigned kCom = 5;
constexpr uint64_t kLongestExchangeMs = 20 + 10 * 10;  // settle, then ten looks at the queue

struct Reply {
    uint8_t write = 0;
    bool lineError = false;
    bool failHead = false;
    bool failRest = false;
    int emptyLooks = 0;
    std::vector<uint8_t> answer;
};

std::deque<Reply> parseReplies(const uint8_t* bytes, size_t size) {
    std::deque<Reply> replies;
    size_t at = 0;
    while (at + 2 <= size) {
        Reply reply;
        const uint8_t how = bytes[at];
        reply.write = how & 3;
        reply.lineError = (how & 4) != 0;
        reply.failHead = (how & 8) != 0;
        reply.failRest = (how & 16) != 0;
        reply.emptyLooks = 2 * (how >> 5);
        const size_t length = std::min<size_t>(bytes[at + 1], size - at - 2);
        reply.answer.assign(bytes + at + 2, bytes + at + 2 + length);
        replies.push_back(std::move(reply));
        at += 2 + length;
    }
    return replies;
}

// The device: each write takes the next reply; without one it stays silent. What each read
// handed out is kept per write, for the checks.
class ScriptedDevice final : public SerialPort {
public:
    explicit ScriptedDevice(std::deque<Reply> replies) : replies_(std::move(replies)) {}

    std::optional<size_t> write(const uint8_t* data, size_t size) override {
        current_ = Reply{};
        if (!replies_.empty()) {
            current_ = std::move(replies_.front());
            replies_.pop_front();
        }
        looks_ = 0;
        reads_ = 0;
        requests.emplace_back(data, data + size);
        delivered.emplace_back();
        if (current_.write == 2) return std::nullopt;
        if (current_.write == 3) return size / 2;
        accepted.push_back(requests.size() - 1);
        return size;
    }
    std::optional<size_t> read(uint8_t* buffer, size_t size) override {
        ++reads_;
        if ((reads_ == 1 && current_.failHead) || (reads_ == 2 && current_.failRest)) return std::nullopt;
        arrive();
        const size_t count = std::min(size, queue_.size());
        for (size_t i = 0; i < count; ++i) {
            buffer[i] = queue_.front();
            queue_.pop_front();
        }
        if (!delivered.empty()) delivered.back().insert(delivered.back().end(), buffer, buffer + count);
        return count;
    }
    bool purge() override {
        queue_.clear();
        return true;
    }
    std::optional<SerialErrorState> clearErrors() override {
        SerialErrorState state;
        if (looks_++ == 0 && current_.lineError) state.errors = 1;
        if (looks_ > current_.emptyLooks) arrive();
        state.inputQueue = static_cast<uint32_t>(queue_.size());
        return state;
    }
    bool flush() override { return true; }
    void cancel() override {}
    void close() override {}

    std::vector<std::vector<uint8_t>> requests;   // every frame written, in order
    std::vector<std::vector<uint8_t>> delivered;  // the bytes read after each of them
    std::vector<size_t> accepted;                 // the writes taken whole

private:
    void arrive() {
        queue_.insert(queue_.end(), current_.answer.begin(), current_.answer.end());
        current_.answer.clear();
    }

    std::deque<Reply> replies_;
    Reply current_;
    std::deque<uint8_t> queue_;
    int looks_ = 0;
    int reads_ = 0;
};

class FuzzClock final : public Clock {
public:
    uint64_t tickMs() override { return ticks_; }
    void sleepMs(uint32_t ms) override { ticks_ += ms; }
    std::tm localNow() override { return {}; }

private:
    uint64_t ticks_ = 1;
};

std::string& traced() {
    static std::string text;
    return text;
}

void captureTrace() {
    static const bool installed = [] {
        setTraceSink([](TraceStream, const std::string& text) { traced() += text; });
        return true;
    }();
    (void)installed;
}

bool isCleanTrace(const std::string& text) {
    for (unsigned char c : text)
        if (c != '\n' && (c < 0x20 || c > 0x7E)) return false;
    return true;
}

// A read reported done: one request per frame, each answered by a whole frame of that index
// and the probed count, frame 0 with the GUID the probe was given.
void checkReadMessage(const ScriptedDevice& device, size_t firstRequest, const std::vector<uint8_t>& probeAnswer,
                      const HeldMessage& held, const std::string& stream) {
    const uint32_t count = held.frameCount;
    fuzz::require(count >= 1 && count <= kMaxMessageFrames, "a read is done only for a count a text can have");
    fuzz::require(device.requests.size() - firstRequest == count, "one request per frame");
    fuzz::require(probeAnswer.size() == kDataFrameSize, "the probe got a whole frame");
    for (uint32_t index = 0; index < count; ++index) {
        const RequestFrame request = readRequest(static_cast<uint8_t>(index));
        fuzz::require(device.requests[firstRequest + index] == std::vector<uint8_t>(request.begin(), request.end()),
                      "frames are asked for in order");
        const std::vector<uint8_t>& answer = device.delivered[firstRequest + index];
        fuzz::require(answer.size() == kDataFrameSize, "each answer is a whole frame");
        fuzz::require(answer[2] == index, "each answer has the index asked for");
        fuzz::require(answer[1] == count, "each answer has the probed count");
    }
    const std::vector<uint8_t>& first = device.delivered[firstRequest];
    fuzz::require(std::memcmp(first.data() + kFrameDataOffset, probeAnswer.data() + kFrameDataOffset,
                              kGuidTextSize) == 0,
                  "frame 0 carries the probed GUID");
    fuzz::require(stream.size() == count * kFrameDataSize - (count >= 2 ? kCrcFieldSize : 0),
                  "the stream holds every frame's data");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    captureTrace();
    traced().clear();
    if (size == 0) return 0;
    const uint8_t options = bytes[0];
    ScriptedDevice device(parseReplies(bytes + 1, size - 1));
    FuzzClock clock;
    GuidMemory memory;
    if (options & 1) memory.recordReceived("{00000000-0000-0000-0000-000000000000}");
    std::atomic<uint32_t> seenEmptyPort{(options & 2) ? kCom : kNoComPort};

    HeldMessage held;
    const LinkStatus probe = probeLink(device, clock, kCom, memory, seenEmptyPort, held);
    fuzz::require(held.frameCount == 0 || held.guid.size() == kGuidTextSize, "a held message has a GUID");
    fuzz::require(probe != LinkStatus::NewData || held.frameCount > 0, "new data has frames");

    // Read whatever the probe saw, new or not: the read must hold on its own.
    if (held.frameCount > 0) {
        const std::vector<uint8_t> probeAnswer = device.delivered.back();
        const size_t firstRequest = device.requests.size();
        const uint64_t start = clock.tickMs();
        std::string stream;
        uint32_t expectedCrc = 0;
        const LinkStatus read = readMessage(device, clock, held, stream, expectedCrc);
        fuzz::require(clock.tickMs() - start < kReadMessageLimitMs + kLongestExchangeMs, "a read ends in time");
        if (read == LinkStatus::Ok) checkReadMessage(device, firstRequest, probeAnswer, held, stream);
    }

    const std::vector<DataFrame> frames =
        buildMessageFrames(std::string(40u * (options >> 2), 'w'), "{0F8FAD5B-D9CB-469F-A165-70867728950E}");
    const size_t firstWrite = device.requests.size();
    const size_t acceptedBefore = device.accepted.size();
    const LinkStatus wrote = writeMessage(device, clock, frames);
    if (wrote == LinkStatus::Ok) {
        fuzz::require(device.requests.size() - firstWrite == frames.size(), "every frame was written");
        fuzz::require(device.accepted.size() - acceptedBefore == frames.size(), "every frame went out whole");
    }

    fuzz::require(isCleanTrace(traced()), "the trace holds only printable ASCII and line feeds");
    return 0;
}
