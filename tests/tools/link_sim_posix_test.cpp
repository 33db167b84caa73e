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
constexpr size_t kPortB = 1;

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
    // The receive loop's part, on side B.
    size_t receive() {
        const SerialReceipt receipt = receiveNewText(sideB.link, sideB.memory, sideB.link.portNumber, systemClock(), out);
        return receipt == SerialReceipt::Text ? out.size() : 0;
    }
    std::pair<int, int> readiness() const { return {sideB.link.copyReady.load(), sideB.link.pasteReady.load()}; }

    testing::TraceCapture trace;  // keeps the console quiet
    std::string folder;
    std::unique_ptr<linksim::PtyLinkServer> server;
    bool started = false;
    TtySerialPorts ports;
    testing::ManualClock settle;
    Side sideA, sideB;
    std::u16string out;
    unsigned guids = 0;
};

// A receiver's port dropping mid-read: the message is read again, whole, when the port returns;
// a slow device still counts within the polling window.
TEST_F(LinkThroughSimulator, APortDroppedMidReadRecoversAndLateAnswersCountWithinTheWindow) {
    ASSERT_TRUE(started);
    receive();
    server->dropPort(kPortB, 2, 300);
    ASSERT_TRUE(send(sideA, std::u16string(300, u'r')));
    EXPECT_EQ(receive(), 0u);
    EXPECT_EQ(receive(), 0u);
    EXPECT_EQ(readiness(), std::make_pair(0, 0));

    ASSERT_TRUE(server->waitUntilUp(kPortB, 3s));
    open(sideB, u"COM6");
    EXPECT_EQ(receive(), 300u) << "the interrupted message is read again, whole";
    EXPECT_EQ(out, std::u16string(300, u'r'));
    EXPECT_EQ(readiness(), std::make_pair(1, 1));
    ASSERT_TRUE(send(sideA, u"after the drop"));
    EXPECT_EQ(receive(), 14u);
    EXPECT_EQ(out, u"after the drop");

    // Answers late but within the polling window count; later ones are no answer.
    server->setAnswerDelayMs(60);
    ASSERT_TRUE(send(sideA, u"slow device"));
    EXPECT_EQ(receive(), 11u);
    sideB.link.answerWait = DeviceAnswerWait{};  // the device's own window: 20 ms and ten looks 10 ms apart
    server->setAnswerDelayMs(300);               // past the last look at the queue
    trace.clear();
    EXPECT_EQ(receive(), 0u);
    EXPECT_TRUE(trace.contains("PROBE COM6: no response"));
}

}  // namespace
}  // namespace shuttle
