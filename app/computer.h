#pragma once
// One computer: its settings, link state, GUID memory and notifier, the exchange built on
// them, and the three workers - link supervisor, receive loop and transfer worker. The
// program, the exchange tests and the benchmarks all build a computer this way. The workers
// are joined before the computer goes, so nothing they use can vanish under them.

#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "app/link_connections.h"
#include "app/link_supervisor.h"
#include "core/guid_memory.h"
#include "core/link_state.h"
#include "core/notifier.h"
#include "core/settings.h"
#include "exchange/receive_loop.h"
#include "exchange/transfer_worker.h"
#include "log/logger.h"
#include "payload/format_catalogue.h"
#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/device_query.h"
#include "platform/file_system.h"
#include "platform/guid_source.h"
#include "platform/serial_port.h"
#include "platform/settings_store.h"
#include "platform/store_drive_list.h"
#include "platform/tray.h"
#include "ui/link_panel.h"

namespace shuttle {

// The platform seams a computer is built from; they must outlive it.
struct ComputerSeams {
    Clock& clock;
    FileSystem& files;
    GuidSource& guids;
    SerialPorts& ports;
    DeviceQuery& devices;
    const ClipboardFormatIds& formatIds;
    Logger* logger = nullptr;  // the daily log; null drops its entries
    StoreDriveList* storeDrives = nullptr;  // the drives to offer; null: found through `devices`
};

// The parts the user interface makes with the main window; they must outlive the workers.
struct ComputerFrontEnd {
    Clipboard& clipboard;
    Tray& tray;
    LinkPanel& panel;
};

enum ComputerWorker : unsigned {
    kSupervisorWorker = 1,
    kReceiveWorker = 2,
    kTransferWorker = 4,
    kAllWorkers = 7,
};

constexpr uint32_t kCopyRetryMs = 50;
constexpr int kCopyLooks = 20;
constexpr uint32_t kClipboardCheckMs = 1000;

struct ComputerOptions {
    unsigned workers = kAllWorkers;        // which threads start() runs
    uint32_t pollPeriodMs = kPollPeriodMs;  // the receive loop's period
};

class Computer {
public:
    explicit Computer(const ComputerSeams& seams);
    ~Computer();
    Computer(const Computer&) = delete;
    Computer& operator=(const Computer&) = delete;

    Settings& settings() { return settings_; }
    LinkState& link() { return link_; }
    Requests& requests() { return requests_; }
    GuidMemory& memory() { return memory_; }

    // Wires the exchange to the user interface's parts and starts the chosen workers. False
    // when a thread could not be started; the ones already running are stopped again.
    bool start(const ComputerFrontEnd& frontEnd, const ComputerOptions& options = {});
    // Asks every worker to end: raises the stop (ending their waits at once), closes the port
    // (ending a serial exchange in progress) and ends a store copy at its next file or chunk,
    // publishing nothing. Returns at once; the workers return within a moment.
    void requestStop();
    // Whether every started worker has returned.
    bool workersFinished() const { return activeWorkers_.load() == 0; }
    // requestStop, then joins the workers (a thread that may be sent messages by them should
    // answer those meanwhile, then call this once workersFinished()).
    void stop();

    // Window thread: a clipboard change reads the copy and hands it to the transfer worker.
    // True when another program held the clipboard: call onClipboardLookAgain after
    // kCopyRetryMs. Each change gets up to kCopyLooks looks, and makes one transfer at most.
    bool onClipboardChange();
    // Window thread: the timer's look at a change that met a busy clipboard; nothing when that
    // change was handled meanwhile. True when the clipboard is still busy.
    bool onClipboardLookAgain();
    // Window thread, every kClipboardCheckMs: a change whose notice never came (a system may
    // drop one under load) is looked at once its sequence number has moved and stayed unread
    // through one more check. What the clipboard held before the first check is never sent.
    // True as onClipboardChange.
    bool onClipboardCheck();
    // Window thread: the desktop's events.
    void onTaskbarCreated();
    void onResume();
    void onDevicesChanged();

    // For callers that drive the exchange without its threads (tests, benchmarks).
    void pollOnce();
    bool carryWaitingCopy();
    bool waitForTransfers(uint32_t ms);
    uint64_t transfersCarried() const;
    bool pastePending() const;
    Notifier* notifier();

private:
    struct Running;
    template <class Body>
    void launch(Body body);

    ComputerSeams seams_;
    Settings settings_;
    LinkState link_;
    Requests requests_;
    GuidMemory memory_;
    Wakeup stop_;
    CopyBuffer copyBuffer_;
    std::unique_ptr<Running> running_;
    std::vector<std::thread> threads_;
    std::atomic<int> activeWorkers_{0};
    bool lookAtClipboard();
    int busyLooks_ = 0;          // looks at the current clipboard change that found it busy
    bool lookPending_ = false;   // the current change met a busy clipboard and waits for a look
    std::optional<uint32_t> handledSequence_;  // the clipboard content last read
    std::optional<uint32_t> checkedSequence_;  // the sequence number at the last check
    std::optional<uint32_t> unnotified_;       // moved at the last check, and not read then
};

}  // namespace shuttle
