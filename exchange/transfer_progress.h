#pragma once
// The progress of one transfer as the user sees it. Once a transfer has run for about a
// second, the tray icon's tip - and through the notifier the dialog's status line - shows
// "Sending… 42 %", at most ten times a second and never going back; when the transfer ends,
// the normal tip returns. Shorter transfers show nothing: their balloon follows at once.

#include <cstdint>
#include <string>

#include "base/progress.h"
#include "core/notifier.h"
#include "platform/clock.h"

namespace shuttle {

constexpr uint64_t kProgressDelayMs = 1000;    // a transfer shorter than this shows no progress
constexpr uint64_t kProgressIntervalMs = 100;  // at most ten updates a second

// "Sending… 42 %".
std::u16string progressText(unsigned percent);

// One per transfer, on the thread that carries it.
class TransferProgress {
public:
    TransferProgress(Notifier& notifier, Clock& clock);
    // Puts the normal tip back when finish() was not called (an abandoned transfer).
    ~TransferProgress();
    TransferProgress(const TransferProgress&) = delete;
    TransferProgress& operator=(const TransferProgress&) = delete;

    // `done` of `total` units (frames, bytes) are carried.
    void update(uint64_t done, uint64_t total);
    // The transfer ended. One that completed after showing progress shows 100 % last; then
    // the normal tip returns. Later calls do nothing.
    void finish(bool completed);
    // update() for the serial link and the store; valid while this object lives.
    ProgressCallback callback();

private:
    void show(unsigned percent, uint64_t now);

    Notifier& notifier_;
    Clock& clock_;
    const uint64_t startTick_;
    uint64_t shownTick_ = 0;
    int shownPercent_ = -1;  // -1: nothing shown yet
    bool finished_ = false;
};

}  // namespace shuttle
