#include "platform/stop_signals_linux.h"

#include <signal.h>
#include <sys/signalfd.h>

namespace shuttle {
namespace {

sigset_t stopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

StopSignals::StopSignals() {
    const sigset_t set = stopSignalSet();
    if (pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0) signals_.reset(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
}

bool StopSignals::taken() {
    bool any = false;
    signalfd_siginfo info{};
    while (signals_ && ::read(signals_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) any = true;
    return any;
}

}  // namespace shuttle
