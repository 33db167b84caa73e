#include <gtest/gtest.h>

#include "serial/link_protocol.h"
#include "tools/link-sim/link_device.h"

namespace linksim {
namespace {

const std::string kGuid = "{0F8FAD5B-D9CB-469F-A165-70867728950E}";

template <class Frame>
Bytes bytesOf(const Frame& frame) {
    return Bytes(frame.begin(), frame.end());
}

class LinkDeviceTest : public ::testing::Test {
protected:
    std::vector<Bytes> feed(size_t port, const Bytes& bytes) { return device.receive(port, bytes.data(), bytes.size()); }
    Bytes one(size_t port, const Bytes& bytes) {
        std::vector<Bytes> answers = feed(port, bytes);
        EXPECT_EQ(answers.size(), 1u);
        return answers.empty() ? Bytes{} : answers[0];
    }
    // Writes the whole message from `port`; gives the answers.
    std::vector<Bytes> write(size_t port, const std::vector<shuttle::DataFrame>& frames) {
        std::vector<Bytes> answers;
        for (const auto& frame : frames) answers.push_back(one(port, bytesOf(frame)));
        return answers;
    }

    LinkDevice device{2};
    const std::vector<shuttle::DataFrame> message = shuttle::buildMessageFrames(std::string(100, 'm'), kGuid);
};

// An empty device is ready and refuses reads; a written message is handed out frame by frame on
// every port.
TEST_F(LinkDeviceTest, AWrittenMessageIsHandedOutFrameByFrameOnEveryPort) {
    EXPECT_EQ(one(0, bytesOf(shuttle::probeRequest())), (Bytes{0x40, 0x00, 0x00, 0x03}));
    EXPECT_EQ(one(1, bytesOf(shuttle::readRequest(0))), (Bytes{0x10, 0x00, 0x00, 0x03}));
    const std::vector<Bytes> acks = write(0, message);
    for (size_t i = 0; i < acks.size(); ++i) EXPECT_EQ(acks[i], (Bytes{0x40, 4, uint8_t(i), 0x01}));
    EXPECT_EQ(one(1, bytesOf(shuttle::probeRequest())), bytesOf(message[0]));
    EXPECT_EQ(one(0, bytesOf(shuttle::probeRequest())), bytesOf(message[0]));
    for (uint8_t i = 0; i < 4; ++i) EXPECT_EQ(one(1, bytesOf(shuttle::readRequest(i))), bytesOf(message[i]));
    EXPECT_EQ(one(1, bytesOf(shuttle::readRequest(4))), (Bytes{0x10, 0x00, 0x04, 0x03}));
    EXPECT_EQ(std::make_pair(device.messageFrames(0), device.messageFrames(1)), (std::pair<uint64_t, uint64_t>(4, 4)));
}

TEST_F(LinkDeviceTest, FramesOutOfOrderOrWithABadChecksumAreRefused) {
    EXPECT_EQ(one(0, bytesOf(message[1])), (Bytes{0x40, 0x00, 0x01, 0x03}));  // no frame 0 first
    one(0, bytesOf(message[0]));
    EXPECT_EQ(one(0, bytesOf(message[2])), (Bytes{0x40, 0x00, 0x02, 0x03}));  // frame 1 skipped
    one(0, bytesOf(message[0]));
    shuttle::DataFrame damaged = message[1];
    damaged[20] ^= 0x40;
    EXPECT_EQ(one(0, bytesOf(damaged)), (Bytes{0x40, 0x00, 0x01, 0x03}));
    EXPECT_TRUE(device.heldMessage().empty());
}

TEST_F(LinkDeviceTest, AnInterruptedMessageLeavesTheOldOneHeldAndPortsKeepTheirOwnFrames) {
    write(0, message);
    const auto next = shuttle::buildMessageFrames("new", "{7C9E6679-7425-40DE-944B-E07FC1F90AE7}");
    one(1, bytesOf(next[0]));
    device.resetPort(1);  // unplugged before the last frame
    EXPECT_EQ(one(1, bytesOf(shuttle::probeRequest())), bytesOf(message[0]));
    write(1, next);
    EXPECT_EQ(one(0, bytesOf(shuttle::probeRequest())), bytesOf(next[0]));

    // Two ports writing at once keep their own frames.
    one(0, bytesOf(message[0]));
    one(1, bytesOf(next[0]));
    one(0, bytesOf(message[1]));
    one(1, bytesOf(next[1]));
    EXPECT_EQ(device.heldMessage().size(), 2u);  // port 1 finished first
    one(0, bytesOf(message[2]));
    one(0, bytesOf(message[3]));
    EXPECT_EQ(device.heldMessage().size(), 4u);
}

TEST_F(LinkDeviceTest, FramesSplitAcrossReadsOrBehindNoiseAreFound) {
    Bytes stream = {0x00, 0x40, 0x99, 0x10};  // noise, including false frame starts
    const Bytes probe = bytesOf(shuttle::probeRequest());
    stream.insert(stream.end(), probe.begin(), probe.end());
    std::vector<Bytes> answers;
    for (uint8_t byte : stream)
        for (Bytes& answer : feed(0, Bytes{byte})) answers.push_back(answer);
    EXPECT_EQ(answers, (std::vector<Bytes>{{0x40, 0x00, 0x00, 0x03}}));
    EXPECT_FALSE(device.hasPartialInput(0));
    feed(0, Bytes(probe.begin(), probe.begin() + 7));
    EXPECT_TRUE(device.hasPartialInput(0));
    device.dropPartialInput(0);
    EXPECT_EQ(one(0, probe), (Bytes{0x40, 0x00, 0x00, 0x03}));
}

TEST_F(LinkDeviceTest, FaultOptions) {
    write(0, message);
    device.setOptions({AnswerMode::Normal, -1, /*nackRead=*/3, /*corruptRead=*/2});
    Bytes corrupted = one(1, bytesOf(shuttle::readRequest(2)));
    ASSERT_EQ(corrupted.size(), 64u);
    EXPECT_EQ(corrupted[16], message[2][16] ^ 0x01);
    corrupted[16] = message[2][16];
    EXPECT_EQ(corrupted, bytesOf(message[2]));
    EXPECT_EQ(one(1, bytesOf(shuttle::readRequest(3))), (Bytes{0x10, 0x00, 0x03, 0x03}));

    device.setOptions({AnswerMode::Normal, -1, -1, /*corruptRead=*/1});
    EXPECT_EQ(one(1, bytesOf(shuttle::readRequest(1)))[16 + 10], message[1][16 + 10] ^ 0x01);  // not the CRC field

    device.setOptions({AnswerMode::Normal, /*nackWrite=*/1});
    one(0, bytesOf(message[0]));
    EXPECT_EQ(one(0, bytesOf(message[1])), (Bytes{0x40, 0x00, 0x01, 0x03}));

    device.setOptions({AnswerMode::Alive, 1});
    EXPECT_EQ(one(0, bytesOf(shuttle::probeRequest())), (Bytes{0x40, 0xAA, 0x00, 0x03}));
    device.setOptions({AnswerMode::Silent, 1});
    EXPECT_TRUE(feed(0, bytesOf(shuttle::probeRequest())).empty());
    EXPECT_TRUE(feed(0, bytesOf(message[0])).empty());
}

}  // namespace
}  // namespace linksim
