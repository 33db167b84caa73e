#include <gtest/gtest.h>

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

// Basic-plane units travel as one to three bytes each, a surrogate pair as one four-byte sequence.
TEST(LinkText, UnitsAndPairsTravelAsUtf8) {
    for (const auto& [text, bytes] : {std::pair<std::u16string, std::string>{u"a\u00e9\u4e2d\u20ac\uffff",
                                                                              "a\xC3\xA9\xE4\xB8\xAD\xE2\x82\xAC\xEF\xBF\xBF"},
                                      {u"x\U0001F600y", "x\xF0\x9F\x98\x80y"},
                                      {u"", ""}}) {
        EXPECT_EQ(encodeLinkText(text), bytes);
        EXPECT_EQ(decodeLinkText(bytes), text);
    }
    EXPECT_EQ(encodeLinkText(std::u16string(u"ab\0cd", 5)), "ab") << "up to the first zero unit";
    // Older senders wrote three bytes per surrogate: they decode to the same pair.
    EXPECT_EQ(decodeLinkText("x\xED\xA0\xBD\xED\xB8\x80y"), u"x\U0001F600y");
}

TEST(LinkText, LoneSurrogatesAreSentOnTheirOwnAndComeBackAsReplacement) {
    const std::u16string lone{u'a', char16_t(0xD83D), u'b', char16_t(0xDE00)};
    EXPECT_EQ(encodeLinkText(lone), "a\xED\xA0\xBD" "b\xED\xB8\x80");
    EXPECT_EQ(decodeLinkText(encodeLinkText(lone)), u"a\uFFFDb\uFFFD");
    // A low surrogate before a high one is no pair either.
    EXPECT_EQ(decodeLinkText("\xED\xB8\x80\xED\xA0\xBD"), u"\uFFFD\uFFFD");
}

TEST(LinkText, IllFormedSequencesBecomeReplacementCharactersAndAZeroByteEndsTheText) {
    struct Case {
        std::string bytes;
        std::u16string text;
    };
    for (const Case& c : {Case{"\x80z", u"\uFFFDz"}, Case{"\xC3", u"\uFFFD"}, Case{"\xE4\xB8z", u"\uFFFDz"},
                          Case{"\xC0\xAF", u"\uFFFD\uFFFD"}, Case{"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
                          Case{"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"}, Case{"\xFF\xFE", u"\uFFFD\uFFFD"},
                          Case{"\xF0\x9F\x98", u"\uFFFD"}, Case{"a\xF0\x9F\x98" "b", u"a\uFFFD" "b"},
                          Case{std::string("hi\0\0there", 9), u"hi"}, Case{std::string("\xE4\xB8\0\xAD", 4), u"\uFFFD"},
                          Case{std::string(40, '\0'), u""}}) {
        EXPECT_EQ(decodeLinkText(c.bytes), c.text) << c.bytes;
    }
}

TEST(LinkText, EveryBasicPlaneUnitRoundTrips) {
    std::u16string all;
    for (uint32_t unit = 1; unit < 0x10000; ++unit)
        if (unit < 0xD800 || unit > 0xDFFF) all.push_back(static_cast<char16_t>(unit));
    EXPECT_EQ(decodeLinkText(encodeLinkText(all)), all);
}

}  // namespace
}  // namespace shuttle
