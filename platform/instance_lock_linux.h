#pragma once
// One running program per user, as the named mutex does on Windows: an exclusive lock on a file
// in $XDG_RUNTIME_DIR (else in the state folder), held while this object lives and let go by
// the system however the process ends.

#include <string>

#include "platform/unique_fd.h"
#include "platform/user_folders_linux.h"

namespace shuttle {

class InstanceLock {
public:
    enum class State {
        Held,         // this process is the one
        HeldElsewhere,  // another process holds it: this one should end (with status 0)
        Unavailable,  // the lock file cannot be made: the program runs without the rule
    };

    explicit InstanceLock(const std::string& path);
    State state() const { return state_; }

private:
    UniqueFd file_;
    State state_ = State::Unavailable;
};

// "$XDG_RUNTIME_DIR/shuttle.lock", else "<state home>/shuttle/shuttle.lock"; "" when neither
// folder is known.
std::string instanceLockPath(const EnvironmentLookup& environment = processEnvironment);

}  // namespace shuttle
