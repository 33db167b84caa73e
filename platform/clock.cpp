#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace shuttle {
namespace {

class SystemClock final : public Clock {
public:
    uint64_t tickMs() override {
        using namespace std::chrono;
        return static_cast<uint64_t>(
            duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
    void sleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    bool sleepUnless(Wakeup& wakeup, uint32_t ms) override { return wakeup.waitMs(ms); }
    std::tm localNow() override { return toLocalTime(std::time(nullptr)); }
};

}  // namespace

void Wakeup::raise() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        raised_ = true;
    }
    changed_.notify_all();
}

bool Wakeup::raised() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return raised_;
}

bool Wakeup::waitMs(uint32_t ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return raised_; });
}

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace shuttle
