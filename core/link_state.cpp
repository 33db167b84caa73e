#include "core/link_state.h"

#include "base/print.h"

namespace shuttle {

void LinkState::setReadiness(bool copy, bool paste) {
    copyReady = copy ? 1 : 0;
    pasteReady = paste ? 1 : 0;
    announce();
}

void LinkState::setListening(bool on) {
    listening_ = on;
    announce();
}

void LinkState::announce() {
    std::lock_guard<std::mutex> lock(announceMutex_);
    const bool carrying = listening_.load() && copyReady.load() != 0;
    if (carrying && !announced_) printOut("Listening for copies\n");
    announced_ = carrying;
}

}  // namespace shuttle
