#include "app/computer.h"

#include <system_error>

#include "base/print.h"
#include "serial/link_port.h"

namespace shuttle {

// What exists only while the computer runs with a user interface.
struct Computer::Running {
    Running(Computer& computer, const ComputerFrontEnd& frontEnd)
        : notifier(frontEnd.tray, computer.seams_.clock, computer.settings_, computer.seams_.logger),
          context{computer.settings_,   computer.link_,          computer.memory_,      notifier,
                  frontEnd.clipboard,   computer.seams_.clock,   computer.seams_.files, computer.seams_.guids,
                  computer.copyBuffer_, computer.seams_.formatIds, computer.stop_},
          connections(computer.settings_, computer.link_, computer.seams_.ports,
                      {computer.seams_.devices, computer.seams_.storeDrives}, computer.seams_.files, frontEnd.clipboard,
                      computer.seams_.clock),
          supervisor(computer.settings_, computer.link_, computer.requests_, frontEnd.panel, connections, notifier,
                     computer.seams_.clock, computer.stop_),
          receiver(context),
          transfers(context) {}

    Notifier notifier;
    ExchangeContext context;
    LinkConnections connections;
    LinkSupervisor supervisor;
    ReceiveLoop receiver;
    TransferWorker transfers;
};

Computer::Computer(const ComputerSeams& seams) : seams_(seams) {}

Computer::~Computer() { stop(); }

template <class Body>
void Computer::launch(Body body) {
    ++activeWorkers_;
    try {
        threads_.emplace_back([this, body] {
            body();
            --activeWorkers_;
        });
    } catch (...) {
        --activeWorkers_;
        throw;
    }
}

bool Computer::start(const ComputerFrontEnd& frontEnd, const ComputerOptions& options) {
    if (running_) return false;
    running_ = std::make_unique<Running>(*this, frontEnd);
    Running& parts = *running_;
    // Listening from the first moment: a copy made as soon as the link is ready is seen. A
    // refused registration is tried again by the supervisor.
    link_.setListening(frontEnd.clipboard.listen(true));
    try {
        if (options.workers & kSupervisorWorker) launch([&parts] { runLinkSupervisor(parts.supervisor); });
        if (options.workers & kReceiveWorker)
            launch([&parts, period = options.pollPeriodMs] { parts.receiver.run(period); });
        if (options.workers & kTransferWorker) launch([&parts] { parts.transfers.run(); });
    } catch (const std::system_error& error) {
        printErr("A worker thread could not start: %s\n", error.what());
        stop();
        return false;
    }
    return true;
}

void Computer::requestStop() {
    stop_.raise();
    if (running_) running_->transfers.stop();
    closePortAtExit(link_);
}

void Computer::stop() {
    requestStop();
    for (std::thread& thread : threads_)
        if (thread.joinable()) thread.join();
    threads_.clear();
}

bool Computer::onClipboardChange() {
    busyLooks_ = 0;
    lookPending_ = false;
    return lookAtClipboard();
}

bool Computer::onClipboardLookAgain() { return lookPending_ && lookAtClipboard(); }

bool Computer::onClipboardCheck() {
    if (!running_ || stop_.raised() || lookPending_) return false;
    const uint32_t now = running_->context.clipboard.sequenceNumber();
    const bool unread = handledSequence_ != now;
    const bool missed = unread && unnotified_ == now;
    const bool moved = checkedSequence_ && *checkedSequence_ != now;
    unnotified_ = unread && moved ? std::optional<uint32_t>(now) : std::nullopt;
    checkedSequence_ = now;
    if (!missed) return false;
    printOut("A clipboard change came without its notice; looking at it now\n");
    return onClipboardChange();
}

// One look at the current change. A change is read once: the system may notify one change
// twice, and the content of a handled change is not sent again.
bool Computer::lookAtClipboard() {
    lookPending_ = false;
    if (!running_ || stop_.raised()) return false;
    ExchangeContext& context = running_->context;
    try {
        CopyJob job;
        const CopyRead read = readCopy(context, job, handledSequence_);
        if (read == CopyRead::Busy) {
            lookPending_ = ++busyLooks_ < kCopyLooks;
            if (!lookPending_) reportClipboardBusy(context);
            return lookPending_;
        }
        handledSequence_ = job.sequence;
        if (read == CopyRead::Taken && acceptCopy(context)) running_->transfers.submit(std::move(job));
    } catch (const std::bad_alloc&) {
        reportCopyFailed(context, "Not enough memory");
    } catch (const std::exception& error) {
        reportCopyFailed(context, error.what());
    }
    return false;
}

void Computer::onTaskbarCreated() {
    if (running_) running_->notifier.restoreTrayIcon();
}

void Computer::onResume() { requests_.reopenLink = 1; }

void Computer::onDevicesChanged() { requests_.devicesChanged = 1; }

void Computer::pollOnce() {
    if (running_) running_->receiver.pollOnce();
}

bool Computer::carryWaitingCopy() { return running_ && running_->transfers.carryWaitingJob(); }

bool Computer::waitForTransfers(uint32_t ms) { return !running_ || running_->transfers.waitUntilIdle(ms); }

uint64_t Computer::transfersCarried() const { return running_ ? running_->transfers.carried() : 0; }

bool Computer::pastePending() const { return running_ && running_->receiver.pastePending(); }

Notifier* Computer::notifier() { return running_ ? &running_->notifier : nullptr; }

}  // namespace shuttle
