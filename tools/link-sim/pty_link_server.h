#pragma once
// Serves a LinkDevice on pseudo-terminals, one per port, each reachable through a stable
// symlink (the terminal behind it changes when a port is dropped and comes back). Runs its own
// thread; every control call is thread-safe and takes effect at once.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/unique_fd.h"
#include "tools/link-sim/link_device.h"

namespace linksim {

class PtyLinkServer {
public:
    using Log = std::function<void(const std::string&)>;

    explicit PtyLinkServer(std::vector<std::string> linkPaths);
    ~PtyLinkServer();
    PtyLinkServer(const PtyLinkServer&) = delete;
    PtyLinkServer& operator=(const PtyLinkServer&) = delete;

    // Creates the terminals and symlinks and starts serving; false with `error` set on failure.
    bool start(std::string& error);
    // Stops serving, closes the terminals and removes the symlinks.
    void stop();

    // Status lines ("A /tmp/x/comA -> /dev/pts/7", dropped, back) and, when `verbose`, every
    // frame and answer.
    void setLog(Log log, bool verbose);

    DeviceOptions options();
    void setOptions(const DeviceOptions& options);
    void setAnswerDelayMs(uint32_t ms);
    void clearMessage();
    std::vector<Frame> heldMessage();
    // After `afterFrames` more message frames on `port`, the port disappears (its terminal is
    // closed and its symlink removed) and comes back on a new terminal `downMs` later.
    void dropPort(size_t port, uint32_t afterFrames, uint32_t downMs);
    bool portUp(size_t port);
    // Waits until `port` is up; false when `timeout` passed first.
    bool waitUntilUp(size_t port, std::chrono::milliseconds timeout);
    std::string terminalPath(size_t port);
    size_t portCount() const { return ports_.size(); }
    static std::string portName(size_t port) { return std::string(1, char('A' + port)); }

private:
    using Clock = std::chrono::steady_clock;
    struct Port {
        std::string linkPath;
        std::string terminalPath;
        shuttle::UniqueFd master;
        shuttle::UniqueFd slave;  // kept open so the master never sees a hang-up between users
        Clock::time_point lastInput{};
        bool dropArmed = false;
        uint64_t dropAtFrames = 0;
        uint32_t downMs = 0;
        Clock::time_point comesBack{};
    };
    struct Pending {
        Clock::time_point due;
        size_t port;
        Bytes bytes;
    };

    bool openPort(size_t port, std::string& error);
    void closePort(size_t port);
    void run();
    void serveInput(size_t port);
    void sendDue(Clock::time_point now);
    void housekeep(Clock::time_point now);
    int nextWakeMs(Clock::time_point now) const;
    void wake();
    void log(const std::string& line);
    void trace(const std::string& line);

    std::mutex mutex_;
    std::condition_variable changed_;
    LinkDevice device_;
    std::vector<Port> ports_;
    std::deque<Pending> pending_;
    uint32_t delayMs_ = 0;
    Log log_;
    bool verbose_ = false;
    bool running_ = false;
    shuttle::UniqueFd wakeRead_, wakeWrite_;
    std::thread thread_;
};

}  // namespace linksim
