#include <gtest/gtest.h>

#include "payload/payload_document.h"

namespace shuttle {
namespace {

using Pieces = std::vector<std::string>;

std::string base64Encode(const std::string& bytes) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t n = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6) out += alphabet[(n >> shift) & 63];
    }
    if (bytes.size() - i == 1) {
        const uint32_t n = uint8_t(bytes[i]) << 16;
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += "==";
    } else if (bytes.size() - i == 2) {
        const uint32_t n = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8);
        out += alphabet[(n >> 18) & 63];
        out += alphabet[(n >> 12) & 63];
        out += alphabet[(n >> 6) & 63];
        out += '=';
    }
    return out;
}

TEST(Base64Decode, DecodesWithOrWithoutPaddingAndLineBreaks) {
    EXPECT_EQ(base64Decode("YWJj"), "abc");
    EXPECT_EQ(base64Decode("YW\r\nJj\n"), "abc");
    EXPECT_EQ(base64Decode("YWJj===="), "abc");
    EXPECT_EQ(base64Decode("YQ=="), "a");
    EXPECT_EQ(base64Decode("YQ"), "a");
    EXPECT_EQ(base64Decode("YWI="), "ab");
    EXPECT_EQ(base64Decode("YWI"), "ab");
    EXPECT_EQ(base64Decode("Y"), "");  // six bits make no byte
    EXPECT_EQ(base64Decode("Y=W=\xFF-_!J\tj "), "abc");
}

TEST(Base64Decode, EmptyOrAllSkippedInputGivesNothing) {
    EXPECT_EQ(base64Decode(""), "");
    EXPECT_EQ(base64Decode("===="), "");
    EXPECT_EQ(base64Decode("\r\n\t -_"), "");
}

TEST(Base64Decode, RoundTripsEveryByteValueAndLength) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
    for (size_t length = 0; length <= bytes.size(); ++length) {
        const std::string piece = bytes.substr(bytes.size() - length);
        ASSERT_EQ(base64Decode(base64Encode(piece)), piece) << length;
    }
    EXPECT_EQ(base64Decode("AAEC"), std::string("\0\1\2", 3));
}

TEST(SplitString, FollowsTheLineReadingRule) {
    EXPECT_EQ(splitString("a,b", ','), (Pieces{"a", "b"}));
    EXPECT_EQ(splitString("a,", ','), (Pieces{"a"}));
    EXPECT_EQ(splitString("a,,b", ','), (Pieces{"a", "", "b"}));
    EXPECT_EQ(splitString(",a", ','), (Pieces{"", "a"}));
    EXPECT_EQ(splitString(",", ','), (Pieces{""}));
    EXPECT_EQ(splitString(",,", ','), (Pieces{"", ""}));
    EXPECT_EQ(splitString("", ','), Pieces{});
    EXPECT_EQ(splitString("abc", ','), (Pieces{"abc"}));
    EXPECT_EQ(splitString("USB\\VID_1234&PID_ABCD\\5&1A2B", '\\'), (Pieces{"USB", "VID_1234&PID_ABCD", "5&1A2B"}));
    EXPECT_EQ(splitString(std::string("a\0b", 3), '\0'), (Pieces{"a", "b"}));
}

}  // namespace
}  // namespace shuttle
