#include "exchange/transfer_progress.h"

#include <string>

namespace shuttle {
namespace {

unsigned percentOf(uint64_t done, uint64_t total) {
    if (total == 0) return 0;
    if (done >= total) return 100;
    // In floating point: done * 100 could overflow for the largest totals.
    return static_cast<unsigned>(static_cast<double>(done) * 100.0 / static_cast<double>(total));
}

}  // namespace

std::u16string progressText(unsigned percent) {
    const std::string number = std::to_string(percent);
    return u"Sending\u2026 " + std::u16string(number.begin(), number.end()) + u" %";
}

TransferProgress::TransferProgress(Notifier& notifier, Clock& clock)
    : notifier_(notifier), clock_(clock), startTick_(clock.tickMs()) {}

TransferProgress::~TransferProgress() { finish(false); }

void TransferProgress::show(unsigned percent, uint64_t now) {
    shownPercent_ = static_cast<int>(percent);
    shownTick_ = now;
    notifier_.showProgress(progressText(percent));
}

void TransferProgress::update(uint64_t done, uint64_t total) {
    if (finished_) return;
    const unsigned percent = percentOf(done, total);
    if (static_cast<int>(percent) <= shownPercent_) return;  // never back, never the same again
    const uint64_t now = clock_.tickMs();
    if (now - startTick_ < kProgressDelayMs) return;
    if (shownPercent_ >= 0 && now - shownTick_ < kProgressIntervalMs) return;
    show(percent, now);
}

void TransferProgress::finish(bool completed) {
    if (finished_) return;
    finished_ = true;
    if (shownPercent_ < 0) return;  // nothing was shown: nothing to take back
    if (completed && shownPercent_ < 100) show(100, clock_.tickMs());
    notifier_.endProgress();
}

ProgressCallback TransferProgress::callback() {
    return [this](uint64_t done, uint64_t total) { update(done, total); };
}

}  // namespace shuttle
