// Both sides of COM mode end to end: two sides (two computers' link state), each with its
// own tty port, talking through the simulated link device on real pseudo-terminals.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "platform/tty_serial_ports.h"
#include "core/guid_memory.h"
#include "serial/link_port.h"
#include "serial/serial_drivers.h"
#include "support/manual_clock.h"
#include "support/trace_capture.h"
#include "tools/link-sim/pty_link_server.h"

namespace shuttle {
namespace {

using namespace std::chrono_literals;

// What one computer keeps of the link. The simulator answers at once, but on a loaded machine
// its thread may wait for the processor longer than a device's answer window: two seconds here.
struct Side {
    Side() { link.answerWait.looks = 200; }
    Settings settings;
    LinkState link;
    GuidMemory memory;
};
constexpr size_t kPortA = 0, kPortB = 1;

class LinkThroughSimulator : public ::testing::Test {
protected:
    LinkThroughSimulator() {
        char pattern[] = "/tmp/link-sim-test-XXXXXX";
        folder = ::mkdtemp(pattern);
        server = std::make_unique<linksim::PtyLinkServer>(std::vector<std::string>{folder + "/comA", folder + "/comB"});
        std::string error;
        started = server->start(error);
        EXPECT_TRUE(started) << error;
        ports.mapPort(5, folder + "/comA");
        ports.mapPort(6, folder + "/comB");
        open(sideA, u"COM5");
        open(sideB, u"COM6");
    }
    ~LinkThroughSimulator() override {
        closePortAtExit(sideA.link);
        closePortAtExit(sideB.link);
        server->stop();
        std::filesystem::remove_all(folder);
    }

    void open(Side& side, const std::u16string& port) {
        openSelectedLink(side.settings, side.link, ports, settle, port);  // the 500 ms settle passes at once
        EXPECT_EQ(side.link.linkConnected.load(), 1);
    }
    // The copy path's part: a fresh GUID, recorded before the send, under the link mutex.
    bool send(Side& side, const std::u16string& text) {
        char guid[40];
        std::snprintf(guid, sizeof guid, "{%08X-0000-4000-8000-%012X}", ++guids, 0xC0FFEEu);
        return sendAsLastSent(side.link, side.memory, systemClock(), text, guid);
    }
    // The receive loop's part.
    size_t receive(Side& side, std::u16string& out) {
        return receiveNewText(side.link, side.memory, side.link.portNumber, systemClock(), out);
    }
    size_t receive(Side& side) {
        std::u16string ignored;
        return receive(side, ignored);
    }
    void setDevice(const std::function<void(linksim::DeviceOptions&)>& change) {
        linksim::DeviceOptions options = server->options();
        change(options);
        server->setOptions(options);
    }
    static std::pair<int, int> readiness(const Side& side) {
        return {side.link.copyReady.load(), side.link.pasteReady.load()};
    }

    testing::TraceCapture trace;  // keeps the console quiet
    std::string folder;
    std::unique_ptr<linksim::PtyLinkServer> server;
    bool started = false;
    TtySerialPorts ports;
    testing::ManualClock settle;
    Side sideA, sideB;
    unsigned guids = 0;
};

TEST_F(LinkThroughSimulator, ACorruptedFrameIsNotPastedButReadAgain) {
    ASSERT_TRUE(started);
    receive(sideB);
    setDevice([](linksim::DeviceOptions& o) { o.corruptRead = 2; });
    ASSERT_TRUE(send(sideA, std::u16string(200, u'c')));
    EXPECT_EQ(receive(sideB), 0u);
    EXPECT_TRUE(trace.contains("The message is read again at the next poll"));
    setDevice([](linksim::DeviceOptions& o) { o.corruptRead = -1; });
    std::u16string out;
    EXPECT_EQ(receive(sideB, out), 200u);
    EXPECT_EQ(out, std::u16string(200, u'c'));
    ASSERT_TRUE(send(sideA, u"next"));
    EXPECT_EQ(receive(sideB), 4u);
}

// A sender's port dropping mid-message, then a receiver's mid-read: each side recovers when its
// port returns.
TEST_F(LinkThroughSimulator, APortDroppedMidMessageRecoversWhenItReturns) {
    ASSERT_TRUE(started);
    receive(sideB);
    server->dropPort(kPortA, 3, 300);
    EXPECT_FALSE(send(sideA, std::u16string(3000, u'd')));
    EXPECT_EQ(receive(sideB), 0u);  // the half-written message never became the held one
    EXPECT_EQ(readiness(sideB), std::make_pair(1, 1));
    EXPECT_EQ(receive(sideA), 0u);
    EXPECT_EQ(readiness(sideA), std::make_pair(0, 0));

    ASSERT_TRUE(server->waitUntilUp(kPortA, 3s));
    open(sideA, u"COM5");  // what the supervisor's search does
    EXPECT_EQ(receive(sideA), 0u);
    EXPECT_EQ(readiness(sideA), std::make_pair(1, 1));
    const std::u16string text(3000, u'e');
    ASSERT_TRUE(send(sideA, text));
    std::u16string out;
    EXPECT_EQ(receive(sideB, out), 3000u);
    EXPECT_EQ(out, text);

    server->dropPort(kPortB, 2, 300);
    ASSERT_TRUE(send(sideA, std::u16string(300, u'r')));
    EXPECT_EQ(receive(sideB), 0u);
    EXPECT_EQ(receive(sideB), 0u);
    EXPECT_EQ(readiness(sideB), std::make_pair(0, 0));

    ASSERT_TRUE(server->waitUntilUp(kPortB, 3s));
    open(sideB, u"COM6");
    EXPECT_EQ(receive(sideB, out), 300u) << "the interrupted message is read again, whole";
    EXPECT_EQ(out, std::u16string(300, u'r'));
    EXPECT_EQ(readiness(sideB), std::make_pair(1, 1));
    ASSERT_TRUE(send(sideA, u"after the drop"));
    EXPECT_EQ(receive(sideB, out), 14u);
    EXPECT_EQ(out, u"after the drop");
}

// Answers late but within the polling window count; later ones are no answer.
TEST_F(LinkThroughSimulator, LateAnswersWithinThePollingWindowStillCount) {
    ASSERT_TRUE(started);
    receive(sideB);
    server->setAnswerDelayMs(60);
    ASSERT_TRUE(send(sideA, u"slow device"));
    EXPECT_EQ(receive(sideB), 11u);
    sideB.link.answerWait = DeviceAnswerWait{};  // the device's own window: 20 ms and ten looks 10 ms apart
    server->setAnswerDelayMs(300);               // past the last look at the queue
    EXPECT_EQ(receive(sideB), 0u);
    EXPECT_TRUE(trace.contains("PROBE COM6: no response"));
}

}  // namespace
}  // namespace shuttle
