#include "platform/clock.h"

namespace shuttle {

std::tm toLocalTime(std::time_t when) {
    std::tm result{};
    localtime_s(&result, &when);
    return result;
}

}  // namespace shuttle
