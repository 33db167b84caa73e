#include "core/guid_memory.h"

#include "base/guid_text.h"

namespace shuttle {

void GuidMemory::recordSent(const std::string& guid) {
    std::lock_guard<std::mutex> lock(mutex_);
    lastSent_ = guid;
}

void GuidMemory::recordReceived(const std::string& guid) {
    std::lock_guard<std::mutex> lock(mutex_);
    lastReceived_ = guid;
}

std::string GuidMemory::lastSent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastSent_;
}

std::string GuidMemory::lastReceived() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastReceived_;
}

bool GuidMemory::hasReceived() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !lastReceived_.empty();
}

bool GuidMemory::isNew(const std::string& guid) const {
    if (!isValidGuidText(guid)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    return guid != lastReceived_ && guid != lastSent_;
}

}  // namespace shuttle
