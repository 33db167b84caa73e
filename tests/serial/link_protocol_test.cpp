#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "serial/crc32.h"
#include "serial/link_protocol.h"
#include "serial/link_text.h"
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
    // The stream is 48 (GUID) + 10 (CRC) + payload bytes; {payload, frames, data bytes in the last frame}.
    for (auto [size, count, lastDataBytes] : std::vector<std::array<size_t, 3>>{
             {0, 2, 10}, {37, 2, 47}, {38, 2, 48}, {39, 3, 1}, {86, 3, 48}, {87, 4, 1}}) {
        const std::string payload(size, 'p');
        const std::vector<DataFrame> frames = buildMessageFrames(payload, kGuid);
        ASSERT_EQ(frames.size(), count) << size;
        EXPECT_EQ(dataOf(frames.back()).find_last_not_of('\0') + 1, lastDataBytes) << size;
        std::string stream;
        for (const DataFrame& frame : frames) stream += dataOf(frame);
        EXPECT_EQ(stream.substr(0, 48 + 10 + size), std::string(kGuid) + std::string(10, '\0') + crcField(payload) + payload);
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

// Basic-plane units travel as one to three bytes each, a surrogate pair as one four-byte
// sequence, a lone surrogate as its own three bytes; each comes back as the same units.
TEST(LinkText, UnitsPairsAndLoneSurrogatesTravelAsUtf8AndComeBackUnitForUnit) {
    const std::u16string lone{u'a', char16_t(0xD83D), u'b', char16_t(0xDE00), char16_t(0xDE00), char16_t(0xD83D)};
    for (const auto& [text, bytes] : {std::pair<std::u16string, std::string>{u"a\u00e9\u4e2d\u20ac\uffff",
                                                                              "a\xC3\xA9\xE4\xB8\xAD\xE2\x82\xAC\xEF\xBF\xBF"},
                                      {u"x\U0001F600y", "x\xF0\x9F\x98\x80y"},
                                      {lone, "a\xED\xA0\xBD" "b\xED\xB8\x80\xED\xB8\x80\xED\xA0\xBD"},
                                      {u"", ""}}) {
        EXPECT_EQ(encodeLinkText(text), bytes);
        EXPECT_EQ(decodeLinkText(bytes), text);
    }
    EXPECT_EQ(encodeLinkText(std::u16string(u"ab\0cd", 5)), "ab") << "up to the first zero unit";
    // Older senders wrote three bytes per surrogate: they decode to the same pair.
    EXPECT_EQ(decodeLinkText("x\xED\xA0\xBD\xED\xB8\x80y"), u"x\U0001F600y");
    // Every unit in turn: every surrogate alone, and DBFF before DC00 as a pair.
    std::u16string all;
    for (uint32_t unit = 1; unit < 0x10000; ++unit) all.push_back(static_cast<char16_t>(unit));
    EXPECT_EQ(decodeLinkText(encodeLinkText(all)), all);
}

// What is not UTF-8 is refused whole, never patched with U+FFFD; a zero byte ends the text.
TEST(LinkText, BytesThatAreNotUtf8AreNoText) {
    for (const std::string& bytes : {std::string("\x80z"), std::string("\xC3"), std::string("\xE4\xB8z"),
                                     std::string("\xC0\xAF"), std::string("\xE0\x80\xAF"), std::string("\xF4\x90\x80\x80"),
                                     std::string("\xFF\xFE"), std::string("a\xF0\x9F\x98" "b"), std::string("ok\xED\xA0"),
                                     std::string("\xE4\xB8\0\xAD", 4)})
        EXPECT_EQ(decodeLinkText(bytes), std::nullopt) << bytes;
    EXPECT_EQ(decodeLinkText(std::string("hi\0\xFFthere", 9)), u"hi");
    EXPECT_EQ(decodeLinkText(std::string(40, '\0')), u"");
}

using Crc = uint32_t (*)(const uint8_t*, size_t, uint32_t);

// One bit at a time, straight from the definition, continuing `previous`.
uint32_t bitwiseCrc(const uint8_t* data, size_t length, uint32_t previous = 0) {
    uint32_t crc = ~previous;
    for (size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) ? 0xEDB88320u : 0u);
    }
    return ~crc;
}

// Every length up to 1024 (the fold setup, single-block folds, the 16- and 64-byte steps and the
// byte tail in every combination), some long ones and all-zero and all-one blocks, at every
// alignment of a 16-byte load, each continuing a different running CRC.
TEST(Crc32, EveryWayMatchesTheBitwiseDefinitionForAnyLengthAlignmentAndRunningValue) {
    std::mt19937 random(12);
    std::vector<std::vector<uint8_t>> blocks{std::vector<uint8_t>(70000), std::vector<uint8_t>(4200, 0),
                                             std::vector<uint8_t>(4200, 0xFF)};
    for (uint8_t& byte : blocks[0]) byte = static_cast<uint8_t>(random());
    // crc32 itself, the byte tables and, where the processor has it, the carry-less multiply.
    std::vector<Crc> ways{crc32, crc32Slicing};
    if (crc32FoldedAvailable()) ways.push_back(crc32Folded);
    std::vector<size_t> lengths;
    for (size_t length = 0; length <= 1024; ++length) lengths.push_back(length);
    for (size_t length : {4095, 4096, 4097, 65536 - 1, 65536, 65536 + 63}) lengths.push_back(length);
    size_t mismatches = 0;
    for (const auto& block : blocks) {
        for (size_t offset = 0; offset < 16; ++offset) {
            for (size_t length : lengths) {
                if (offset + length > block.size()) continue;
                const uint32_t previous = offset == 0 ? 0u : static_cast<uint32_t>(random());
                const uint8_t* p = block.data() + offset;
                const uint32_t expected = bitwiseCrc(p, length, previous);
                for (Crc way : ways)
                    if (way(p, length, previous) != expected && mismatches++ < 5)
                        ADD_FAILURE() << "offset " << offset << " length " << length << " previous " << previous;
            }
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

}  // namespace
}  // namespace shuttle
