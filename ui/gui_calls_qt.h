#pragma once
// Work the workers hand to the GUI thread, where Qt's clipboard and widgets live. A worker
// waits for its call; once the calls are closed (the program ends), a call not yet begun is
// dropped and its worker goes on at once, so the GUI thread may wait for the workers without
// either waiting for the other.

#include <QObject>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace shuttle {

class GuiCalls {
public:
    // Made on the GUI thread, which then runs the calls.
    GuiCalls();
    ~GuiCalls();
    GuiCalls(const GuiCalls&) = delete;
    GuiCalls& operator=(const GuiCalls&) = delete;

    // Runs `work` on the GUI thread (at once when called there) and waits until it has run.
    // False when it was dropped: the calls are closed. `work` may use what the caller holds.
    bool run(const std::function<void()>& work);
    // Drops every call not yet begun, now and later.
    void close();

private:
    struct Call;
    void runOnGui(const std::shared_ptr<Call>& call);

    QObject target_;  // lives on the GUI thread; queued calls to it die with it
    std::mutex mutex_;
    std::condition_variable finished_;
    bool closed_ = false;
};

}  // namespace shuttle
