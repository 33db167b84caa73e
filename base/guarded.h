#pragma once
// Values several threads share, each read and written whole under a small lock of its own.

#include <memory>
#include <mutex>

namespace shuttle {

// A value of string type read and written whole under its own lock.
template <class Text>
class GuardedText {
public:
    Text get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_;
    }
    void set(Text value) {
        std::lock_guard<std::mutex> lock(mutex_);
        value_ = std::move(value);
    }
    bool empty() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_.empty();
    }
    bool equals(const Text& other) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_ == other;
    }

private:
    mutable std::mutex mutex_;
    Text value_;
};

// A shared object published whole: readers take their own reference, so a close on one thread
// never frees an object another thread is still using.
template <class T>
class SharedSlot {
public:
    std::shared_ptr<T> get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_;
    }
    void set(std::shared_ptr<T> value) {
        std::lock_guard<std::mutex> lock(mutex_);
        value_ = std::move(value);
    }
    std::shared_ptr<T> take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::move(value_);
    }
    explicit operator bool() const { return get() != nullptr; }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<T> value_;
};

}  // namespace shuttle
