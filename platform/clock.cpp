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
    std::tm localNow() override { return toLocalTime(std::time(nullptr)); }
};

}  // namespace

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace shuttle
