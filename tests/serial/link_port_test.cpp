#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "core/link_state.h"
#include "core/settings.h"
#include "serial/link_port.h"
#include "support/manual_clock.h"
#include "support/scripted_serial_port.h"

namespace shuttle {
namespace {

using Lines = std::vector<std::string>;

class LinkPort : public ::testing::Test {
protected:
    Settings settings;
    LinkState link;
    testing::ManualClock clock;
    testing::ScriptedSerialPorts ports;
    std::shared_ptr<testing::ScriptedSerialPort> com7 = std::make_shared<testing::ScriptedSerialPort>();
    std::shared_ptr<testing::ScriptedSerialPort> com10 = std::make_shared<testing::ScriptedSerialPort>();

    LinkPort() {
        ports.add(7, com7);
        ports.add(10, com10);
    }
    // Connected, port open, open attempted, copy-ready, paste-ready.
    std::vector<int> flags() const {
        return {link.linkConnected.load(), link.portOpen.load(), link.openAttempted.load(), link.copyReady.load(),
                link.pasteReady.load()};
    }
};

TEST_F(LinkPort, OpeningTheSelectedPortAppliesTheLinkSettingsAndWaitsForTheDeviceOrFails) {
    link.copyReady = 1;
    link.pasteReady = 1;
    const uint64_t start = clock.tickMs();
    openSelectedLink(settings, link, ports, clock, u"COM7");
    EXPECT_EQ(ports.opened, std::vector<uint32_t>{7});
    const SerialPortSettings &used = ports.lastSettings, &device = kLinkPortSettings;
    EXPECT_TRUE(used.baudRate == device.baudRate && used.dataBits == device.dataBits && used.parity == device.parity &&
                used.stopBits == device.stopBits && std::memcmp(&used.timeouts, &device.timeouts, sizeof used.timeouts) == 0);
    EXPECT_EQ(clock.tickMs() - start, 500u);
    EXPECT_EQ(link.port.get(), com7);
    EXPECT_EQ(link.portNumber.load(), 7u);
    EXPECT_EQ(settings.comPort.load(), kNoComPort);  // the saved choice changes only when the port works
    EXPECT_EQ(flags(), (std::vector<int>{1, 1, 1, 0, 0}));

    // A failed open leaves no port in use and the saved choice as it was.
    settings.comPort = 3;
    openSelectedLink(settings, link, ports, clock, u"COM3");  // absent or held by another program
    EXPECT_EQ(ports.opened, (std::vector<uint32_t>{7, 3}));
    EXPECT_FALSE(link.port);
    EXPECT_EQ(link.portNumber.load(), kNoComPort);
    EXPECT_EQ(settings.comPort.load(), 3u);
    EXPECT_EQ(flags(), (std::vector<int>{0, 0, 1, 0, 0})) << "the old port was closed first";
    EXPECT_EQ(com7->log(), (Lines{"cancel", "close"}));
}

TEST_F(LinkPort, AnEntryThatDoesNotParseOpensTheSavedPortAndNothingSelectedFails) {
    openSelectedLink(settings, link, ports, clock, u"");
    EXPECT_EQ(ports.opened, std::vector<uint32_t>{kNoComPort});
    EXPECT_EQ(link.openAttempted.load(), 1);
    EXPECT_EQ(link.linkConnected.load(), 0);

    ports.opened.clear();
    settings.comPort = 10;
    openSelectedLink(settings, link, ports, clock, u"Bluetooth");
    EXPECT_EQ(ports.opened, std::vector<uint32_t>{10});
    EXPECT_EQ(link.port.get(), com10);
    for (const char16_t* text : {u"COM", u"COMx", u"com7", u"COM99999999999"}) {
        settings.comPort = 10;
        openSelectedLink(settings, link, ports, clock, text);
        EXPECT_EQ(ports.opened.back(), 10u);
    }
}

TEST_F(LinkPort, TheEmptyMarkHoldsOnlyForThePortItWasSeenOn) {
    openSelectedLink(settings, link, ports, clock, u"COM7");
    link.seenEmptyPort = 7;
    closePort(link);
    openSelectedLink(settings, link, ports, clock, u"COM7");  // the same port again, as after a resume
    EXPECT_EQ(link.seenEmptyPort.load(), 7u);
    openSelectedLink(settings, link, ports, clock, u"COM10");
    EXPECT_EQ(link.seenEmptyPort.load(), kNoComPort);

    link.seenEmptyPort = 10;
    openSelectedLink(settings, link, ports, clock, u"COM10");
    EXPECT_EQ(link.seenEmptyPort.load(), 10u);
    openSelectedLink(settings, link, ports, clock, u"COM3");  // fails: nothing is watched
    EXPECT_EQ(link.seenEmptyPort.load(), kNoComPort);
}

TEST_F(LinkPort, UsbModeOnlyRecordsTheSelectedDrive) {
    settings.setFlag(kFlagUsbMode, true);
    openSelectedLink(settings, link, ports, clock, u"Stick (E:)");
    EXPECT_TRUE(ports.opened.empty());
    EXPECT_EQ(settings.storeSelection.get(), u"Stick (E:)");
    EXPECT_EQ(link.openAttempted.load(), 1);
    EXPECT_EQ(link.linkConnected.load(), 0);
    openSelectedLink(settings, link, ports, clock, std::u16string(2000, u'x'));
    EXPECT_EQ(settings.storeSelection.get().size(), 1023u);
}

TEST_F(LinkPort, ANewOpenWaitsForATransferInProgressOnTheOldPort) {
    openSelectedLink(settings, link, ports, clock, u"COM7");
    std::atomic<bool> opened{false};
    std::thread supervisor;
    {
        std::lock_guard<std::mutex> transfer(link.mutex);
        supervisor = std::thread([&] {
            openSelectedLink(settings, link, ports, clock, u"COM10");
            opened = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        EXPECT_FALSE(opened.load());
        EXPECT_TRUE(com7->log().empty());  // not closed under the transfer
    }
    supervisor.join();
    EXPECT_EQ(com7->log(), (Lines{"cancel", "close"}));
    EXPECT_EQ(link.port.get(), com10);
}

TEST_F(LinkPort, TheExitCloseDoesNotWaitForTheLinkMutex) {
    link.portOpen = 1;
    closePort(link);  // with nothing open, only the flag changes
    EXPECT_EQ(link.portOpen.load(), 0);
    openSelectedLink(settings, link, ports, clock, u"COM7");
    std::lock_guard<std::mutex> transfer(link.mutex);  // the receive thread is mid-transfer
    closePortAtExit(link);
    EXPECT_EQ(link.autoProbe.load(), 0);
    EXPECT_EQ(link.portNumber.load(), kNoComPort);
    EXPECT_EQ(link.portOpen.load(), 0);
    EXPECT_FALSE(link.port);
    EXPECT_EQ(com7->log(), (Lines{"cancel", "close"}));
}

}  // namespace
}  // namespace shuttle
