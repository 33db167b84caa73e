#pragma once
// A clock that moves only when told to: sleeping advances it instantly. It can raise a wakeup
// once it reaches a given tick, as a program ending at that time would.

#include <atomic>
#include <mutex>

#include "platform/clock.h"

namespace shuttle::testing {

class ManualClock final : public Clock {
public:
    uint64_t tickMs() override { return ticks_.load(); }
    void sleepMs(uint32_t ms) override {
        if ((ticks_ += ms) >= raiseAt_ && raised_ != nullptr) raised_->raise();
    }
    std::tm localNow() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return now_;
    }

    void advance(uint64_t ms) { ticks_ += ms; }
    void raiseAt(Wakeup& wakeup, uint64_t tick) {
        raised_ = &wakeup;
        raiseAt_ = tick;
    }
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
    Wakeup* raised_ = nullptr;
    uint64_t raiseAt_ = 0;
    std::mutex mutex_;
    std::tm now_{};
};

}  // namespace shuttle::testing
