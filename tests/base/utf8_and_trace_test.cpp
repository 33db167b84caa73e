#include <gtest/gtest.h>

#include "base/trace_budget.h"
#include "base/trace_text.h"
#include "base/text_pieces.h"
#include "base/utf8.h"
#include "support/trace_capture.h"

namespace shuttle {
namespace {

TEST(Trace, TextIsEscapedAndABudgetPrintsItsLinesThenSumsUpTheRestOnce) {
    EXPECT_EQ(traceText("{6F1C2A4E-93B7}"), "{6F1C2A4E-93B7}");
    EXPECT_EQ(traceText(std::string("a\0b\x1B[2J\xFF\\", 9)), "a\\x00b\\x1B[2J\\xFF\\");
    EXPECT_EQ(traceText(std::string(10000, 'G'), 5), "GGGGG... (10000 bytes)");
    EXPECT_EQ(traceText(""), "");
    EXPECT_EQ(traceText("\xE4\xB8\xAD"), "\\xE4\\xB8\\xAD") << "UTF-8 from the device is shown as bytes too";
    testing::TraceCapture trace;
    {
        TraceBudget budget(3);
        for (int i = 0; i < 20000; ++i) budget.printOut("line %d\n", i);
        EXPECT_FALSE(budget.take());
        EXPECT_EQ(budget.heldBack(), 19998u);
        budget.finish();
        budget.finish();
    }  // finished already: the destructor adds nothing
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"line 0", "line 1", "line 2", "\xE2\x80\xA6 and 19,998 more"}));
    trace.clear();
    {
        TraceBudget budget(2);
        budget.printOut("one\n");
    }
    EXPECT_EQ(trace.out(), "one\n") << "nothing held back, no summary";
    EXPECT_EQ(groupedNumber(999), "999");
    EXPECT_EQ(groupedNumber(1000), "1,000");
    EXPECT_EQ(groupedNumber(16777216), "16,777,216");
}

TEST(Utf8, RoundTripsEveryPlaneAndIllFormedInputGivesNothing) {
    const std::u16string text = u"a\u00e9\u4e2d\U0001F600z";
    const std::string utf8 = toUtf8(text);
    EXPECT_EQ(utf8, "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z");
    EXPECT_EQ(fromUtf8(utf8), text);
    EXPECT_EQ(toUtf8(std::u16string(1, char16_t(0xD800))), "");
    EXPECT_EQ(toUtf8(std::u16string{u'a', char16_t(0xDC00)}), "");
    testing::TraceCapture trace;
    for (const char* bad : {"\xC3", "\xE4\xB8", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "a\xFF"}) {
        trace.clear();
        EXPECT_EQ(fromUtf8(bad), u"") << bad;
        EXPECT_EQ(trace.err(), "Error converting UTF-8 to wide string\n");
    }
    EXPECT_EQ(fromUtf8(""), u"");
}

// A split follows the line-reading rule.
TEST(TextPieces, SplitFollowsTheLineReadingRule) {
    using Pieces = std::vector<std::string>;
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
