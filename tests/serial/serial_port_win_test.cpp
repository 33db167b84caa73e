// The Win32 serial port against the link simulator. Runs only when tests/wine/test_serial_port.sh
// has mapped two COM ports to the simulator's terminals and named them in SHUTTLE_TEST_COM_A and
// SHUTTLE_TEST_COM_B; elsewhere these tests are skipped.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

#include "core/guid_memory.h"
#include "platform/serial_port.h"
#include "serial/link_port.h"
#include "serial/serial_drivers.h"
#include "support/manual_clock.h"
#include "support/trace_capture.h"

namespace shuttle {
namespace {

using namespace std::chrono;

std::optional<uint32_t> portFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return static_cast<uint32_t>(std::strtoul(value, nullptr, 10));
}

std::u16string portName(uint32_t number) {
    std::string name = "COM" + std::to_string(number);
    return std::u16string(name.begin(), name.end());
}

long msSince(steady_clock::time_point start) { return long(duration_cast<milliseconds>(steady_clock::now() - start).count()); }

// What one computer keeps of the link; the simulator on a loaded machine gets two seconds to
// answer instead of a device's 120 ms.
struct Side {
    Side() { link.answerWait.looks = 200; }
    Settings settings;
    LinkState link;
    GuidMemory memory;
};

class WinSerialPort : public ::testing::Test {
protected:
    void SetUp() override {
        portA = portFromEnvironment("SHUTTLE_TEST_COM_A");
        portB = portFromEnvironment("SHUTTLE_TEST_COM_B");
        if (!portA || !portB) GTEST_SKIP() << "no COM ports mapped to the link simulator";
    }
    bool send(Side& side, const std::u16string& text, const std::string& guid) {
        return sendAsLastSent(side.link, side.memory, systemClock(), text, guid);
    }
    size_t receive(Side& side, std::u16string& out) {
        const SerialReceipt receipt = receiveNewText(side.link, side.memory, side.link.portNumber, systemClock(), out);
        return receipt == SerialReceipt::Text ? out.size() : 0;
    }

    std::optional<uint32_t> portA, portB;
    std::unique_ptr<SerialPorts> ports = makeSystemSerialPorts();
    testing::ManualClock settle;
    testing::TraceCapture trace;
};

TEST_F(WinSerialPort, MappedPortsExistAndOthersDoNot) {
    EXPECT_TRUE(ports->exists(*portA));
    EXPECT_TRUE(ports->exists(*portB));
    EXPECT_FALSE(ports->exists(251));
    EXPECT_FALSE(ports->open(251, kLinkPortSettings));
}

TEST_F(WinSerialPort, TextsTravelBetweenTwoSidesThroughTheDevice) {
    Side sideA, sideB;
    openSelectedLink(sideA.settings, sideA.link, *ports, settle, portName(*portA));
    openSelectedLink(sideB.settings, sideB.link, *ports, settle, portName(*portB));
    ASSERT_EQ(sideA.link.linkConnected.load(), 1);
    ASSERT_EQ(sideB.link.linkConnected.load(), 1);
    // Both sides see the device empty first, so what arrives later is news to them.
    std::u16string out;
    EXPECT_EQ(receive(sideA, out), 0u);
    EXPECT_EQ(receive(sideB, out), 0u);
    EXPECT_EQ(sideB.link.copyReady.load(), 1) << trace.out();

    const std::u16string mixed = u"Hello \u4e2d\u6587 \U0001F600 \r\n\x11\x13 end";
    ASSERT_TRUE(send(sideA, mixed, "{00000001-0000-4000-8000-000000C0FFEE}")) << trace.out();
    EXPECT_EQ(receive(sideB, out), mixed.size()) << trace.out();
    EXPECT_EQ(out, mixed);

    std::u16string long3000;
    for (int i = 0; i < 3000; ++i) long3000.push_back(char16_t(0x20 + i % 0x5F));
    ASSERT_TRUE(send(sideB, long3000, "{00000002-0000-4000-8000-000000C0FFEE}")) << trace.out();
    EXPECT_EQ(receive(sideA, out), 3000u) << trace.out();
    EXPECT_EQ(out, long3000);
    closePortAtExit(sideA.link);
    closePortAtExit(sideB.link);
}

TEST_F(WinSerialPort, AReadOfNothingEndsAtItsTimeOut) {
    std::shared_ptr<SerialPort> port = ports->open(*portA, kLinkPortSettings);
    ASSERT_TRUE(port);
    uint8_t head[4];
    auto start = steady_clock::now();
    EXPECT_EQ(port->read(head, 4), std::optional<size_t>(0));
    EXPECT_GE(msSince(start), 200) << "never before its time-out";
}

TEST_F(WinSerialPort, CloseDuringABlockedReadReleasesThePortOnceTheReadEnds) {
    std::shared_ptr<SerialPort> port = ports->open(*portA, kLinkPortSettings);
    ASSERT_TRUE(port);
    auto reading = std::async(std::launch::async, [&] {
        uint8_t rest[60];
        return port->read(rest, 60);
    });
    port->close();  // during the read or before it: the read ends at its time-out at the latest
    EXPECT_EQ(reading.wait_for(seconds(120)), std::future_status::ready);
    uint8_t byte = 0;
    EXPECT_EQ(port->write(&byte, 1), std::nullopt);
    EXPECT_TRUE(ports->open(*portA, kLinkPortSettings)) << "the handle was released";
}

}  // namespace
}  // namespace shuttle
