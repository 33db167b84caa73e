#pragma once
// The signals that ask a program to end - SIGTERM (the session ends, or someone asks), SIGINT
// (Ctrl+C) and SIGHUP (its terminal went) - taken as readable events on a descriptor, so that
// the program ends through its own orderly stop instead of in the middle of a store write.

#include "platform/unique_fd.h"

namespace shuttle {

class StopSignals {
public:
    // Blocks the three signals for this thread and every thread it starts later: make it before
    // any other thread. They stay blocked (a signal that comes while the program ends changes
    // nothing more).
    StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Readable once a stop signal waits (QSocketNotifier::Read); -1 when the system refused.
    int fd() const { return signals_.get(); }
    // Takes the waiting signals; true when at least one was there.
    bool taken();

private:
    UniqueFd signals_;
};

}  // namespace shuttle
