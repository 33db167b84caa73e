#pragma once
// What the threads know about the link: the flags kept by the connection, the drivers and the
// supervisor, the open serial port, the mutex that serialises every use of the link, and the
// dialog's requests to the supervisor.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "base/guarded.h"
#include "platform/serial_port.h"

namespace shuttle {

// How long the link device is given to answer a request: it needs `settleMs`, then the input
// queue is looked at `looks` times, `lookMs` apart, for the answer's head.
struct DeviceAnswerWait {
    uint32_t settleMs = 20;
    uint32_t lookMs = 10;
    int looks = 10;
};

// COM mode: how long a new message that keeps failing to read whole is read again, from its
// first failure, before it is given up.
constexpr uint64_t kUnreadMessageLimitMs = 30000;

struct LinkState {
    std::atomic<int> portOpen{0};
    std::atomic<int> linkConnected{0};
    std::atomic<int> openAttempted{0};
    std::atomic<int> copyReady{0};
    std::atomic<int> pasteReady{0};
    std::atomic<int> autoProbe{1};

    // Serialises every use of the link: serial frame exchanges, the META data file write and
    // read, and closing the port.
    std::mutex mutex;
    SharedSlot<SerialPort> port;

    // COM mode: the number of the open port, the one the drivers talk to; kNoComPort when none
    // is open. The saved choice (Settings::comPort) may differ: it stays while it is absent.
    std::atomic<uint32_t> portNumber{kNoComPort};
    // COM mode: the port on which a probe found the device holding nothing, so the next message
    // it holds there arrived while this side was running and is not one left over from before
    // the start. Opening another port clears it.
    std::atomic<uint32_t> seenEmptyPort{kNoComPort};
    // COM mode: why the last open of a port failed; None after one succeeded.
    std::atomic<SerialOpenFailure> openFailure{SerialOpenFailure::None};

    // COM mode: the new message whose read failed (a slow or unplugged device, a damaged frame)
    // and that is read again at the next polls, with the tick of its first failure; empty when
    // none. Used by the receive thread under the link mutex.
    struct UnreadMessage {
        std::string guid;
        uint64_t firstFailedTick = 0;
    } unreadMessage;

    // The device's answer time; the device's own figures unless a test gives a simulator that
    // may be starved of the processor more patience. Set before the workers start.
    DeviceAnswerWait answerWait;

    // Sets the ready flags and the clipboard listener's state. The moment both let a copy
    // through - the listener is on and the link can take data - is traced once as "Listening
    // for copies": from then on a copy reaches the link.
    void setReadiness(bool copy, bool paste);
    void setListening(bool on);
    bool listening() const { return listening_.load(); }

private:
    void announce();
    std::mutex announceMutex_;
    std::atomic<bool> listening_{false};
    bool announced_ = false;
};

// Requests from the dialog and the desktop to the supervisor: set to 1 by the window thread,
// cleared when taken.
struct Requests {
    std::atomic<int> modeChange{0};
    std::atomic<int> linkButton{0};
    std::atomic<int> selectionChange{0};
    std::atomic<int> sizeLimit{0};
    std::atomic<int> reopenLink{0};    // the machine woke up: the port may have come back anew
    std::atomic<int> devicesChanged{0};  // a device arrived or left
};

}  // namespace shuttle
