#include <gtest/gtest.h>

#include "serial/link_text.h"

namespace shuttle {
namespace {

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
