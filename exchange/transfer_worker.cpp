#include "exchange/transfer_worker.h"

#include <chrono>

namespace shuttle {

void TransferWorker::submit(CopyJob job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_ = std::move(job);
    }
    changed_.notify_all();
}

std::optional<CopyJob> TransferWorker::takeJob(std::unique_lock<std::mutex>& lock, bool wait) {
    if (wait) changed_.wait(lock, [this] { return stopping_ || waiting_.has_value(); });
    if (stopping_ || !waiting_) return std::nullopt;
    std::optional<CopyJob> job = std::move(waiting_);
    waiting_.reset();
    busy_ = true;
    return job;
}

void TransferWorker::finishJob() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        busy_ = false;
        ++carried_;
    }
    changed_.notify_all();
}

void TransferWorker::run() {
    for (;;) {
        std::optional<CopyJob> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            job = takeJob(lock, true);
        }
        if (!job) return;
        carryCopy(context_, *job, copyState_);
        finishJob();
    }
}

bool TransferWorker::carryWaitingJob() {
    std::optional<CopyJob> job;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        job = takeJob(lock, false);
    }
    if (!job) return false;
    carryCopy(context_, *job, copyState_);
    finishJob();
    return true;
}

void TransferWorker::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
}

bool TransferWorker::waitUntilIdle(uint32_t ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !busy_ && !waiting_; });
}

uint64_t TransferWorker::carried() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return carried_;
}

}  // namespace shuttle
