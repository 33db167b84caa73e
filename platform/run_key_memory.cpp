#include "platform/run_key_memory.h"

namespace shuttle {

std::optional<std::u16string> MemoryRunKey::read(const std::u16string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = values_.find(name);
    if (found == values_.end()) return std::nullopt;
    return found->second;
}

bool MemoryRunKey::write(const std::u16string& name, const std::u16string& command) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (refuse_) return false;
    values_[name] = command;
    return true;
}

bool MemoryRunKey::remove(const std::u16string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (refuse_) return values_.count(name) == 0;
    values_.erase(name);
    return true;
}

void MemoryRunKey::setNonText(const std::u16string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    values_[name] = std::nullopt;
}

void MemoryRunKey::refuseChanges(bool refuse) {
    std::lock_guard<std::mutex> lock(mutex_);
    refuse_ = refuse;
}

bool MemoryRunKey::has(const std::u16string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return values_.count(name) != 0;
}

}  // namespace shuttle
