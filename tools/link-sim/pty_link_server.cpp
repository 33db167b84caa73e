#include "tools/link-sim/pty_link_server.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace linksim {
namespace {

// A frame whose rest does not follow within this time was cut off; its start is dropped.
constexpr auto kFrameGap = std::chrono::milliseconds(100);

std::string hex(const Bytes& bytes, size_t limit = 16) {
    std::string text;
    char byte[4];
    for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
        std::snprintf(byte, sizeof byte, "%02X ", bytes[i]);
        text += byte;
    }
    if (bytes.size() > limit) text += "...";
    return text;
}

std::string describeAnswer(const Bytes& answer) {
    if (answer.size() == 4 && answer[3] == 3) return answer[1] == 0xAA ? "alive" : "status";
    if (answer.size() == 4) return "ack";
    return "frame " + std::to_string(answer[2]) + "/" + std::to_string(answer[1]);
}

// Replaces the symlink in one step, so a reader never finds it missing while it moves.
bool pointLinkAt(const std::string& link, const std::string& target) {
    const std::string temporary = link + ".new";
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0) return false;
    return ::rename(temporary.c_str(), link.c_str()) == 0;
}

}  // namespace

PtyLinkServer::PtyLinkServer(std::vector<std::string> linkPaths) : device_(linkPaths.size()), ports_(linkPaths.size()) {
    for (size_t i = 0; i < linkPaths.size(); ++i) ports_[i].linkPath = std::move(linkPaths[i]);
}

PtyLinkServer::~PtyLinkServer() { stop(); }

void PtyLinkServer::setLog(Log log, bool verbose) {
    std::lock_guard<std::mutex> lock(mutex_);
    log_ = std::move(log);
    verbose_ = verbose;
}

void PtyLinkServer::log(const std::string& line) {
    if (log_) log_(line);
}

void PtyLinkServer::trace(const std::string& line) {
    if (verbose_) log(line);
}

bool PtyLinkServer::openPort(size_t port, std::string& error) {
    Port& p = ports_[port];
    shuttle::UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    char name[128];
    if (!master || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0 ||
        ::ptsname_r(master.get(), name, sizeof name) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    shuttle::UniqueFd slave(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    termios mode{};
    if (!slave || ::tcgetattr(slave.get(), &mode) != 0) {
        error = std::string("cannot open ") + name + ": " + std::strerror(errno);
        return false;
    }
    ::cfmakeraw(&mode);  // binary-clean until the program sets its own mode
    ::tcsetattr(slave.get(), TCSANOW, &mode);
    ::fcntl(master.get(), F_SETFL, ::fcntl(master.get(), F_GETFL) | O_NONBLOCK);
    if (!pointLinkAt(p.linkPath, name)) {
        error = "cannot create the symlink " + p.linkPath + ": " + std::strerror(errno);
        return false;
    }
    p.master = std::move(master);
    p.slave = std::move(slave);
    p.terminalPath = name;
    log(portName(port) + " " + p.linkPath + " -> " + p.terminalPath);
    return true;
}

void PtyLinkServer::closePort(size_t port) {
    Port& p = ports_[port];
    ::unlink(p.linkPath.c_str());
    p.master.reset();
    p.slave.reset();
    p.terminalPath.clear();
    device_.resetPort(port);
}

bool PtyLinkServer::start(std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_) return true;
    int wake[2];
    if (::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    wakeRead_.reset(wake[0]);
    wakeWrite_.reset(wake[1]);
    for (size_t port = 0; port < ports_.size(); ++port) {
        if (!openPort(port, error)) {
            for (size_t opened = 0; opened < port; ++opened) closePort(opened);
            return false;
        }
    }
    running_ = true;
    thread_ = std::thread([this] { run(); });
    return true;
}

void PtyLinkServer::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) return;
        running_ = false;
    }
    wake();
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t port = 0; port < ports_.size(); ++port) closePort(port);
}

void PtyLinkServer::wake() {
    const char byte = 1;
    [[maybe_unused]] ssize_t ignored = ::write(wakeWrite_.get(), &byte, 1);
}

DeviceOptions PtyLinkServer::options() {
    std::lock_guard<std::mutex> lock(mutex_);
    return device_.options();
}

void PtyLinkServer::setOptions(const DeviceOptions& options) {
    std::lock_guard<std::mutex> lock(mutex_);
    device_.setOptions(options);
}

void PtyLinkServer::setAnswerDelayMs(uint32_t ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    delayMs_ = ms;
}

void PtyLinkServer::clearMessage() {
    std::lock_guard<std::mutex> lock(mutex_);
    device_.clearMessage();
}

std::vector<Frame> PtyLinkServer::heldMessage() {
    std::lock_guard<std::mutex> lock(mutex_);
    return device_.heldMessage();
}

void PtyLinkServer::dropPort(size_t port, uint32_t afterFrames, uint32_t downMs) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Port& p = ports_.at(port);
        p.dropArmed = true;
        p.dropAtFrames = device_.messageFrames(port) + afterFrames;
        p.downMs = downMs;
    }
    wake();
}

bool PtyLinkServer::portUp(size_t port) {
    std::lock_guard<std::mutex> lock(mutex_);
    return ports_.at(port).master.valid();
}

bool PtyLinkServer::waitUntilUp(size_t port, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return ports_.at(port).master.valid(); });
}

std::string PtyLinkServer::terminalPath(size_t port) {
    std::lock_guard<std::mutex> lock(mutex_);
    return ports_.at(port).terminalPath;
}

void PtyLinkServer::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (running_) {
        std::vector<pollfd> fds{{wakeRead_.get(), POLLIN, 0}};
        std::vector<size_t> owners{ports_.size()};
        for (size_t port = 0; port < ports_.size(); ++port) {
            if (!ports_[port].master) continue;
            fds.push_back({ports_[port].master.get(), POLLIN, 0});
            owners.push_back(port);
        }
        const int waitMs = nextWakeMs(Clock::now());
        lock.unlock();
        ::poll(fds.data(), fds.size(), waitMs);
        lock.lock();
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(wakeRead_.get(), drain, sizeof drain) > 0) {
            }
        }
        for (size_t i = 1; i < fds.size(); ++i)
            if ((fds[i].revents & POLLIN) && ports_[owners[i]].master) serveInput(owners[i]);
        const Clock::time_point now = Clock::now();
        sendDue(now);
        housekeep(now);
    }
}

void PtyLinkServer::serveInput(size_t port) {
    Port& p = ports_[port];
    uint8_t buffer[4096];
    const ssize_t n = ::read(p.master.get(), buffer, sizeof buffer);
    if (n <= 0) return;
    p.lastInput = Clock::now();
    trace(portName(port) + " <- " + std::to_string(n) + " bytes: " + hex(Bytes(buffer, buffer + n)));
    for (Bytes& answer : device_.receive(port, buffer, static_cast<size_t>(n))) {
        trace(portName(port) + " -> " + describeAnswer(answer) + ": " + hex(answer));
        pending_.push_back({p.lastInput + std::chrono::milliseconds(delayMs_), port, std::move(answer)});
    }
}

// Answers leave in order; a port that is down meanwhile loses them, as a line would.
void PtyLinkServer::sendDue(Clock::time_point now) {
    while (!pending_.empty() && pending_.front().due <= now) {
        Pending answer = std::move(pending_.front());
        pending_.pop_front();
        Port& p = ports_[answer.port];
        if (!p.master) continue;
        [[maybe_unused]] ssize_t ignored = ::write(p.master.get(), answer.bytes.data(), answer.bytes.size());
        if (p.dropArmed && device_.messageFrames(answer.port) >= p.dropAtFrames) {
            p.dropArmed = false;
            closePort(answer.port);
            p.comesBack = now + std::chrono::milliseconds(p.downMs);
            log(portName(answer.port) + " dropped");
        }
    }
}

void PtyLinkServer::housekeep(Clock::time_point now) {
    for (size_t port = 0; port < ports_.size(); ++port) {
        Port& p = ports_[port];
        if (p.master && device_.hasPartialInput(port) && now - p.lastInput >= kFrameGap) device_.dropPartialInput(port);
        if (!p.master && p.comesBack != Clock::time_point{} && now >= p.comesBack) {
            p.comesBack = {};
            std::string error;
            if (!openPort(port, error)) log(portName(port) + " cannot come back: " + error);
            changed_.notify_all();
        }
    }
}

int PtyLinkServer::nextWakeMs(Clock::time_point now) const {
    Clock::time_point next = now + std::chrono::seconds(1);
    if (!pending_.empty()) next = std::min(next, pending_.front().due);
    for (size_t port = 0; port < ports_.size(); ++port) {
        const Port& p = ports_[port];
        if (!p.master && p.comesBack != Clock::time_point{}) next = std::min(next, p.comesBack);
        if (p.master && device_.hasPartialInput(port)) next = std::min(next, p.lastInput + kFrameGap);
    }
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
    return ms <= 0 ? 0 : static_cast<int>(ms);
}

}  // namespace linksim
