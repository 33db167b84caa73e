// What the user is told about the serial link, through a computer built as the program builds
// one, over a scripted device: a send the device did not store, a message that never reads whole.
#include <gtest/gtest.h>

#include <utility>

#include "serial/link_port.h"
#include "serial/link_protocol.h"
#include "support/manual_clock.h"
#include "support/scripted_serial_port.h"
#include "support/test_computer.h"
#include "support/trace_capture.h"

namespace shuttle {
namespace {

using testing::Reply;
using Events = std::vector<std::string>;

class SerialOutcomes : public ::testing::Test {
protected:
    SerialOutcomes() {
        ports.add(4, port);
        openSelectedLink(side.computer.settings(), side.computer.link(), ports, clock, u"COM4");
        side.computer.link().setReadiness(true, true);
        side.computer.settings().flags = kFlagShowNotifications;
        side.computer.memory().recordReceived("{7C9E6679-7425-40DE-944B-E07FC1F90AE7}");
        EXPECT_TRUE(side.start(ComputerOptions{0}));
    }

    testing::TraceCapture trace;
    testing::ManualClock clock;
    testing::ScriptedSerialPorts ports;
    std::shared_ptr<testing::ScriptedSerialPort> port = std::make_shared<testing::ScriptedSerialPort>();
    testing::TestComputer side{'E', "/tmp", ports, clock};
};

TEST_F(SerialOutcomes, ANoisyDeviceDuringASendGivesTransferInterruptedNeverCopySuccessful) {
    // 189 frames and the check, each answered with noise that is never a refusal.
    for (int answer = 0; answer < 190; ++answer) port->script({Reply::Write::Accept, testing::Bytes(64, 0x5A)});
    side.clipboard.userCopiesText(std::u16string(3000, u'\u4e2d'));
    EXPECT_FALSE(side.computer.onClipboardChange());
    EXPECT_TRUE(side.computer.carryWaitingCopy());
    const Events events = side.tray.events();  // the progress in the tip, then the outcome
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(Events(events.end() - 2, events.end()), (Events{"icon 150", "balloon Transfer interrupted | Data may be lost"}));
    EXPECT_TRUE(trace.contains(">>> CHECK: the device holds GUID=ZZZZ"));
    EXPECT_EQ(port->unusedReplies(), 0u);
}

// Bytes that are no UTF-8 under their own CRC are read at every poll for 30 s, never pasted, then
// given up with a balloon.
TEST_F(SerialOutcomes, AMessageThatNeverReadsWholeIsGivenUpAfter30SecondsWithABalloon) {
    const std::vector<DataFrame> frames = buildMessageFrames("caf\xE9", "{0F8FAD5B-D9CB-469F-A165-70867728950E}");
    const uint64_t first = clock.tickMs();
    uint64_t previous = first, last = first;  // when the last two polls began
    while (side.tray.events().empty() && clock.tickMs() - first < 2 * kUnreadMessageLimitMs) {
        for (const DataFrame& answer : {frames[0], frames[0], frames[1]}) port->script({Reply::Write::Accept, testing::bytesOf(answer)});
        previous = std::exchange(last, clock.tickMs());
        side.computer.pollOnce();
        clock.advance(1000);
    }
    EXPECT_EQ(side.tray.events(),
              (Events{"icon 150", "balloon Receive failed | A copy from the other computer could not be received"}));
    EXPECT_LT(previous - first, kUnreadMessageLimitMs);
    EXPECT_GE(last - first, kUnreadMessageLimitMs);
    EXPECT_FALSE(side.pastedText().has_value());
    EXPECT_TRUE(trace.contains("READ: the payload is not UTF-8 text"));
}

// A message whose read fails at the first polls arrives when a later poll reads it whole, unless
// the user copied here since the poll that first saw it: that copy is newer.
TEST_F(SerialOutcomes, AMessageReadWholeAtALaterPollArrivesUnlessACopyWasMadeSinceItWasFirstSeen) {
    auto poll = [&](const std::vector<DataFrame>& frames, bool whole) {
        for (const DataFrame& answer : {frames[0], frames[0], whole ? frames[1] : frames[0]})
            port->script({Reply::Write::Accept, testing::bytesOf(answer)});
        side.computer.pollOnce();
        clock.advance(1000);
    };
    const std::vector<DataFrame> late = buildMessageFrames("late", "{0F8FAD5B-D9CB-469F-A165-70867728950E}");
    poll(late, false);
    poll(late, false);
    poll(late, true);
    EXPECT_EQ(side.pastedText(), u"late");

    const std::vector<DataFrame> older = buildMessageFrames("older", "{1F8FAD5B-D9CB-469F-A165-70867728950E}");
    poll(older, false);
    side.clipboard.userCopiesText(u"mine");
    poll(older, true);
    EXPECT_EQ(side.pastedText(), u"mine");
    EXPECT_TRUE(trace.contains("A newer copy was made here; the received one is not pasted"));
}

}  // namespace
}  // namespace shuttle
