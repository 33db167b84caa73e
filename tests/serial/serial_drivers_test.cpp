#include <gtest/gtest.h>

#include "core/link_state.h"
#include "serial/link_protocol.h"
#include "serial/link_text.h"
#include "serial/serial_drivers.h"
#include "support/manual_clock.h"
#include "support/scripted_serial_port.h"
#include "support/trace_capture.h"

namespace shuttle {
namespace {

using testing::Bytes;
using testing::Reply;

const std::string kGuidA = "{0F8FAD5B-D9CB-469F-A165-70867728950E}";
const std::string kGuidB = "{7C9E6679-7425-40DE-944B-E07FC1F90AE7}";
const std::string kGuidC = "{3F2504E0-4F89-41D3-9A0C-0305E82C3301}";

class SerialDrivers : public ::testing::Test {
protected:
    SerialDrivers() {
        link.portNumber = 4;
        link.port.set(port);
    }

    // The device holds `frames`: it answers the probe with frame 0 and each read with its frame.
    void scriptHeldMessage(const std::vector<DataFrame>& frames, bool withReads = true) {
        port->script({Reply::Write::Accept, testing::fullAnswer(frames[0])});
        if (!withReads) return;
        for (const DataFrame& frame : frames) port->script({Reply::Write::Accept, testing::fullAnswer(frame)});
    }
    void scriptHeldMessage(const std::string& payloadBytes, const std::string& guid) {
        scriptHeldMessage(buildMessageFrames(payloadBytes, guid));
    }
    void scriptProbeAnswer(Bytes answer) { port->script({Reply::Write::Accept, std::move(answer)}); }

    LinkState link;
    GuidMemory memory;
    testing::ManualClock clock;
    std::shared_ptr<testing::ScriptedSerialPort> port = std::make_shared<testing::ScriptedSerialPort>();
    testing::TraceCapture trace;
    std::u16string out;
};

// Without a port, or with another port than the poll looked at, nothing is asked or changed.
TEST_F(SerialDrivers, NothingHappensWithoutThePortInUse) {
    link.copyReady = 1;
    link.pasteReady = 1;
    scriptProbeAnswer(testing::statusAnswer(0));
    // A poll that looked before another port was opened: its number is no longer the open one.
    EXPECT_EQ(receiveOverSerial(link, memory, 3, clock, out), 0u);
    link.portNumber = kNoComPort;
    EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 0u);
    EXPECT_TRUE(port->writes().empty());
    EXPECT_EQ(link.seenEmptyPort.load(), kNoComPort);

    link.port.set(nullptr);
    link.portNumber = 4;
    EXPECT_FALSE(sendOverSerial(link, clock, u"text", kGuidA));
    EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 0u);
    EXPECT_EQ(link.copyReady.load(), 1);
    EXPECT_EQ(link.pasteReady.load(), 1);
}

TEST_F(SerialDrivers, TheProbeSetsTheReadinessFlags) {
    struct Case {
        const char* name;
        Bytes answer;
        int copyReady;
        int pasteReady;
    };
    const Bytes held = testing::fullAnswer(buildMessageFrames("x", kGuidA)[0]);
    memory.recordReceived(kGuidA);
    for (const Case& c : {Case{"alive", testing::statusAnswer(0xAA), 0, 1}, Case{"ready", testing::statusAnswer(0), 1, 1},
                          Case{"old data", held, 1, 1}, Case{"silent", Bytes{}, 0, 0}}) {
        link.copyReady = 1 - c.copyReady;
        link.pasteReady = 1 - c.pasteReady;
        scriptProbeAnswer(c.answer);
        EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 0u) << c.name;
        EXPECT_EQ(link.copyReady.load(), c.copyReady) << c.name;
        EXPECT_EQ(link.pasteReady.load(), c.pasteReady) << c.name;
    }
    EXPECT_EQ(port->writes().size(), 4u);
}

TEST_F(SerialDrivers, AMessagePresentAtStartIsNotFetchedButOneAfterAnEmptyDeviceIs) {
    scriptHeldMessage(buildMessageFrames("old", kGuidA), false);
    EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 0u);
    EXPECT_EQ(port->writes().size(), 1u);  // the probe only
    EXPECT_EQ(memory.lastReceived(), kGuidA);
    EXPECT_EQ(link.copyReady.load(), 1);

    scriptProbeAnswer(testing::statusAnswer(0));
    EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 0u);
    scriptHeldMessage(encodeLinkText(u"Hello"), kGuidB);
    EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 5u);
    EXPECT_EQ(out, u"Hello");
    EXPECT_EQ(out.c_str()[5], u'\0');
    EXPECT_EQ(port->unusedReplies(), 0u);
}

TEST_F(SerialDrivers, ANewMessageIsDeliveredOnceAndOwnMessagesNever) {
    memory.recordReceived(kGuidB);
    const std::u16string text = u"\u4e2d\u6587 and \U0001F600 ok";
    scriptHeldMessage(encodeLinkText(text), kGuidA);
    EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), text.size());
    EXPECT_EQ(out, text);
    scriptHeldMessage(buildMessageFrames(encodeLinkText(text), kGuidA), false);
    EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 0u);

    memory.recordSent(kGuidB);
    scriptHeldMessage(buildMessageFrames("mine", kGuidB), false);
    EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 0u);
    EXPECT_EQ(port->unusedReplies(), 0u);

    // An older sender's three bytes per surrogate pass the CRC check too.
    scriptHeldMessage("smile \xED\xA0\xBD\xED\xB8\x80", kGuidC);
    EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 8u);
    EXPECT_EQ(out, u"smile \U0001F600");
}

TEST_F(SerialDrivers, AMessageThatDoesNotReadWholeIsReadAgainThenGivenUpAfterThreeTries) {
    memory.recordReceived(kGuidB);
    for (const std::string& payload : {std::string("smile \xF0\x9F\x98\x80"), std::string("smile \xED\xA0\xBD\xED\xB8\x80"),
                                       std::string(200, 'c')}) {
        const std::vector<DataFrame> clean = buildMessageFrames(payload, kGuidA);
        std::vector<DataFrame> damaged = clean;
        // The payload's last byte: the message is the GUID field, the CRC field, then the payload.
        const size_t last = kGuidFieldSize + kCrcFieldSize + payload.size() - 1;
        damaged.at(last / kFrameDataSize)[kFrameDataOffset + last % kFrameDataSize] ^= 0x01;
        memory.recordReceived(kGuidB);
        scriptHeldMessage(damaged);
        EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 0u) << payload;
        EXPECT_EQ(memory.lastReceived(), kGuidB) << "a damaged read is not taken as seen";
        scriptHeldMessage(clean);
        EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), decodeLinkText(payload).size());
        EXPECT_EQ(memory.lastReceived(), kGuidA);
    }

    // A message that never reads whole (its second frame refused each time) costs three reads.
    const std::vector<DataFrame> stuck = buildMessageFrames(std::string(100, 'f'), kGuidC);
    for (int attempt = 1; attempt <= kMessageReadAttempts; ++attempt) {
        port->script({Reply::Write::Accept, testing::fullAnswer(stuck[0])});
        port->script({Reply::Write::Accept, testing::fullAnswer(stuck[0])});
        port->script({Reply::Write::Accept, testing::statusAnswer(0, 1)});
        EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 0u);
        EXPECT_EQ(link.copyReady.load() + link.pasteReady.load(), 2) << "the device still answers";
        EXPECT_EQ(memory.lastReceived(), attempt < kMessageReadAttempts ? kGuidA : kGuidC);
    }
    scriptHeldMessage(stuck, false);
    EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 0u);
    EXPECT_EQ(port->unusedReplies(), 0u) << "given up: the probe finds it old";
    EXPECT_TRUE(trace.contains("given up"));
}

TEST_F(SerialDrivers, AMessageReplacedBetweenProbeAndReadIsNotPasted) {
    memory.recordReceived(kGuidB);
    const std::vector<DataFrame> theirs = buildMessageFrames(encodeLinkText(u"theirs"), kGuidA);
    const std::vector<DataFrame> later = buildMessageFrames(encodeLinkText(u"later"), kGuidB);
    const std::vector<DataFrame> mine = buildMessageFrames(encodeLinkText(u"mine"), kGuidC);
    memory.recordSent(kGuidC);

    // The probe sees one message, the read gets this side's own.
    port->script({Reply::Write::Accept, testing::fullAnswer(theirs[0])});
    port->script({Reply::Write::Accept, testing::fullAnswer(mine[0])});
    EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 0u);
    EXPECT_TRUE(trace.contains("not the one probed"));
    EXPECT_EQ(port->writes().size(), 2u);  // the probe and frame 0
    // What the device now holds is this side's own: never pasted back.
    scriptHeldMessage(mine, false);
    EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 0u);

    // Another new message arrives and is read whole: it is pasted once.
    scriptHeldMessage(later);
    EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 5u);
    EXPECT_EQ(out, u"later");
    scriptHeldMessage(later, false);
    EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 0u);
    EXPECT_EQ(port->unusedReplies(), 0u);
}

// The frames of the encoded text; a refused frame fails the send without a retry, and a text
// too long for one message is not sent at all.
TEST_F(SerialDrivers, SendWritesTheFramesOfTheEncodedTextOrFails) {
    EXPECT_FALSE(sendOverSerial(link, clock, std::u16string(4100, u'\u4e2d'), kGuidA));
    EXPECT_TRUE(port->writes().empty());

    const std::u16string text = u"caf\u00e9 \U0001F600";
    const std::vector<DataFrame> frames = buildMessageFrames("caf\xC3\xA9 \xF0\x9F\x98\x80", kGuidA);
    for (size_t i = 0; i < frames.size(); ++i) port->script({Reply::Write::Accept, testing::headAnswer()});
    EXPECT_TRUE(sendOverSerial(link, clock, text, kGuidA));
    const std::vector<Bytes> writes = port->writes();
    ASSERT_EQ(writes.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(writes[i], Bytes(frames[i].begin(), frames[i].end()));

    port->scriptAll({{Reply::Write::Accept, testing::headAnswer()}, {Reply::Write::Accept, testing::statusAnswer(0, 1)}});
    EXPECT_FALSE(sendOverSerial(link, clock, std::u16string(100, u'x'), kGuidA));
    EXPECT_EQ(port->writes().size(), frames.size() + 2);

    // An empty text travels as two frames and is not pasted.
    for (int i = 0; i < 2; ++i) port->script({Reply::Write::Accept, testing::headAnswer()});
    EXPECT_TRUE(sendOverSerial(link, clock, u"", kGuidB));
    EXPECT_EQ(port->writes().size(), frames.size() + 4);
    scriptHeldMessage("", kGuidB);
    memory.recordReceived(kGuidA);
    EXPECT_EQ(receiveOverSerial(link, memory, link.portNumber, clock, out), 0u);
    EXPECT_EQ(out, u"");
}

}  // namespace
}  // namespace shuttle
