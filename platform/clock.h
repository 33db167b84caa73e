#pragma once
// Time as the logic needs it: a monotonic millisecond tick, sleeping, and the local calendar
// time. Tests inject a manual clock so that nothing sleeps for real.

#include <cstdint>
#include <ctime>

namespace shuttle {

class Clock {
public:
    virtual ~Clock() = default;
    virtual uint64_t tickMs() = 0;           // monotonic, like GetTickCount64
    virtual void sleepMs(uint32_t ms) = 0;
    virtual std::tm localNow() = 0;          // local calendar time of this moment
};

// The real clock of this machine.
Clock& systemClock();

// Local calendar time of a time_t, thread-safe (localtime_r / localtime_s).
std::tm toLocalTime(std::time_t when);

}  // namespace shuttle
