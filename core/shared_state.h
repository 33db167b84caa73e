#pragma once
// Everything the three threads (window, link supervisor, receive loop) share, in one object.
// Two instances in one process behave as two independent computers, which is how the tests
// run an exchange end to end. Flags are atomics; strings and the port are guarded by their
// own small locks so that a reader always gets a whole value.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace shuttle {

constexpr uint32_t kNoComPort = 0xFFFFFFFFu;
constexpr uint32_t kDefaultFlags = 5;            // show notifications + start in tray
constexpr uint32_t kDefaultSizeLimit = 10485760; // 10 MiB

enum SettingsFlag : uint32_t {
    kFlagShowNotifications = 1,
    kFlagPlaySound = 2,
    kFlagStartInTray = 4,
    kFlagEnableLogging = 8,
    kFlagUsbMode = 16,
};

// A value of string type read and written whole under its own lock.
template <class Text>
class GuardedText {
public:
    Text get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_;
    }
    void set(Text value) {
        std::lock_guard<std::mutex> lock(mutex_);
        value_ = std::move(value);
    }
    bool empty() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_.empty();
    }
    bool equals(const Text& other) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_ == other;
    }

private:
    mutable std::mutex mutex_;
    Text value_;
};

// A shared object published whole: readers take their own reference, so a close on one thread
// never frees an object another thread is still using.
template <class T>
class SharedSlot {
public:
    std::shared_ptr<T> get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_;
    }
    void set(std::shared_ptr<T> value) {
        std::lock_guard<std::mutex> lock(mutex_);
        value_ = std::move(value);
    }
    std::shared_ptr<T> take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::move(value_);
    }
    explicit operator bool() const { return get() != nullptr; }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<T> value_;
};

// The four persistent settings (registry values "Flags", "Com", "Usb", "Max").
struct Settings {
    std::atomic<uint32_t> flags{kDefaultFlags};
    std::atomic<uint32_t> comPort{kNoComPort};
    GuardedText<std::u16string> storeSelection;  // display text of the store drive, "... (E:)"
    std::atomic<uint32_t> sizeLimit{kDefaultSizeLimit};

    bool has(uint32_t flag) const { return (flags.load() & flag) != 0; }
    void setFlag(uint32_t flag, bool on) {
        if (on)
            flags.fetch_or(flag);
        else
            flags.fetch_and(~flag);
    }
    bool usbMode() const { return has(kFlagUsbMode); }
};

// Link state of the serial port or store drive, kept by the connection, drivers and supervisor.
struct LinkFlags {
    std::atomic<int> portOpen{0};
    std::atomic<int> linkConnected{0};
    std::atomic<int> openAttempted{0};
    std::atomic<int> copyReady{0};
    std::atomic<int> pasteReady{0};
    std::atomic<int> autoProbe{1};
};

// Requests from the dialog to the supervisor: set to 1 by the window thread, cleared when taken.
struct Requests {
    std::atomic<int> modeChange{0};
    std::atomic<int> linkButton{0};
    std::atomic<int> selectionChange{0};
    std::atomic<int> sizeLimit{0};
};

class SerialPort;  // the open link port, see platform/serial_port.h
class Logger;      // see log/logger.h
class SettingsStore;  // see platform/settings_store.h

struct SharedState {
    Settings settings;
    LinkFlags link;
    Requests requests;

    std::atomic<int> running{1};              // cleared when the main window is destroyed
    std::atomic<int> mainDialogReady{0};      // set once the main dialog exists
    std::atomic<uint64_t> lastIconChangeTick{0};  // 0 = no icon change pending

    // Serialises every use of the link: serial frame exchanges, the META data file write and
    // read, and closing the port.
    std::mutex linkMutex;
    SharedSlot<SerialPort> port;

    GuardedText<std::string> lastSentGuid;
    GuardedText<std::string> lastReceivedGuid;
    std::atomic<uint32_t> expectedCrc{0};
    // COM mode: a probe has found the device holding nothing, so the next message it holds
    // arrived while this side was running and is not one left over from before the start.
    std::atomic<int> linkSeenEmpty{0};

    Logger* logger = nullptr;                // the process's logger; null drops log entries
    SettingsStore* settingsStore = nullptr;  // where saveSettings writes; null skips saving
};

}  // namespace shuttle
