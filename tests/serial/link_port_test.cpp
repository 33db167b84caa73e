#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "serial/link_port.h"
#include "support/manual_clock.h"
#include "support/scripted_serial_port.h"

namespace shuttle {
namespace {

using Lines = std::vector<std::string>;

class LinkPort : public ::testing::Test {
protected:
    SharedState state;
    testing::ManualClock clock;
    testing::ScriptedSerialPorts ports;
    std::shared_ptr<testing::ScriptedSerialPort> com7 = std::make_shared<testing::ScriptedSerialPort>();
    std::shared_ptr<testing::ScriptedSerialPort> com10 = std::make_shared<testing::ScriptedSerialPort>();

    LinkPort() {
        ports.add(7, com7);
        ports.add(10, com10);
    }
};

TEST_F(LinkPort, OpeningTheSelectedPortAppliesTheLinkSettingsAndWaitsForTheDevice) {
    state.link.copyReady = 1;
    state.link.pasteReady = 1;
    const uint64_t start = clock.tickMs();
    openSelectedLink(state, ports, clock, u"COM7");
    EXPECT_EQ(ports.opened, std::vector<uint32_t>{7});
    const SerialPortSettings& used = ports.lastSettings;
    EXPECT_EQ(used.baudRate, 256000u);
    EXPECT_EQ(used.dataBits, 8);
    EXPECT_EQ(used.parity, SerialParity::None);
    EXPECT_EQ(used.stopBits, SerialStopBits::One);
    EXPECT_EQ(used.timeouts.readIntervalMs, 10u);
    EXPECT_EQ(used.timeouts.readTotalMultiplierMs, 10u);
    EXPECT_EQ(used.timeouts.readTotalConstantMs, 200u);
    EXPECT_EQ(used.timeouts.writeTotalMultiplierMs, 30u);
    EXPECT_EQ(used.timeouts.writeTotalConstantMs, 200u);
    EXPECT_EQ(clock.tickMs() - start, 500u);
    EXPECT_EQ(state.port.get(), com7);
    EXPECT_EQ(state.settings.comPort.load(), 7u);
    EXPECT_EQ(state.link.linkConnected.load(), 1);
    EXPECT_EQ(state.link.portOpen.load(), 1);
    EXPECT_EQ(state.link.openAttempted.load(), 1);
    EXPECT_EQ(state.link.copyReady.load(), 0);
    EXPECT_EQ(state.link.pasteReady.load(), 0);
}

TEST_F(LinkPort, AFailedOpenForgetsThePort) {
    openSelectedLink(state, ports, clock, u"COM7");
    openSelectedLink(state, ports, clock, u"COM3");  // absent or held by another program
    EXPECT_EQ(ports.opened, (std::vector<uint32_t>{7, 3}));
    EXPECT_FALSE(state.port);
    EXPECT_EQ(state.settings.comPort.load(), kNoComPort);
    EXPECT_EQ(state.link.linkConnected.load(), 0);
    EXPECT_EQ(state.link.openAttempted.load(), 1);
    EXPECT_EQ(state.link.portOpen.load(), 0);  // the old port was closed first
    EXPECT_EQ(com7->log(), (Lines{"cancel", "close"}));
}

TEST_F(LinkPort, AnEntryThatDoesNotParseKeepsThePreviousNumber) {
    state.settings.comPort = 10;
    openSelectedLink(state, ports, clock, u"Bluetooth");
    EXPECT_EQ(ports.opened, std::vector<uint32_t>{10});
    EXPECT_EQ(state.port.get(), com10);
    for (const char16_t* text : {u"COM", u"COMx", u"com7", u"COM99999999999"}) {
        state.settings.comPort = 10;
        openSelectedLink(state, ports, clock, text);
        EXPECT_EQ(ports.opened.back(), 10u);
    }
}

TEST_F(LinkPort, WithNothingSelectedTheOpenFails) {
    openSelectedLink(state, ports, clock, u"");
    EXPECT_EQ(ports.opened, std::vector<uint32_t>{kNoComPort});
    EXPECT_EQ(state.link.openAttempted.load(), 1);
    EXPECT_EQ(state.link.linkConnected.load(), 0);
}

TEST_F(LinkPort, UsbModeOnlyRecordsTheSelectedDrive) {
    state.settings.setFlag(kFlagUsbMode, true);
    openSelectedLink(state, ports, clock, u"Stick (E:)");
    EXPECT_TRUE(ports.opened.empty());
    EXPECT_EQ(state.settings.storeSelection.get(), u"Stick (E:)");
    EXPECT_EQ(state.link.openAttempted.load(), 1);
    EXPECT_EQ(state.link.linkConnected.load(), 0);
    openSelectedLink(state, ports, clock, std::u16string(2000, u'x'));
    EXPECT_EQ(state.settings.storeSelection.get().size(), 1023u);
}

TEST_F(LinkPort, ANewOpenWaitsForATransferInProgressOnTheOldPort) {
    openSelectedLink(state, ports, clock, u"COM7");
    std::atomic<bool> opened{false};
    std::thread supervisor;
    {
        std::lock_guard<std::mutex> transfer(state.linkMutex);
        supervisor = std::thread([&] {
            openSelectedLink(state, ports, clock, u"COM10");
            opened = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_FALSE(opened.load());
        EXPECT_TRUE(com7->log().empty());  // not closed under the transfer
    }
    supervisor.join();
    EXPECT_EQ(com7->log(), (Lines{"cancel", "close"}));
    EXPECT_EQ(state.port.get(), com10);
}

TEST_F(LinkPort, ClosePortWithNothingOpenOnlyClearsTheFlag) {
    state.link.portOpen = 1;
    closePort(state);
    EXPECT_EQ(state.link.portOpen.load(), 0);
}

TEST_F(LinkPort, TheExitCloseDoesNotWaitForTheLinkMutex) {
    openSelectedLink(state, ports, clock, u"COM7");
    std::lock_guard<std::mutex> transfer(state.linkMutex);  // the receive thread is mid-transfer
    closePortAtExit(state);
    EXPECT_EQ(state.link.autoProbe.load(), 0);
    EXPECT_EQ(state.link.portOpen.load(), 0);
    EXPECT_FALSE(state.port);
    EXPECT_EQ(com7->log(), (Lines{"cancel", "close"}));
}

}  // namespace
}  // namespace shuttle
