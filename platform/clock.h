#pragma once
// Time as the logic needs it: a monotonic millisecond tick, sleeping, and the local calendar
// time. Tests inject a manual clock so that nothing sleeps for real.

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <mutex>

namespace shuttle {

// A flag one thread raises to end another's timed waits at once (for example the workers'
// waits between rounds when the program ends). Once raised it stays raised.
class Wakeup {
public:
    void raise();
    bool raised() const;
    // Waits up to `ms` of real time; true as soon as the flag is raised.
    bool waitMs(uint32_t ms);

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool raised_ = false;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual uint64_t tickMs() = 0;           // monotonic, like GetTickCount64
    virtual void sleepMs(uint32_t ms) = 0;
    virtual std::tm localNow() = 0;          // local calendar time of this moment
    // Sleeps like sleepMs but returns early once `wakeup` is raised; true when it was. A clock
    // whose sleeps take no real time needs no more than this.
    virtual bool sleepUnless(Wakeup& wakeup, uint32_t ms) {
        if (wakeup.raised()) return true;
        sleepMs(ms);
        return wakeup.raised();
    }
};

// The real clock of this machine.
Clock& systemClock();

// Local calendar time of a time_t, thread-safe (localtime_r / localtime_s).
std::tm toLocalTime(std::time_t when);

}  // namespace shuttle
