#include <gtest/gtest.h>

#include "payload/payload_document.h"

namespace shuttle {
namespace {

using Pieces = std::vector<std::string>;

TEST(Base64Decode, SkipsPaddingLineBreaksAndForeignBytes) {
    EXPECT_EQ(base64Decode("YW\r\nJj\n"), "abc");
    EXPECT_EQ(base64Decode("YWJj===="), "abc");
    EXPECT_EQ(base64Decode("YQ"), "a");
    EXPECT_EQ(base64Decode("YWI"), "ab");
    EXPECT_EQ(base64Decode("Y"), "");  // six bits make no byte
    EXPECT_EQ(base64Decode("Y=W=\xFF-_!J\tj "), "abc");
    EXPECT_EQ(base64Decode(""), "");
    EXPECT_EQ(base64Decode("===="), "");
    EXPECT_EQ(base64Decode("\r\n\t -_"), "");
}

// RFC 4648 section 10, both ways.
TEST(Base64, StandardVectorsEncodeWithPaddingAndDecodeBack) {
    const std::pair<const char*, const char*> vectors[] = {{"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
                                                           {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : vectors) {
        const std::string bytes(plain);
        EXPECT_EQ(base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), encoded) << plain;
        EXPECT_EQ(base64Length(bytes.size()), std::string(encoded).size());
        EXPECT_EQ(base64Decode(encoded), bytes);
    }
    const uint8_t high[] = {0x00, 0x01, 0x02, 0xFF, 0xFF, 0xBF};
    EXPECT_EQ(base64Encode(high, sizeof high), "AAEC//+/");
    EXPECT_EQ(base64Decode("AAEC//+/"), std::string("\0\1\2\xFF\xFF\xBF", 6));
}

TEST(Base64Encode, EveryByteValueComesBackThroughTheDecoder) {
    std::vector<uint8_t> bytes;
    for (int round = 0; round < 3; ++round)
        for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<uint8_t>(value * (round + 1) + round));
    for (size_t length : {bytes.size(), bytes.size() - 1, bytes.size() - 2}) {
        const std::string text = base64Encode(bytes.data(), length);
        EXPECT_EQ(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
                  std::string::npos);
        EXPECT_EQ(base64Decode(text), std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
    }
}

TEST(SplitString, FollowsTheLineReadingRule) {
    EXPECT_EQ(splitString("a,b", ','), (Pieces{"a", "b"}));
    EXPECT_EQ(splitString("a,", ','), (Pieces{"a"}));
    EXPECT_EQ(splitString("a,,b", ','), (Pieces{"a", "", "b"}));
    EXPECT_EQ(splitString(",a", ','), (Pieces{"", "a"}));
    EXPECT_EQ(splitString(",", ','), (Pieces{""}));
    EXPECT_EQ(splitString(",,", ','), (Pieces{"", ""}));
    EXPECT_EQ(splitString("", ','), Pieces{});
    EXPECT_EQ(splitString("USB\\VID_1234&PID_ABCD\\5&1A2B", '\\'), (Pieces{"USB", "VID_1234&PID_ABCD", "5&1A2B"}));
    EXPECT_EQ(splitString(std::string("a\0b", 3), '\0'), (Pieces{"a", "b"}));
}

}  // namespace
}  // namespace shuttle
