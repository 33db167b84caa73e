#pragma once
// A clock that moves only when told to: sleeping advances it instantly.

#include <atomic>
#include <mutex>

#include "platform/clock.h"

namespace shuttle::testing {

class ManualClock final : public Clock {
public:
    uint64_t tickMs() override { return ticks_.load(); }
    void sleepMs(uint32_t ms) override { ticks_ += ms; }
    std::tm localNow() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return now_;
    }

    void advance(uint64_t ms) { ticks_ += ms; }
    void setLocal(int year, int month, int day, int hour, int minute, int second) {
        std::lock_guard<std::mutex> lock(mutex_);
        now_ = std::tm{};
        now_.tm_year = year - 1900;
        now_.tm_mon = month - 1;
        now_.tm_mday = day;
        now_.tm_hour = hour;
        now_.tm_min = minute;
        now_.tm_sec = second;
    }

private:
    std::atomic<uint64_t> ticks_{1000};
    std::mutex mutex_;
    std::tm now_{};
};

}  // namespace shuttle::testing
