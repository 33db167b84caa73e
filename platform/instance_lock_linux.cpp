#include "platform/instance_lock_linux.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace shuttle {

InstanceLock::InstanceLock(const std::string& path) {
    if (path.empty()) return;
    makeFolders(path.substr(0, path.rfind('/')));
    file_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!file_) return;
    if (::flock(file_.get(), LOCK_EX | LOCK_NB) == 0)
        state_ = State::Held;
    else if (errno == EWOULDBLOCK)
        state_ = State::HeldElsewhere;
}

std::string instanceLockPath(const EnvironmentLookup& environment) {
    const std::string runtime = runtimeFolder(environment);
    if (!runtime.empty()) return runtime + "/shuttle.lock";
    const std::string state = stateHome(environment);
    return state.empty() ? std::string() : state + "/shuttle/shuttle.lock";
}

}  // namespace shuttle
