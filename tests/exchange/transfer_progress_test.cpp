// The progress a transfer shows in the tray icon's tip, against a clock that moves only when told.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "base/utf8.h"
#include "exchange/transfer_progress.h"
#include "support/manual_clock.h"
#include "support/trace_capture.h"

namespace shuttle {
namespace {

using Tips = std::vector<std::string>;

// A tray that notes every tip with its time.
class TimedTray final : public Tray {
public:
    explicit TimedTray(Clock& clock) : clock_(clock) {}
    void setIcon(uint16_t) override {}
    void showBalloon(const std::u16string&, const std::u16string&) override {}
    void setTip(const std::u16string& text) override { tips.push_back({clock_.tickMs(), toUtf8(text)}); }
    void beep(bool) override {}
    void restore() override {}
    std::vector<std::pair<uint64_t, std::string>> tips;  // tick, text

private:
    Clock& clock_;
};

class TransferProgressTest : public ::testing::Test {
protected:
    // `steps` equal steps of `total`, `stepMs` apart; the progress is finished as `completed`.
    void run(uint64_t steps, uint64_t stepMs, uint64_t total, bool completed = true) {
        TransferProgress progress(notifier, clock);
        for (uint64_t step = 1; step <= steps; ++step) this->steps(progress, {{stepMs, step, total}});
        progress.finish(completed);
    }
    // Updates, each {milliseconds after the one before, done, total}.
    void steps(TransferProgress& progress, std::initializer_list<std::array<uint64_t, 3>> updates) {
        for (const auto& [ms, done, total] : updates) {
            clock.advance(ms);
            progress.update(done, total);
        }
    }
    Tips texts() const {
        Tips result;
        for (const auto& tip : tray.tips) result.push_back(tip.second);
        return result;
    }
    std::vector<int> percentages() const {
        std::vector<int> result;
        for (const std::string& text : texts())
            if (text != "Shuttle") result.push_back(std::stoi(text.substr(text.find(' ') + 1)));
        return result;
    }

    testing::TraceCapture trace;
    testing::ManualClock clock;
    Settings settings;
    TimedTray tray{clock};
    Notifier notifier{tray, clock, settings};
};

// A transfer shorter than a second shows nothing; a long one climbs, throttled, to 100 % and
// gives the tip back.
TEST_F(TransferProgressTest, ALongTransferClimbsThrottledToOneHundredAndGivesTheTipBack) {
    run(99, 10, 99);  // 990 ms
    EXPECT_TRUE(tray.tips.empty());
    EXPECT_EQ(notifier.progressText(), u"");

    const uint64_t start = clock.tickMs();
    run(1000, 7, 1000);  // 7 s in steps of 0.1 %
    EXPECT_EQ(texts().back(), "Shuttle");
    EXPECT_GE(tray.tips.front().first - start, kProgressDelayMs) << "nothing before the first second";
    // Ten a second at most: the progress tips stand at least 100 ms apart; only the closing
    // 100 % and the normal tip follow when the transfer ends.
    for (size_t i = 1; i + 2 < tray.tips.size(); ++i)
        EXPECT_GE(tray.tips[i].first - tray.tips[i - 1].first, kProgressIntervalMs) << i;
    EXPECT_LE(tray.tips.size(), 6000 / kProgressIntervalMs + 2);
    EXPECT_GE(tray.tips.size(), 6000 / kProgressIntervalMs - 2) << "every 100 ms while it moves";
    EXPECT_EQ(notifier.progressText(), u"");
}

TEST_F(TransferProgressTest, UpdatesFasterThanTenASecondAreDroppedAndPercentagesNeverGoBackNorRepeat) {
    TransferProgress progress(notifier, clock);
    // 20 and 30 % come too soon; so does the end, which the finish then shows.
    steps(progress, {{1500, 10, 100}, {50, 20, 100}, {49, 30, 100}, {1, 40, 100}, {10, 100, 100}});
    progress.finish(true);
    EXPECT_EQ(texts(), (Tips{"Sending\u2026 10 %", "Sending\u2026 40 %", "Sending\u2026 100 %", "Shuttle"}));

    tray.tips.clear();  // lower or equal counts show nothing; a total of nothing or a count past it is 100 %
    TransferProgress next(notifier, clock);
    steps(next, {{1000, 50, 100}, {200, 40, 100}, {200, 50, 100}, {200, 49, 100}, {200, 51, 100}, {200, 7, 0},
                 {200, 500, 100}});
    EXPECT_EQ(texts(), (Tips{"Sending\u2026 50 %", "Sending\u2026 51 %", "Sending\u2026 100 %"}));
    EXPECT_EQ(notifier.progressText(), u"Sending\u2026 100 %") << "the dialog's status line reads this";
}

TEST_F(TransferProgressTest, AFailedOrAbandonedTransferGivesTheTipBackWithoutOneHundred) {
    run(200, 15, 300, false);  // two thirds in 3 s, then the device falls silent
    EXPECT_EQ(texts().back(), "Shuttle");
    EXPECT_EQ(percentages().back(), 66);

    tray.tips.clear();
    {
        TransferProgress abandoned(notifier, clock);
        steps(abandoned, {{2000, 1, 3}});
    }
    EXPECT_EQ(texts(), (Tips{"Sending\u2026 33 %", "Shuttle"}));
    EXPECT_EQ(notifier.progressText(), u"");
}

}  // namespace
}  // namespace shuttle
