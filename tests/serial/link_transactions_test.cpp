#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <thread>

#include "core/link_state.h"
#include "core/settings.h"
#include "serial/link_port.h"
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
using Lines = std::vector<std::string>;

const std::string kGuidA = "{0F8FAD5B-D9CB-469F-A165-70867728950E}";
const std::string kGuidB = "{7C9E6679-7425-40DE-944B-E07FC1F90AE7}";
const std::string kGuidC = "{3F2504E0-4F89-41D3-9A0C-0305E82C3301}";

// One side of the link: its settings and state, its GUID memory, a clock and the trace.
class SerialLink : public ::testing::Test {
protected:
    Settings settings;
    LinkState link;
    GuidMemory memory;
    testing::ManualClock clock;
    testing::TraceCapture trace;
};

class LinkTransactions : public SerialLink {
protected:
    LinkTransactions() { settings.comPort = 3; }

    LinkStatus probe(Reply reply) {
        trace.clear();
        port.script(std::move(reply));
        return probeLink(port, clock, settings.comPort, memory, link.seenEmptyPort, held);
    }
    // A full probe answer as the device gives it: frame 0 of the held message.
    static Reply heldMessage(const std::string& guid, const std::string& payload = "hello") {
        return Reply{Reply::Write::Accept, testing::bytesOf(buildMessageFrames(payload, guid)[0])};
    }

    // Reads the message of `count` frames of kGuidA from a device giving `answers`: the outcome, the
    // trace and the requests sent.
    std::tuple<LinkStatus, Lines, size_t> readFrom(const std::vector<Reply>& answers, uint32_t count = 4) {
        testing::ScriptedSerialPort device;
        device.scriptAll(answers);
        trace.clear();
        stream.clear();
        const LinkStatus status = readMessage(device, clock, {kGuidA, count}, stream, expectedCrc);
        return {status, trace.lines(), device.writes().size()};
    }

    std::string stream;
    uint32_t expectedCrc = 0;
    testing::ScriptedSerialPort port;
    HeldMessage held{"stale", 99};
};

// One reply of the device, the status it gives and the one trace line it prints.
struct Case {
    const char* name;
    Reply reply;
    LinkStatus status;
    const char* line;
};

TEST_F(LinkTransactions, EveryProbeOutcomeHasItsStatusAndTraceLine) {
    Bytes full = testing::bytesOf(buildMessageFrames("x", kGuidA)[0]);
    const std::vector<Case> cases = {
        {"write fails", {Reply::Write::Fail, {}}, LinkStatus::RequestFailed, "PROBE COM3: request failed"},
        {"short write", {Reply::Write::Short, {}}, LinkStatus::RequestShort, "PROBE COM3: request timeout"},
        {"line error", {Reply::Write::Accept, full, 0, 0x8}, LinkStatus::LineError, "PROBE COM3: error"},
        {"silence", {}, LinkStatus::NoAnswer, "PROBE COM3: no response"},
        {"head read fails", {Reply::Write::Accept, full, 0, 0, true}, LinkStatus::AnswerFailed, "PROBE COM3: response failed"},
        {"short head", {Reply::Write::Accept, full, 0, 0, false, false, 3}, LinkStatus::NoAnswer, "PROBE COM3: response timeout"},
        {"alive", {Reply::Write::Accept, testing::statusAnswer(0xAA)}, LinkStatus::Refused, "COM3 alive"},
        {"ready", {Reply::Write::Accept, testing::statusAnswer(0x00)}, LinkStatus::Ready, "COM3 ready"},
        {"ready, any byte 1", {Reply::Write::Accept, testing::statusAnswer(0xAB)}, LinkStatus::Ready, "COM3 ready"},
        {"rest read fails", {Reply::Write::Accept, full, 0, 0, false, true}, LinkStatus::AnswerFailed, "COM3 get GUID failed"},
        {"short rest", {Reply::Write::Accept, Bytes(full.begin(), full.begin() + 40)}, LinkStatus::NoAnswer, "COM3 get GUID timeout"},
    };
    for (const Case& c : cases) {
        held = {"stale", 99};
        EXPECT_EQ(probe(c.reply), c.status) << c.name;
        EXPECT_EQ(std::make_tuple(trace.lines(), held.frameCount, held.guid, memory.hasReceived()),
                  std::make_tuple(Lines{c.line}, 0u, std::string(), false))
            << c.name;
    }
}

// The probe starts from a purged line; silence ends after ten looks at the queue, and an answer
// on the tenth still counts.
TEST_F(LinkTransactions, TheProbeStartsFromAPurgedLineAndLooksTenTimes) {
    const uint64_t start = clock.tickMs();
    EXPECT_EQ(probe({}), LinkStatus::NoAnswer);
    EXPECT_EQ(clock.tickMs() - start, 20u + 10 * 10);
    const Lines log = port.log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(Lines(log.begin(), log.begin() + 3), (Lines{"purge", "clear", "write 16"}));
    EXPECT_EQ(port.writes().at(0), testing::bytesOf(probeRequest()));
    EXPECT_EQ(std::count(log.begin(), log.end(), "clear"), 1 + 10);
    EXPECT_EQ(std::count(log.begin(), log.end(), "read 4"), 0);

    EXPECT_EQ(probe({Reply::Write::Accept, testing::statusAnswer(0), 9}), LinkStatus::Ready);
    EXPECT_EQ(port.log().back(), "read 4") << "a status answer ends after its head";
    EXPECT_EQ(probe({Reply::Write::Accept, testing::statusAnswer(0), 10}), LinkStatus::NoAnswer);
    EXPECT_EQ(trace.lines(), Lines{"PROBE COM3: no response"});

    port.failClearErrors(true);  // a port that cannot report its state
    EXPECT_EQ(probe({Reply::Write::Accept, testing::statusAnswer(0)}), LinkStatus::LineError);
    EXPECT_EQ(trace.lines(), Lines{"PROBE COM3: error"});
}

TEST_F(LinkTransactions, TheFirstGuidAfterStartIsOnlyRemembered) {
    EXPECT_EQ(probe(heldMessage(kGuidA)), LinkStatus::OldData);
    EXPECT_EQ(trace.lines(), (Lines{"GUID=" + kGuidA, "COM3 old data"}));
    EXPECT_EQ(std::make_pair(held.frameCount, held.guid), std::make_pair(2u, kGuidA));
    EXPECT_EQ(memory.lastReceived(), kGuidA);

    EXPECT_EQ(probe(heldMessage(kGuidA)), LinkStatus::OldData);  // the same message again
    EXPECT_EQ(trace.lines(), (Lines{"GUID=" + kGuidA, "COM3 old data"}));

    EXPECT_EQ(probe(heldMessage(kGuidB, std::string(100, 'z'))), LinkStatus::NewData);
    EXPECT_EQ(trace.lines(), (Lines{"GUID=" + kGuidB, "COM3 NEW DATA!"}));
    EXPECT_EQ(held.frameCount, 4u);
    EXPECT_EQ(memory.lastReceived(), kGuidB);

    memory.recordSent(kGuidA);  // this side's own message is recorded, but old
    EXPECT_EQ(probe(heldMessage(kGuidA)), LinkStatus::OldData);
    EXPECT_EQ(memory.lastReceived(), kGuidA);
}

// "Alive" says the device answers, not that it holds nothing; and a message on another port than
// the one seen empty may be older than the start.
TEST_F(LinkTransactions, OnlyAnEmptyAnswerOnTheSamePortMakesTheFirstMessageNew) {
    EXPECT_EQ(probe({Reply::Write::Accept, testing::statusAnswer(0xAA)}), LinkStatus::Refused);
    EXPECT_EQ(link.seenEmptyPort.load(), kNoComPort);
    EXPECT_EQ(probe(heldMessage(kGuidA)), LinkStatus::OldData);

    GuidMemory fresh;
    link.seenEmptyPort = 4;
    port.script(heldMessage(kGuidB));
    EXPECT_EQ(probeLink(port, clock, 3, fresh, link.seenEmptyPort, held), LinkStatus::OldData);
    EXPECT_EQ(fresh.lastReceived(), kGuidB);
}

TEST_F(LinkTransactions, UnusableHeldMessagesAreOldAndNotRecorded) {
    link.seenEmptyPort = 3;
    std::string lower = kGuidB;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    Reply countZero = heldMessage(kGuidA);
    countZero.answer[1] = 0;
    for (Reply reply : {countZero, heldMessage(lower), heldMessage("{0F8FAD5B-D9CB-469F-A165}"),
                        heldMessage("{0F8FAD5B+D9CB-469F-A165-70867728950E}")}) {
        EXPECT_EQ(probe(reply), LinkStatus::OldData);
        EXPECT_EQ(trace.lines().back(), "COM3 old data");
        EXPECT_TRUE(!memory.hasReceived());
    }
    EXPECT_EQ(held.frameCount, 2u);  // the count byte is reported even when unusable
}

// The GUID trace stops at the first zero or the end of the data area, and shows noise escaped.
TEST_F(LinkTransactions, TheGuidFieldIsTracedEscapedUpToItsEnd) {
    Reply noZero = heldMessage(kGuidA);
    std::fill(noZero.answer.begin() + 16, noZero.answer.end(), 'Q');
    probe(noZero);
    EXPECT_EQ(trace.lines().front(), "GUID=" + std::string(48, 'Q'));

    Reply noise = heldMessage(kGuidA);
    const Bytes bytes = {'{', 0x1B, '[', '2', 'J', 0x07, '\\', 0xFF, '\r', '\n', 0x80, 0};
    std::copy(bytes.begin(), bytes.end(), noise.answer.begin() + 16);
    probe(noise);
    EXPECT_EQ(trace.out(), "GUID={\\x1B[2J\\x07\\\\xFF\\x0D\\x0A\\x80\nCOM3 old data\n");
}

// A message of `payload` as the device hands it out: one full answer per frame.
std::vector<Reply> frameAnswers(const std::string& payload, const std::string& guid = kGuidA) {
    std::vector<Reply> replies;
    for (const DataFrame& frame : buildMessageFrames(payload, guid))
        replies.push_back({Reply::Write::Accept, testing::bytesOf(frame)});
    return replies;
}

TEST_F(LinkTransactions, ReadMessageCollectsTheStreamAndTheExpectedCrc) {
    const std::string payload(100, 'r');
    port.scriptAll(frameAnswers(payload));
    EXPECT_EQ(readMessage(port, clock, {kGuidA, 4}, stream, expectedCrc), LinkStatus::Ok);
    EXPECT_TRUE(trace.lines().empty());
    EXPECT_EQ(stream.size(), 48u + 38 + 48 + 48);
    EXPECT_EQ(stream.substr(0, 38), kGuidA);
    EXPECT_EQ(stream.substr(48, 100), payload);
    EXPECT_EQ(stream.substr(148), std::string(38 + 48 + 48 - 100, '\0'));
    EXPECT_EQ(expectedCrc, payloadCrc(payload));
    const std::vector<Bytes> writes = port.writes();
    ASSERT_EQ(writes.size(), 4u);
    for (uint8_t i = 0; i < 4; ++i) EXPECT_EQ(writes[i], testing::bytesOf(readRequest(i)));
}

TEST_F(LinkTransactions, EveryReadFailureEndsTheTransactionWithItsLine) {
    const std::vector<Reply> answers = frameAnswers(std::string(100, 'r'));
    const Bytes frame1 = answers[1].answer;
    const std::vector<Case> cases = {
        {"write fails", {Reply::Write::Fail, {}}, LinkStatus::RequestFailed, "READ chunk 1: request failed"},
        {"short write", {Reply::Write::Short, {}}, LinkStatus::RequestShort, "READ chunk 1: request timeout"},
        {"line error", {Reply::Write::Accept, frame1, 0, 0x1}, LinkStatus::AnswerFailed, "READ chunk 1 error"},
        {"silence", {}, LinkStatus::NoAnswer, "READ chunk 1 no response"},
        {"head fails", {Reply::Write::Accept, frame1, 0, 0, true}, LinkStatus::AnswerFailed, "READ chunk 1: response failed"},
        {"short head", {Reply::Write::Accept, frame1, 0, 0, false, false, 2}, LinkStatus::NoAnswer, "READ chunk 1: response timeout"},
        {"nack", {Reply::Write::Accept, testing::statusAnswer(0, 1)}, LinkStatus::Refused, "READ chunk 1: nack"},
        {"rest fails", {Reply::Write::Accept, frame1, 0, 0, false, true}, LinkStatus::AnswerFailed, "READ chunk 1: data failed"},
        {"short rest", {Reply::Write::Accept, Bytes(frame1.begin(), frame1.begin() + 63)}, LinkStatus::NoAnswer, "READ chunk 1: data timeout"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(readFrom({answers[0], c.reply, answers[2], answers[3]}), std::make_tuple(c.status, Lines{c.line}, 2u))
            << c.name;
}

TEST_F(LinkTransactions, AnAnswerFromAnotherMessageOrFrameFailsTheRead) {
    const std::vector<Reply> probed = frameAnswers(std::string(100, 'a'), kGuidA);  // 4 frames
    const std::vector<Reply> other = frameAnswers(std::string(100, 'b'), kGuidB);   // 4 frames too
    const std::vector<Reply> longer = frameAnswers(std::string(140, 'a'), kGuidA);  // 5 frames
    struct Case {
        const char* name;
        std::vector<Reply> answers;
        size_t requests;  // read requests sent before the read gave up
        const char* line;
    };
    const std::vector<Case> cases = {
        {"the device now holds another message", other, 1, "READ chunk 0: GUID={7C9E6679-7425-40DE-944B-E07FC1F90AE7}, not the one probed"},
        {"frame 1 answered twice", {probed[0], probed[1], probed[1], probed[3]}, 3, "READ chunk 2: the answer is chunk 1"},
        {"frames answered ahead", {probed[1], probed[2], probed[3], probed[3]}, 1, "READ chunk 0: the answer is chunk 1"},
        {"the count changed since the probe", longer, 1, "READ chunk 0: 5 chunks, the probe saw 4"},
        {"the last frame claims another count", {probed[0], probed[1], probed[2], longer[3]}, 4, "READ chunk 3: 5 chunks, the probe saw 4"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(readFrom(c.answers), std::make_tuple(LinkStatus::AnswerFailed, Lines{c.line}, c.requests)) << c.name;
}

TEST_F(LinkTransactions, ACountNoTextNeedsIsRefusedBeforeAnyRequest) {
    EXPECT_EQ(kMaxMessageFrames, 189u);  // 3000 units of three bytes, after the GUID and CRC fields
    for (const auto& [count, line] : std::vector<std::pair<uint32_t, std::string>>{
             {0, "READ: not enough chunks"}, {190, "READ: 190 chunks, more than a text takes"},
             {255, "READ: 255 chunks, more than a text takes"}})
        EXPECT_EQ(readFrom({}, count), std::make_tuple(LinkStatus::AnswerFailed, Lines{line}, size_t{0}));

    // The longest text a sender makes is still read.
    const std::string longest(kMaxLinkTextBytes, 'x');
    EXPECT_EQ(std::get<0>(readFrom(frameAnswers(longest), 189)), LinkStatus::Ok);
    EXPECT_TRUE(stream.compare(kGuidFieldSize, longest.size(), longest) == 0);
}

TEST_F(LinkTransactions, ASlowDeviceHoldsTheReadForAtMostTheLimit) {
    // Each answer comes on the last look at the queue: 110 ms a frame, 20 s for 189 frames.
    std::vector<Reply> answers = frameAnswers(std::string(kMaxLinkTextBytes, 's'));
    for (Reply& answer : answers) answer.pollsBeforeAnswer = 9;
    port.scriptAll(answers);
    const uint64_t start = clock.tickMs();
    EXPECT_EQ(readMessage(port, clock, {kGuidA, 189}, stream, expectedCrc), LinkStatus::NoAnswer);
    EXPECT_LT(clock.tickMs() - start, kReadMessageLimitMs + 120);
    EXPECT_EQ(trace.lines(), Lines{"READ chunk 91: given up after 10010 ms"});
    EXPECT_EQ(port.writes().size(), 91u);
}

TEST_F(LinkTransactions, CrcFieldParsing) {
    struct Case {
        std::string field;
        uint32_t expected;
    };
    for (const Case& c : {Case{" 891568578", 891568578u}, Case{"         0", 0u}, Case{"4294967295", 0xFFFFFFFFu},
                          Case{"9999999999", 0xFFFFFFFFu}, Case{std::string("  12\0\0\0\0\0\0", 10), 12u},
                          Case{"      12ab", 12u}, Case{"    abcdef", 0u}}) {
        std::vector<Reply> answers = frameAnswers("x");
        std::copy(c.field.begin(), c.field.end(), answers[1].answer.begin() + 16);
        expectedCrc = 7;
        ASSERT_EQ(std::get<0>(readFrom(answers, 2)), LinkStatus::Ok);
        EXPECT_EQ(expectedCrc, c.expected) << c.field;
        EXPECT_EQ(stream.substr(48, 1), "x");
    }
}

// Every frame is sent, only the answers' heads are read, and each acknowledged frame (no
// refused one) is told as progress.
TEST_F(LinkTransactions, WriteMessageSendsEveryFrameReadsOnlyHeadsAndTellsTheProgress) {
    EXPECT_EQ(writeMessage(port, clock, {}), LinkStatus::Ok);
    EXPECT_EQ(port.log(), (Lines{"purge", "clear"})) << "no frames: done at once";

    testing::ScriptedSerialPort device;
    const std::vector<DataFrame> frames = buildMessageFrames(std::string(100, 'w'), kGuidA);
    ASSERT_EQ(frames.size(), 4u);
    using Steps = std::vector<std::pair<uint64_t, uint64_t>>;
    Steps steps;
    const ProgressCallback progress = [&](uint64_t done, uint64_t total) { steps.emplace_back(done, total); };
    for (size_t i = 0; i < frames.size(); ++i) device.script({Reply::Write::Accept, testing::headAnswer(4, uint8_t(i))});
    EXPECT_EQ(writeMessage(device, clock, frames, progress), LinkStatus::Ok);
    EXPECT_TRUE(trace.lines().empty());
    const std::vector<Bytes> writes = device.writes();
    ASSERT_EQ(writes.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(writes[i], testing::bytesOf(frames[i]));
    const Lines log = device.log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "read 60"), 0);
    EXPECT_EQ(std::count(log.begin(), log.end(), "read 4"), 4);
    EXPECT_EQ(steps, (Steps{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));

    steps.clear();
    testing::ScriptedSerialPort refusing;
    refusing.scriptAll({{Reply::Write::Accept, testing::headAnswer()},
                        {Reply::Write::Accept, testing::statusAnswer(0x00)}});
    EXPECT_EQ(writeMessage(refusing, clock, frames, progress), LinkStatus::Refused);
    EXPECT_EQ(steps, (Steps{{1, 4}}));

    // An unreadable head is not a refusal: the check after the last frame decides.
    testing::ScriptedSerialPort mumbling;
    mumbling.scriptAll({{Reply::Write::Accept, testing::headAnswer(), 0, 0, true},
                        {Reply::Write::Accept, testing::headAnswer(), 0, 0, false, false, 1},
                        {Reply::Write::Accept, testing::headAnswer()}, {Reply::Write::Accept, testing::headAnswer()}});
    trace.clear();
    EXPECT_EQ(writeMessage(mumbling, clock, frames), LinkStatus::Ok);
    EXPECT_EQ(mumbling.writes().size(), 4u);
    EXPECT_TRUE(trace.lines().empty());
}

TEST_F(LinkTransactions, EveryWriteFailureEndsTheTransactionWithItsLine) {
    const std::vector<DataFrame> frames = buildMessageFrames(std::string(100, 'w'), kGuidA);
    const std::vector<Case> cases = {
        {"write fails", {Reply::Write::Fail, {}}, LinkStatus::RequestFailed, ">>> WRITE chunk 2: request failed"},
        {"short write", {Reply::Write::Short, {}}, LinkStatus::RequestShort, ">>> WRITE chunk 2: request timeout"},
        {"line error", {Reply::Write::Accept, testing::headAnswer(), 0, 0x10}, LinkStatus::LineError, ">>> WRITE chunk 2 error"},
        {"silence", {}, LinkStatus::NoAnswer, ">>> WRITE chunk 2 no response"},
        {"nack", {Reply::Write::Accept, testing::statusAnswer(0, 2)}, LinkStatus::Refused, ">>> WRITE chunk 2 nack"},
    };
    for (const Case& c : cases) {
        testing::ScriptedSerialPort fresh;
        fresh.scriptAll({{Reply::Write::Accept, testing::headAnswer()}, {Reply::Write::Accept, testing::headAnswer()}, c.reply});
        trace.clear();
        EXPECT_EQ(writeMessage(fresh, clock, frames), c.status) << c.name;
        EXPECT_EQ(trace.lines(), Lines{c.line}) << c.name;
        EXPECT_EQ(fresh.writes().size(), 3u) << c.name;
    }
}

class SerialDrivers : public SerialLink {
protected:
    SerialDrivers() {
        link.portNumber = 4;
        link.port.set(port);
    }

    // The device holds `frames`: it answers the probe with frame 0 and each read with its frame.
    void scriptHeldMessage(const std::vector<DataFrame>& frames, bool withReads = true) {
        port->script({Reply::Write::Accept, testing::bytesOf(frames[0])});
        if (!withReads) return;
        for (const DataFrame& frame : frames) port->script({Reply::Write::Accept, testing::bytesOf(frame)});
    }
    void scriptProbeAnswer(Bytes answer) { port->script({Reply::Write::Accept, std::move(answer)}); }
    SerialReceipt receive() { return receiveOverSerial(link, memory, link.portNumber, clock, out); }

    std::shared_ptr<testing::ScriptedSerialPort> port = std::make_shared<testing::ScriptedSerialPort>();
    std::u16string out;
};

// Without a port, or with another port than the poll looked at, nothing is asked or changed.
TEST_F(SerialDrivers, NothingHappensWithoutThePortInUse) {
    link.copyReady = 1;
    link.pasteReady = 1;
    scriptProbeAnswer(testing::statusAnswer(0));
    // A poll that looked before another port was opened: its number is no longer the open one.
    EXPECT_EQ(receiveOverSerial(link, memory, 3, clock, out), SerialReceipt::Nothing);
    link.portNumber = kNoComPort;
    EXPECT_EQ(receive(), SerialReceipt::Nothing);
    EXPECT_TRUE(port->writes().empty());
    EXPECT_EQ(link.seenEmptyPort.load(), kNoComPort);

    link.port.set(nullptr);
    link.portNumber = 4;
    EXPECT_FALSE(sendOverSerial(link, clock, u"text", kGuidA));
    EXPECT_EQ(receive(), SerialReceipt::Nothing);
    EXPECT_EQ(std::make_pair(link.copyReady.load(), link.pasteReady.load()), std::make_pair(1, 1));
}

TEST_F(SerialDrivers, TheProbeSetsTheReadinessFlags) {
    const Bytes held = testing::bytesOf(buildMessageFrames("x", kGuidA)[0]);
    memory.recordReceived(kGuidA);
    // The answer (alive, ready, old data, silence) and the copy- and paste-ready flags it gives.
    for (const auto& [answer, copy, paste] : std::vector<std::tuple<Bytes, int, int>>{
             {testing::statusAnswer(0xAA), 0, 1}, {testing::statusAnswer(0), 1, 1}, {held, 1, 1}, {Bytes{}, 0, 0}}) {
        link.copyReady = 1 - copy;
        link.pasteReady = 1 - paste;
        scriptProbeAnswer(answer);
        EXPECT_EQ(receive(), SerialReceipt::Nothing);
        EXPECT_EQ(std::make_pair(link.copyReady.load(), link.pasteReady.load()), std::make_pair(copy, paste));
    }
    EXPECT_EQ(port->writes().size(), 4u);
}

TEST_F(SerialDrivers, AMessagePresentAtStartIsNotFetchedButOneAfterAnEmptyDeviceIs) {
    scriptHeldMessage(buildMessageFrames("old", kGuidA), false);
    EXPECT_EQ(receive(), SerialReceipt::Nothing);
    EXPECT_EQ(port->writes().size(), 1u);  // the probe only
    EXPECT_EQ(memory.lastReceived(), kGuidA);
    EXPECT_EQ(link.copyReady.load(), 1);

    scriptProbeAnswer(testing::statusAnswer(0));
    EXPECT_EQ(receive(), SerialReceipt::Nothing);
    scriptHeldMessage(buildMessageFrames(encodeLinkText(u"Hello"), kGuidB));
    EXPECT_EQ(receive(), SerialReceipt::Text);
    EXPECT_EQ(out, u"Hello");
    EXPECT_EQ(out.c_str()[5], u'\0');
    EXPECT_EQ(port->unusedReplies(), 0u);
}

TEST_F(SerialDrivers, ANewMessageIsDeliveredOnceAndOwnMessagesNever) {
    memory.recordReceived(kGuidB);
    const std::u16string text = u"\u4e2d\u6587 and \U0001F600 ok";
    scriptHeldMessage(buildMessageFrames(encodeLinkText(text), kGuidA));
    EXPECT_EQ(receive(), SerialReceipt::Text);
    EXPECT_EQ(out, text);
    scriptHeldMessage(buildMessageFrames(encodeLinkText(text), kGuidA), false);
    EXPECT_EQ(receive(), SerialReceipt::Nothing);

    memory.recordSent(kGuidB);
    scriptHeldMessage(buildMessageFrames("mine", kGuidB), false);
    EXPECT_EQ(receive(), SerialReceipt::Nothing);
    EXPECT_EQ(port->unusedReplies(), 0u);
}

// A message that does not read whole is not taken as seen: the next polls read it again, and
// once whole it arrives.
TEST_F(SerialDrivers, AMessageThatFailsIsReadAgainAtTheNextPollsAndArrives) {
    for (const std::string& payload : {std::string("smile \xF0\x9F\x98\x80"), std::string("smile \xED\xA0\xBD\xED\xB8\x80"),
                                       std::string(200, 'c')}) {
        const std::vector<DataFrame> clean = buildMessageFrames(payload, kGuidA);
        std::vector<DataFrame> damaged = clean;
        // The payload's last byte: the message is the GUID field, the CRC field, then the payload.
        const size_t last = kGuidFieldSize + kCrcFieldSize + payload.size() - 1;
        damaged.at(last / kFrameDataSize)[kFrameDataOffset + last % kFrameDataSize] ^= 0x01;
        memory.recordReceived(kGuidB);
        for (int poll = 0; poll < 2; ++poll) {
            scriptHeldMessage(damaged);
            EXPECT_EQ(receive(), SerialReceipt::Nothing) << payload;
            EXPECT_EQ(memory.lastReceived(), kGuidB) << "a damaged read is not taken as seen";
        }
        EXPECT_TRUE(trace.contains("READ: CRC mismatch\nThe message is read again at the next poll"));
        scriptHeldMessage(clean);
        EXPECT_EQ(receive(), SerialReceipt::Text);
        EXPECT_EQ(std::optional(out), decodeLinkText(payload));
        EXPECT_EQ(memory.lastReceived(), kGuidA);
    }
    EXPECT_EQ(port->unusedReplies(), 0u);
}

// A message whose second frame is refused each time is read at every poll for 30 s from its first
// failure, whether the device answers meanwhile or not, and then given up for good; one that the
// device replaced by another message is not given up.
TEST_F(SerialDrivers, AMessageThatKeepsFailingIsGivenUpAfter30SecondsUnlessReplaced) {
    memory.recordReceived(kGuidB);
    auto failingRead = [&](const std::string& guid) {
        const Bytes head = testing::bytesOf(buildMessageFrames(std::string(100, 'f'), guid)[0]);
        for (const Bytes& answer : {head, head, testing::statusAnswer(0, 1)}) scriptProbeAnswer(answer);
        return receive();
    };
    EXPECT_EQ(failingRead(kGuidC), SerialReceipt::Nothing);
    clock.advance(kUnreadMessageLimitMs - 1000);
    EXPECT_EQ(failingRead(kGuidC), SerialReceipt::Nothing);
    EXPECT_EQ(link.copyReady.load() + link.pasteReady.load(), 2) << "the device still answers";
    scriptProbeAnswer({});  // the device falls silent: the time runs on
    EXPECT_EQ(receive(), SerialReceipt::Nothing);
    clock.advance(1000);
    scriptProbeAnswer({});
    EXPECT_EQ(receive(), SerialReceipt::GivenUp);
    EXPECT_TRUE(trace.contains("The message did not read whole for 30 s; it is given up"));
    scriptHeldMessage(buildMessageFrames(std::string(100, 'f'), kGuidC), false);
    EXPECT_EQ(receive(), SerialReceipt::Nothing);
    EXPECT_EQ(port->unusedReplies(), 0u) << "shown again, it is old: no read";

    EXPECT_EQ(failingRead(kGuidA), SerialReceipt::Nothing);
    memory.recordSent(kGuidB);  // this side's copy replaces it on the device
    scriptHeldMessage(buildMessageFrames("mine", kGuidB), false);
    EXPECT_EQ(receive(), SerialReceipt::Nothing);
    clock.advance(kUnreadMessageLimitMs);
    scriptProbeAnswer({});
    EXPECT_EQ(receive(), SerialReceipt::Nothing);
    EXPECT_TRUE(trace.contains("The message not read whole was replaced on the device"));
}

// The frames of the encoded text, then a probe that must find them held: a refused frame fails
// the send without a retry, a text too long for one message is not sent at all.
TEST_F(SerialDrivers, SendWritesTheFramesOfTheEncodedTextAndChecksTheyAreHeld) {
    EXPECT_FALSE(sendOverSerial(link, clock, std::u16string(4100, u'\u4e2d'), kGuidA));
    EXPECT_TRUE(port->writes().empty());

    const std::vector<DataFrame> frames = buildMessageFrames("caf\xC3\xA9 \xF0\x9F\x98\x80", kGuidA);
    for (size_t i = 0; i < frames.size(); ++i) port->script({Reply::Write::Accept, testing::headAnswer()});
    scriptProbeAnswer(testing::bytesOf(frames[0]));
    EXPECT_TRUE(sendOverSerial(link, clock, u"caf\u00e9 \U0001F600", kGuidA));
    std::vector<Bytes> writes = port->writes();
    ASSERT_EQ(writes.size(), frames.size() + 1);
    for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(writes[i], testing::bytesOf(frames[i]));
    EXPECT_EQ(writes.back(), testing::bytesOf(probeRequest()));

    port->scriptAll({{Reply::Write::Accept, testing::headAnswer()}, {Reply::Write::Accept, testing::statusAnswer(0, 1)}});
    EXPECT_FALSE(sendOverSerial(link, clock, std::u16string(100, u'x'), kGuidA));
    EXPECT_EQ(port->writes().size(), frames.size() + 3) << "no check after a refusal";

    // An empty text travels as two frames and is not pasted.
    const std::vector<DataFrame> empty = buildMessageFrames("", kGuidB);
    for (int i = 0; i < 2; ++i) port->script({Reply::Write::Accept, testing::headAnswer()});
    scriptProbeAnswer(testing::bytesOf(empty[0]));
    EXPECT_TRUE(sendOverSerial(link, clock, u"", kGuidB));
    scriptHeldMessage(empty);
    memory.recordReceived(kGuidA);
    EXPECT_EQ(receive(), SerialReceipt::Nothing);
    EXPECT_EQ(out, u"");
}

// A device that answers every frame with noise (never a refusal) has stored nothing that can be
// trusted: only finding this message's GUID and frame count on it makes the send succeed. The
// check judges nothing as news: the GUID memory and the empty mark stay as they were.
TEST_F(SerialDrivers, ANoisyDeviceFailsTheSendUnlessItThenHoldsTheMessage) {
    std::mt19937 random(18);
    auto noise = [&] {
        Bytes bytes(64);
        for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(4 + random() % 250);  // no status mark (3)
        return bytes;
    };
    const std::vector<DataFrame> frames = buildMessageFrames(std::string(200, 'n'), kGuidA);
    Bytes otherCount = testing::bytesOf(frames[0]);
    otherCount[1] = 9;
    const std::vector<std::pair<Bytes, std::string>> checks = {
        {noise(), ">>> CHECK: the device holds GUID="},
        {testing::statusAnswer(0), ">>> CHECK: the device holds no message"},
        {testing::bytesOf(buildMessageFrames(std::string(200, 'n'), kGuidB)[0]), "holds GUID=" + kGuidB + " of 6 chunks"},
        {otherCount, "holds GUID=" + kGuidA + " of 9 chunks, not this message"},
        {{}, ">>> CHECK: no response"},
        {testing::bytesOf(frames[0]), ""},
    };
    memory.recordReceived(kGuidC);
    for (const auto& [answer, line] : checks) {
        for (size_t i = 0; i < frames.size(); ++i) port->script({Reply::Write::Accept, noise()});
        scriptProbeAnswer(answer);
        trace.clear();
        EXPECT_EQ(sendOverSerial(link, clock, std::u16string(200, u'n'), kGuidA), line.empty()) << line;
        EXPECT_TRUE(trace.contains(line)) << trace.out();
    }
    EXPECT_EQ(std::make_tuple(memory.lastReceived(), memory.lastSent(), link.seenEmptyPort.load()),
              std::make_tuple(kGuidC, std::string(), kNoComPort));
}

class LinkPort : public SerialLink {
protected:
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

    for (const char16_t* text : {u"Bluetooth", u"COM", u"COMx", u"com7", u"COM99999999999"}) {
        ports.opened.clear();
        settings.comPort = 10;
        openSelectedLink(settings, link, ports, clock, text);
        EXPECT_EQ(ports.opened, std::vector<uint32_t>{10});
        EXPECT_EQ(link.port.get(), com10);
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

TEST_F(LinkPort, ANewOpenWaitsForATransferInProgressOnTheOldPortAndForgetsWhatItFound) {
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
        link.setReadiness(true, true);     // the transfer's probe found the device on COM7
    }
    supervisor.join();
    EXPECT_EQ(com7->log(), (Lines{"cancel", "close"}));
    EXPECT_EQ(link.port.get(), com10);
    EXPECT_EQ(flags(), (std::vector<int>{1, 1, 1, 0, 0})) << "COM10 is not ready before its own probe";

    // The same for a close alone, as "Disconnect" does.
    std::thread disconnect;
    {
        std::lock_guard<std::mutex> transfer(link.mutex);
        disconnect = std::thread([&] { closePort(link); });
        link.setReadiness(true, true);
    }
    disconnect.join();
    EXPECT_EQ(link.copyReady.load() + link.pasteReady.load(), 0);
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
