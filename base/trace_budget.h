#pragma once
// A cap on the trace lines one piece of work prints. A document on the shared drive may hold
// millions of entries; the first lines go out as usual, the rest are only counted (never
// formatted) and summarised in one line at the end ("… and 19,980 more").

#include <cstddef>
#include <string>

#include "base/print.h"

namespace shuttle {

constexpr size_t kTraceLinesPerPoll = 20;

class TraceBudget {
public:
    explicit TraceBudget(size_t lines = kTraceLinesPerPoll) : left_(lines) {}
    // Prints the summary if finish() has not.
    ~TraceBudget() { finish(); }
    TraceBudget(const TraceBudget&) = delete;
    TraceBudget& operator=(const TraceBudget&) = delete;

    // printOut while lines are left; afterwards the line is only counted. One call is one line.
    void printOut(const char* format, ...) SHUTTLE_PRINTF(2, 3);
    // For a line that is costly to make: true when it may be printed (the caller prints it),
    // false when it is only counted.
    bool take();
    // Prints "… and N more" once when lines were held back.
    void finish();
    size_t heldBack() const { return heldBack_; }

private:
    size_t left_;
    size_t heldBack_ = 0;
};

// 19980 as "19,980".
std::string groupedNumber(size_t number);

}  // namespace shuttle
