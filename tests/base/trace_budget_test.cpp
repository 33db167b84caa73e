#include <gtest/gtest.h>

#include "base/trace_budget.h"
#include "support/trace_capture.h"

namespace shuttle {
namespace {

TEST(TraceBudget, PrintsItsLinesThenCountsTheRestAndSumsThemUpOnce) {
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
}

TEST(TraceBudget, NumbersAreGroupedByThousands) {
    EXPECT_EQ(groupedNumber(999), "999");
    EXPECT_EQ(groupedNumber(1000), "1,000");
    EXPECT_EQ(groupedNumber(16777216), "16,777,216");
}

}  // namespace
}  // namespace shuttle
