#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/io_gate.h"
#include "platform/tty_serial_ports.h"
#include "platform/unique_fd.h"

namespace shuttle {

bool setCustomTtyRate(int fd, uint32_t baudRate);  // tty_rate_posix.cpp

namespace {

using SteadyClock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// A deadline of a read or write; none when both of its time-out values are 0 (wait forever,
// as the Win32 time-outs mean).
class Deadline {
public:
    Deadline(uint32_t multiplierMs, uint32_t constantMs, size_t size)
        : endless_(multiplierMs == 0 && constantMs == 0),
          end_(SteadyClock::now() + Milliseconds(uint64_t(multiplierMs) * size + constantMs)) {}
    // Milliseconds left for poll(): -1 = endless, 0 = expired.
    int remainingMs() const { return endless_ ? -1 : msUntil(end_); }

    static int msUntil(SteadyClock::time_point when) {
        auto left = std::chrono::ceil<Milliseconds>(when - SteadyClock::now()).count();
        return left <= 0 ? 0 : left > 3600000 ? 3600000 : static_cast<int>(left);
    }

private:
    bool endless_;
    SteadyClock::time_point end_;
};

int shorterWait(int a, int b) {
    if (a < 0) return b;
    if (b < 0) return a;
    return a < b ? a : b;
}

bool isPseudoTerminal(int fd) {
    char name[64];
    return ttyname_r(fd, name, sizeof name) == 0 && std::strncmp(name, "/dev/pts/", 9) == 0;
}

speed_t standardRate(uint32_t baudRate) {
    switch (baudRate) {
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        case 230400: return B230400;
        case 460800: return B460800;
        case 921600: return B921600;
        default: return B0;
    }
}

tcflag_t dataBitsFlag(uint8_t dataBits) {
    switch (dataBits) {
        case 5: return CS5;
        case 6: return CS6;
        case 7: return CS7;
        default: return CS8;
    }
}

// Raw mode: no line editing, echo, signals or translation; reads never block in the driver
// (the time-outs are kept by poll()).
bool applyLineSettings(int fd, const SerialPortSettings& settings) {
    termios mode{};
    if (tcgetattr(fd, &mode) != 0) return false;
    cfmakeraw(&mode);
    mode.c_cflag |= CLOCAL | CREAD;
    mode.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    mode.c_cflag |= dataBitsFlag(settings.dataBits);
    if (settings.parity != SerialParity::None) mode.c_cflag |= PARENB;
    if (settings.parity == SerialParity::Odd) mode.c_cflag |= PARODD;
    if (settings.stopBits != SerialStopBits::One) mode.c_cflag |= CSTOPB;
    mode.c_iflag &= ~(IXON | IXOFF | IXANY);
    mode.c_cc[VMIN] = 0;
    mode.c_cc[VTIME] = 0;
    speed_t rate = standardRate(settings.baudRate);
    if (rate != B0) cfsetspeed(&mode, rate);
    if (tcsetattr(fd, TCSANOW, &mode) != 0) return false;
    if (rate != B0 || setCustomTtyRate(fd, settings.baudRate)) return true;
    return isPseudoTerminal(fd);  // a pseudo-terminal has no line rate to set
}

// A tty in non-blocking mode whose reads and writes keep the Win32 time-out rules with poll().
// cancel() wakes a waiting operation through a pipe; the gate defers the close to it.
class TtySerialPort final : public SerialPort {
public:
    TtySerialPort(UniqueFd fd, UniqueFd wakeRead, UniqueFd wakeWrite, const SerialTimeouts& limits)
        : fd_(std::move(fd)), wakeRead_(std::move(wakeRead)), wakeWrite_(std::move(wakeWrite)), limits_(limits) {}
    ~TtySerialPort() override { close(); }

    std::optional<size_t> write(const uint8_t* data, size_t size) override {
        IoGatePass pass(gate_, [this] { release(); });
        if (!pass.entered()) return std::nullopt;
        forgetOldCancels();
        Deadline deadline(limits_.writeTotalMultiplierMs, limits_.writeTotalConstantMs, size);
        size_t sent = 0;
        while (sent < size) {
            ssize_t n = ::write(fd_.get(), data + sent, size - sent);
            if (n > 0) {
                sent += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) return sent > 0 ? std::optional<size_t>(sent) : std::nullopt;
            Wait wait = waitFor(POLLOUT, deadline.remainingMs());
            if (wait == Wait::Cancelled || wait == Wait::Gone) return std::nullopt;
            if (wait == Wait::TimedOut) break;
        }
        return sent;
    }

    std::optional<size_t> read(uint8_t* buffer, size_t size) override {
        IoGatePass pass(gate_, [this] { release(); });
        if (!pass.entered()) return std::nullopt;
        forgetOldCancels();
        Deadline deadline(limits_.readTotalMultiplierMs, limits_.readTotalConstantMs, size);
        SteadyClock::time_point lastByte{};
        size_t got = 0;
        while (got < size) {
            int waitMs = deadline.remainingMs();
            if (got > 0 && limits_.readIntervalMs > 0)
                waitMs = shorterWait(waitMs, Deadline::msUntil(lastByte + Milliseconds(limits_.readIntervalMs)));
            if (waitMs == 0) break;
            Wait wait = waitFor(POLLIN, waitMs);
            if (wait == Wait::Cancelled) return std::nullopt;
            if (wait == Wait::TimedOut) continue;  // the limits are checked at the top
            ssize_t n = ::read(fd_.get(), buffer + got, size - got);
            if (n > 0) {
                got += static_cast<size_t>(n);
                lastByte = SteadyClock::now();
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                return got > 0 ? std::optional<size_t>(got) : std::nullopt;  // the line is gone
            }
        }
        return got;
    }

    bool purge() override {
        IoGatePass pass(gate_, [this] { release(); });
        return pass.entered() && tcflush(fd_.get(), TCIOFLUSH) == 0;
    }

    // A tty reports no line errors here; a hung-up one cannot be asked at all.
    std::optional<SerialErrorState> clearErrors() override {
        IoGatePass pass(gate_, [this] { release(); });
        if (!pass.entered()) return std::nullopt;
        pollfd probe{fd_.get(), POLLIN, 0};
        if (::poll(&probe, 1, 0) < 0 || (probe.revents & (POLLHUP | POLLERR | POLLNVAL))) return std::nullopt;
        int waiting = 0;
        if (ioctl(fd_.get(), FIONREAD, &waiting) != 0) return std::nullopt;
        return SerialErrorState{0, static_cast<uint32_t>(waiting)};
    }

    bool flush() override {
        IoGatePass pass(gate_, [this] { release(); });
        return pass.entered() && tcdrain(fd_.get()) == 0;
    }

    void cancel() override {
        IoGatePass pass(gate_, [this] { release(); });
        if (!pass.entered()) return;
        const char wake = 1;
        [[maybe_unused]] ssize_t ignored = ::write(wakeWrite_.get(), &wake, 1);
    }

    void close() override {
        if (gate_.isShut()) return;
        cancel();
        if (gate_.shut()) release();
    }

private:
    enum class Wait { Ready, TimedOut, Cancelled, Gone };

    Wait waitFor(short events, int timeoutMs) {
        pollfd fds[2] = {{fd_.get(), events, 0}, {wakeRead_.get(), POLLIN, 0}};
        int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0) return errno == EINTR ? Wait::TimedOut : Wait::Gone;
        if (ready == 0) return Wait::TimedOut;
        if (fds[1].revents & POLLIN) return Wait::Cancelled;
        if ((fds[0].revents & events) == 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))) return Wait::Gone;
        return Wait::Ready;
    }

    // A cancel that came while nothing was running must not end the next operation.
    void forgetOldCancels() {
        char drain[64];
        while (::read(wakeRead_.get(), drain, sizeof drain) > 0) {
        }
    }

    void release() {
        fd_.reset();
        wakeRead_.reset();
        wakeWrite_.reset();
    }

    UniqueFd fd_;
    UniqueFd wakeRead_;
    UniqueFd wakeWrite_;
    SerialTimeouts limits_;
    IoGate gate_;
};

}  // namespace

namespace {

SerialOpenFailure openFailureOf(int error) {
    switch (error) {
        case EACCES:
        case EPERM: return SerialOpenFailure::NoPermission;
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR: return SerialOpenFailure::Absent;
        case EBUSY:
        case EWOULDBLOCK: return SerialOpenFailure::Busy;
        default: return SerialOpenFailure::Other;
    }
}

std::shared_ptr<SerialPort> failOpen(SerialOpenFailure failure, SerialOpenFailure* why) {
    if (why != nullptr) *why = failure;
    return nullptr;
}

thread_local SerialOpenFailure lastTableOpenFailure = SerialOpenFailure::None;

}  // namespace

std::shared_ptr<SerialPort> openTty(const std::string& path, const SerialPortSettings& settings,
                                    SerialOpenFailure* why) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return failOpen(openFailureOf(errno), why);
    if (!isatty(fd.get())) return failOpen(SerialOpenFailure::Refused, why);
    // Windows opens a COM port for one user only; an advisory lock gives the same rule here.
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return failOpen(openFailureOf(errno), why);
    if (tcdrain(fd.get()) != 0) return failOpen(openFailureOf(errno), why);
    if (!applyLineSettings(fd.get(), settings)) return failOpen(SerialOpenFailure::Refused, why);
    int wake[2];
    if (pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) return failOpen(SerialOpenFailure::Other, why);
    if (why != nullptr) *why = SerialOpenFailure::None;
    return std::make_shared<TtySerialPort>(std::move(fd), UniqueFd(wake[0]), UniqueFd(wake[1]), settings.timeouts);
}

void TtySerialPorts::mapPort(uint32_t number, const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (path.empty())
        paths_.erase(number);
    else
        paths_[number] = path;
}

std::string TtySerialPorts::pathOf(uint32_t number) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = paths_.find(number);
    return found == paths_.end() ? std::string() : found->second;
}

std::shared_ptr<SerialPort> TtySerialPorts::open(uint32_t number, const SerialPortSettings& settings) {
    std::string path = pathOf(number);
    if (path.empty()) return failOpen(SerialOpenFailure::Absent, &lastTableOpenFailure);
    return openTty(path, settings, &lastTableOpenFailure);
}

SerialOpenFailure TtySerialPorts::lastOpenFailure() { return lastTableOpenFailure; }

bool TtySerialPorts::exists(uint32_t number) {
    std::string path = pathOf(number);
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

}  // namespace shuttle
