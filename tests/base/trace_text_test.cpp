#include <gtest/gtest.h>

#include "base/trace_text.h"

namespace shuttle {
namespace {

TEST(TraceText, OnlyPrintableAsciiPassesAndLongValuesShowTheirLength) {
    EXPECT_EQ(traceText("{6F1C2A4E-93B7}"), "{6F1C2A4E-93B7}");
    EXPECT_EQ(traceText(std::string("a\0b\x1B[2J\xFF\\", 9)), "a\\x00b\\x1B[2J\\xFF\\");
    EXPECT_EQ(traceText(std::string(10000, 'G'), 5), "GGGGG... (10000 bytes)");
    EXPECT_EQ(traceText(""), "");
    EXPECT_EQ(traceText("\xE4\xB8\xAD"), "\\xE4\\xB8\\xAD") << "UTF-8 from the device is shown as bytes too";
}

}  // namespace
}  // namespace shuttle
