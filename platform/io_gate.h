#pragma once
// Lets one thread close a handle that another thread may be blocked on. Operations enter and
// leave the gate; close() shuts it. Whoever is last out of a shut gate releases the handle,
// so a close never waits for a read to reach its time-out and a handle is never released
// under a running operation.

#include <mutex>

namespace shuttle {

class IoGate {
public:
    // False when the gate is shut: the operation must fail without touching the handle.
    bool enter() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (shut_) return false;
        ++users_;
        return true;
    }
    // True when the caller was the last user of a shut gate and must release the handle now.
    bool leave() {
        std::lock_guard<std::mutex> lock(mutex_);
        --users_;
        return shut_ && users_ == 0 && claim();
    }
    // Shuts the gate; true when nobody is inside and the caller must release the handle now.
    bool shut() {
        std::lock_guard<std::mutex> lock(mutex_);
        shut_ = true;
        return users_ == 0 && claim();
    }
    bool isShut() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return shut_;
    }

private:
    bool claim() {
        if (released_) return false;
        released_ = true;
        return true;
    }
    mutable std::mutex mutex_;
    int users_ = 0;
    bool shut_ = false;
    bool released_ = false;
};

// Holds the gate for the length of one operation; the last one out of a shut gate calls
// `release`.
template <class Release>
class IoGatePass {
public:
    IoGatePass(IoGate& gate, Release release) : gate_(gate), release_(release), entered_(gate.enter()) {}
    ~IoGatePass() {
        if (entered_ && gate_.leave()) release_();
    }
    IoGatePass(const IoGatePass&) = delete;
    IoGatePass& operator=(const IoGatePass&) = delete;
    bool entered() const { return entered_; }

private:
    IoGate& gate_;
    Release release_;
    bool entered_;
};

}  // namespace shuttle
