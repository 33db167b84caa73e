#include <gtest/gtest.h>

#include "base/utf8.h"
#include "support/trace_capture.h"

namespace shuttle {
namespace {

TEST(Utf8, RoundTripsEveryPlaneAndAnUnpairedSurrogateFails) {
    const std::u16string text = u"a\u00e9\u4e2d\U0001F600z";
    const std::string utf8 = toUtf8(text);
    EXPECT_EQ(utf8, "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z");
    EXPECT_EQ(fromUtf8(utf8), text);
    EXPECT_EQ(toUtf8(std::u16string(1, char16_t(0xD800))), "");
    EXPECT_EQ(toUtf8(std::u16string{u'a', char16_t(0xDC00)}), "");
}

TEST(Utf8, IllFormedInputIsReportedAndGivesNothing) {
    testing::TraceCapture trace;
    for (const char* bad : {"\xC3", "\xE4\xB8", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "a\xFF"}) {
        trace.clear();
        EXPECT_EQ(fromUtf8(bad), u"") << bad;
        EXPECT_EQ(trace.err(), "Error converting UTF-8 to wide string\n");
    }
    EXPECT_EQ(fromUtf8(""), u"");
}

}  // namespace
}  // namespace shuttle
