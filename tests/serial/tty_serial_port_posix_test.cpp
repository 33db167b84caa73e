#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <numeric>
#include <thread>

#include "platform/tty_serial_ports.h"
#include "platform/unique_fd.h"

namespace shuttle {
namespace {

using namespace std::chrono;
using Bytes = std::vector<uint8_t>;

// A pseudo-terminal whose master side plays the device.
struct Pty {
    Pty() {
        master.reset(posix_openpt(O_RDWR | O_NOCTTY));
        grantpt(master.get());
        unlockpt(master.get());
        char name[64];
        ptsname_r(master.get(), name, sizeof name);
        slavePath = name;
    }
    void send(const Bytes& bytes) { ASSERT_EQ(::write(master.get(), bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    Bytes receive(size_t size) {
        Bytes bytes(size);
        size_t got = 0;
        auto end = steady_clock::now() + seconds(2);
        while (got < size && steady_clock::now() < end) {
            ssize_t n = ::read(master.get(), bytes.data() + got, size - got);
            if (n > 0) got += size_t(n);
        }
        bytes.resize(got);
        return bytes;
    }
    UniqueFd master;
    std::string slavePath;
};

long msSince(steady_clock::time_point start) { return long(duration_cast<milliseconds>(steady_clock::now() - start).count()); }

class TtySerialPort : public ::testing::Test {
protected:
    void SetUp() override {
        ports.mapPort(5, pty.slavePath);
        port = ports.open(5, kLinkPortSettings);
        ASSERT_TRUE(port);  // 256000 baud is accepted on a pseudo-terminal
    }
    // With a read that would wait a whole minute: a read that ends within seconds was ended by
    // what the test did, never by its time-out, however slow the machine.
    void reopenPatient() {
        port->close();
        SerialPortSettings settings = kLinkPortSettings;
        settings.timeouts.readTotalConstantMs = 60000;
        port = ports.open(5, settings);
        ASSERT_TRUE(port);
    }
    Pty pty;
    TtySerialPorts ports;
    std::shared_ptr<SerialPort> port;
};

TEST_F(TtySerialPort, OnlyMappedTerminalsOpenAndOnlyOnceAtATime) {
    EXPECT_TRUE(ports.exists(5));
    EXPECT_FALSE(ports.exists(6));
    EXPECT_FALSE(ports.open(6, kLinkPortSettings));
    EXPECT_FALSE(ports.open(5, kLinkPortSettings)) << "a second open of a port in use";
    port->close();
    EXPECT_TRUE(ports.open(5, kLinkPortSettings));
    ports.mapPort(7, "/nonexistent/tty");
    EXPECT_FALSE(ports.exists(7));
    ports.mapPort(8, "/dev/null");  // not a terminal
    EXPECT_TRUE(ports.exists(8));
    EXPECT_FALSE(ports.open(8, kLinkPortSettings));
    ports.mapPort(5, "");
    EXPECT_FALSE(ports.exists(5));
}

TEST_F(TtySerialPort, EveryByteValuePassesUnchangedBothWays) {
    Bytes all(256);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(port->write(all.data(), all.size()), std::optional<size_t>(256));
    EXPECT_EQ(pty.receive(256), all);
    pty.send(all);
    Bytes got(256);
    EXPECT_EQ(port->read(got.data(), 256), std::optional<size_t>(256));
    EXPECT_EQ(got, all);
}

// A read of nothing ends at the total time-out, a partial answer at the interval time-out.
TEST_F(TtySerialPort, ReadsEndAtTheirTimeOuts) {
    uint8_t buffer[60];
    auto start = steady_clock::now();
    EXPECT_EQ(port->read(buffer, 4), std::optional<size_t>(0));
    EXPECT_GE(msSince(start), 235);  // 200 + 4 x 10 ms, never less

    reopenPatient();
    pty.send({1, 2, 3, 4, 5});
    start = steady_clock::now();
    EXPECT_EQ(port->read(buffer, 60), std::optional<size_t>(5));
    EXPECT_LT(msSince(start), 30000) << "ended by the interval, not the minute-long total";
}

TEST_F(TtySerialPort, TheErrorStateTellsTheInputQueueAndPurgeEmptiesIt) {
    pty.send({9, 9, 9, 9, 9, 9, 9});
    std::optional<SerialErrorState> state;
    for (auto end = steady_clock::now() + seconds(10); steady_clock::now() < end;)  // the bytes cross the terminal
        if ((state = port->clearErrors()) && state->inputQueue == 7) break;
    ASSERT_TRUE(state);
    EXPECT_EQ(state->errors, 0u);
    EXPECT_EQ(state->inputQueue, 7u);
    EXPECT_TRUE(port->purge());
    EXPECT_EQ(port->clearErrors()->inputQueue, 0u);
    EXPECT_TRUE(port->flush());
}

TEST_F(TtySerialPort, CancelEndsAReadInProgressButNotTheNextOneAndCloseEndsEveryCall) {
    reopenPatient();
    auto readInBackground = [&] {
        return std::async(std::launch::async, [&] {
            uint8_t buffer[60];
            return port->read(buffer, 60);
        });
    };
    // A cancel before the read begins does not touch it: cancel until the read has ended,
    // which only a cancel of the read in progress does within its minute.
    auto reading = readInBackground();
    while (reading.wait_for(milliseconds(10)) != std::future_status::ready) port->cancel();
    EXPECT_EQ(reading.get(), std::nullopt);

    port->cancel();  // with nothing running
    pty.send({7, 7, 7, 7});
    uint8_t head[4];
    EXPECT_EQ(port->read(head, 4), std::optional<size_t>(4));

    // A close during a read (or before it) ends it at once, and later calls fail.
    reading = readInBackground();
    port->close();
    EXPECT_EQ(reading.wait_for(seconds(30)), std::future_status::ready);
    uint8_t byte = 0;
    EXPECT_EQ(port->write(&byte, 1), std::nullopt);
    EXPECT_EQ(port->read(&byte, 1), std::nullopt);
    EXPECT_EQ(port->clearErrors(), std::nullopt);
    EXPECT_FALSE(port->purge());
    EXPECT_TRUE(ports.open(5, kLinkPortSettings)) << "the terminal was released";
}

TEST_F(TtySerialPort, AVanishedDeviceMakesEveryCallFail) {
    reopenPatient();
    pty.master.reset();
    uint8_t bytes[16] = {};
    EXPECT_EQ(port->write(bytes, 16), std::nullopt);
    EXPECT_EQ(port->clearErrors(), std::nullopt);
    auto start = steady_clock::now();
    EXPECT_EQ(port->read(bytes, 4), std::nullopt);
    EXPECT_LT(msSince(start), 30000) << "failed at once, not after the minute-long time-out";
}

}  // namespace
}  // namespace shuttle
