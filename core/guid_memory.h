#pragma once
// The two GUID memories of a computer - the last payload it sent and the last it received -
// and the one rule both links use to decide whether a payload is new.

#include <mutex>
#include <string>

namespace shuttle {

class GuidMemory {
public:
    void recordSent(const std::string& guid);
    void recordReceived(const std::string& guid);
    std::string lastSent() const;
    std::string lastReceived() const;
    bool hasReceived() const;

    // New: a valid GUID that is neither the last one received nor this side's last one sent,
    // so a side never takes its own payload back.
    bool isNew(const std::string& guid) const;

private:
    mutable std::mutex mutex_;
    std::string lastSent_;
    std::string lastReceived_;
};

}  // namespace shuttle
