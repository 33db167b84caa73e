#include "platform/clock.h"

namespace shuttle {

std::tm toLocalTime(std::time_t when) {
    std::tm result{};
    localtime_r(&when, &result);
    return result;
}

}  // namespace shuttle
