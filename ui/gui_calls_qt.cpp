#include "ui/gui_calls_qt.h"

#include <QThread>

namespace shuttle {

struct GuiCalls::Call {
    enum class State { Waiting, Running, Done, Dropped };
    std::function<void()> work;
    State state = State::Waiting;
};

GuiCalls::GuiCalls() = default;

GuiCalls::~GuiCalls() { close(); }

bool GuiCalls::run(const std::function<void()>& work) {
    if (QThread::currentThread() == target_.thread()) {
        work();
        return true;
    }
    auto call = std::make_shared<Call>();
    call->work = work;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return false;
    }
    QMetaObject::invokeMethod(&target_, [this, call] { runOnGui(call); }, Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(mutex_);
    // A call the GUI thread has begun is waited for: it ends, as the GUI thread runs it.
    finished_.wait(lock, [&] { return call->state == Call::State::Done || (closed_ && call->state == Call::State::Waiting); });
    if (call->state == Call::State::Done) return true;
    call->state = Call::State::Dropped;
    return false;
}

void GuiCalls::runOnGui(const std::shared_ptr<Call>& call) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (call->state != Call::State::Waiting) return;
        call->state = Call::State::Running;
    }
    call->work();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        call->state = Call::State::Done;
    }
    finished_.notify_all();
}

void GuiCalls::close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    finished_.notify_all();
}

}  // namespace shuttle
