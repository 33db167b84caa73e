#include <gtest/gtest.h>

#include "serial/link_protocol.h"
#include "support/scripted_serial_port.h"

namespace shuttle {
namespace {

using testing::Bytes;

const std::string kGuid = "{0F8FAD5B-D9CB-469F-A165-70867728950E}";

Bytes bytesOf(const RequestFrame& frame) { return Bytes(frame.begin(), frame.end()); }
std::string dataOf(const DataFrame& frame) { return std::string(frame.begin() + 16, frame.end()); }

TEST(LinkFrames, CrcFieldIsTheDecimalCrcRightAlignedInTenCharacters) {
    EXPECT_EQ(crcField("abc"), " 891568578");
    EXPECT_EQ(crcField(""), "         0");
    EXPECT_EQ(crcField("123456789"), "3421780262");
    EXPECT_EQ(crcField(std::string("abc\0def", 7)), " 891568578");  // up to the first zero byte
}

TEST(LinkFrames, RequestsAreByteExact) {
    EXPECT_EQ(bytesOf(probeRequest()),
              (Bytes{0x40, 0x01, 0x00, 0x00, 0xBA, 0x01, 0xBA, 0x01, 0x00, 0x00, 0x00, 0x00, 0xAA, 0xAA, 0x00, 0x00}));
    EXPECT_EQ(bytesOf(readRequest(5)),
              (Bytes{0x10, 0x01, 0x05, 0x00, 0xBA, 0x01, 0xBA, 0x01, 0x00, 0x00, 0x00, 0x00, 0xAA, 0xAA, 0x00, 0x00}));
}

TEST(LinkFrames, ChecksumIsTheWordSumWithItsOwnPlaceZero) {
    DataFrame frame{};
    EXPECT_EQ(frameChecksum(frame), 0);
    frame[0] = 0x01;
    frame[1] = 0x02;   // word 0x0201
    frame[62] = 0xFF;
    frame[63] = 0xFF;  // word 0xFFFF: the sum wraps
    frame[14] = 0x55;  // the checksum's own place does not count
    frame[15] = 0x66;
    EXPECT_EQ(frameChecksum(frame), uint16_t(0x0201 + 0xFFFF));
}

TEST(LinkFrames, OneBytePayloadGivesTwoFramesWithTheLayoutOfTheWire) {
    const std::vector<DataFrame> frames = buildMessageFrames("x", kGuid);
    ASSERT_EQ(frames.size(), 2u);
    for (uint8_t index = 0; index < 2; ++index) {
        const DataFrame& frame = frames[index];
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 14),
                  (Bytes{0x40, 2, index, 1, 0xBA, 0x01, 0xBA, 0x01, 0, 0, 0, 0, 0xAA, 0xAA}));
        EXPECT_EQ(uint16_t(frame[14] | (frame[15] << 8)), frameChecksum(frame));
    }
    EXPECT_EQ(dataOf(frames[0]), kGuid + std::string(10, '\0'));
    EXPECT_EQ(dataOf(frames[1]), crcField("x") + "x" + std::string(37, '\0'));
}

TEST(LinkFrames, FrameCountFollowsTheStreamLengthAtTheSliceBoundaries) {
    // The stream is 48 (GUID) + 10 (CRC) + payload bytes.
    struct Case {
        size_t payload;
        size_t frames;
        size_t lastDataBytes;
    };
    for (Case c : {Case{0, 2, 10}, Case{37, 2, 47}, Case{38, 2, 48}, Case{39, 3, 1}, Case{86, 3, 48}, Case{87, 4, 1}}) {
        const std::string payload(c.payload, 'p');
        const std::vector<DataFrame> frames = buildMessageFrames(payload, kGuid);
        ASSERT_EQ(frames.size(), c.frames) << c.payload;
        const std::string last = dataOf(frames.back());
        EXPECT_EQ(last.find_last_not_of('\0') + 1, c.lastDataBytes) << c.payload;
        std::string stream;
        for (const DataFrame& frame : frames) stream += dataOf(frame);
        EXPECT_EQ(stream.substr(0, 48 + 10 + c.payload), std::string(kGuid) + std::string(10, '\0') + crcField(payload) + payload);
    }
}

TEST(LinkFrames, TheLargestMessageHas255FramesAndALargerOneNone) {
    const size_t largestPayload = 255 * 48 - 58;  // 12,182 bytes
    EXPECT_EQ(buildMessageFrames(std::string(largestPayload, 'a'), kGuid).size(), 255u);
    EXPECT_EQ(buildMessageFrames(std::string(largestPayload, 'a'), kGuid).back()[1], 255);
    EXPECT_TRUE(buildMessageFrames(std::string(largestPayload + 1, 'a'), kGuid).empty());
}

TEST(LinkFrames, GuidFieldTakesTheTextUpToItsFirstZeroAndAtMost48Bytes) {
    EXPECT_EQ(dataOf(buildMessageFrames("", std::string("{AB}\0junk", 9))[0]), "{AB}" + std::string(44, '\0'));
    EXPECT_EQ(dataOf(buildMessageFrames("", std::string(60, 'G'))[0]), std::string(48, 'G'));
}

}  // namespace
}  // namespace shuttle
