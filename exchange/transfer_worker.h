#pragma once
// The transfer worker: the one thread that sends texts and writes the store, so that the
// window thread only reads the clipboard and hands the copy over. The device and the drive
// keep only the latest payload anyway, so a copy that arrives while another is carried
// replaces any copy still waiting: the newest content wins.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>

#include "exchange/copy_path.h"

namespace shuttle {

class TransferWorker {
public:
    explicit TransferWorker(ExchangeContext& context) : context_(context) {}

    // Window thread: queues the job in place of any job still waiting.
    void submit(CopyJob job);
    // The thread body: carries jobs until stop() is called.
    void run();
    // Ends run() once the job in hand, if any, is finished or abandoned.
    void stop();

    // Carries the waiting job, if any, on the calling thread (for callers without the thread).
    bool carryWaitingJob();
    // Whether no job waits and none is being carried; waits up to `ms` for it.
    bool waitUntilIdle(uint32_t ms);
    // How many jobs have been carried to the end (sent, stored or refused).
    uint64_t carried() const;

private:
    std::optional<CopyJob> takeJob(std::unique_lock<std::mutex>& lock, bool wait);
    void finishJob();

    ExchangeContext& context_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<CopyJob> waiting_;
    bool busy_ = false;
    bool stopping_ = false;
    uint64_t carried_ = 0;
    CopyPathState copyState_;  // used only by the thread carrying a job
};

}  // namespace shuttle
