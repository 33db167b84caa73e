#include <gtest/gtest.h>

#include "payload/payload_document.h"

namespace shuttle {
namespace {

using Pieces = std::vector<std::string>;

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

TEST(Base64Decode, DecodesTheStandardVectors) {
    // RFC 4648 section 10; every byte value round-trips in the base64 fuzz target.
    const std::pair<const char*, const char*> vectors[] = {{"Zg==", "f"},     {"Zm8=", "fo"},     {"Zm9v", "foo"},
                                                           {"Zm9vYg==", "foob"}, {"Zm9vYmE=", "fooba"}, {"Zm9vYmFy", "foobar"}};
    for (const auto& [encoded, decoded] : vectors) EXPECT_EQ(base64Decode(encoded), decoded) << encoded;
    EXPECT_EQ(base64Decode("AAEC//+/"), std::string("\0\1\2\xFF\xFF\xBF", 6));
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
