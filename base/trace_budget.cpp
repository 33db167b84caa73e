#include "base/trace_budget.h"

#include <cstdarg>

namespace shuttle {

bool TraceBudget::take() {
    if (left_ == 0) {
        ++heldBack_;
        return false;
    }
    --left_;
    return true;
}

void TraceBudget::printOut(const char* format, ...) {
    if (!take()) return;
    va_list args;
    va_start(args, format);
    const std::string text = formatTextV(format, args);
    va_end(args);
    shuttle::printOut("%s", text.c_str());
}

void TraceBudget::finish() {
    if (heldBack_ == 0) return;
    shuttle::printOut("\xE2\x80\xA6 and %s more\n", groupedNumber(heldBack_).c_str());
    heldBack_ = 0;
}

std::string groupedNumber(size_t number) {
    std::string digits = std::to_string(number);
    for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
    return digits;
}

}  // namespace shuttle
