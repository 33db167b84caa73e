#include <gtest/gtest.h>

#include "core/link_state.h"
#include "core/settings.h"
#include "serial/link_protocol.h"
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

class LinkTransactions : public ::testing::Test {
protected:
    LinkTransactions() { settings.comPort = 3; }

    LinkStatus probe(Reply reply) {
        port.script(std::move(reply));
        return probeLink(port, clock, settings.comPort, memory, link.seenEmptyPort, held);
    }
    // A full probe answer as the device gives it: frame 0 of the held message.
    static Reply heldMessage(const std::string& guid, const std::string& payload = "hello") {
        return Reply{Reply::Write::Accept, testing::fullAnswer(buildMessageFrames(payload, guid)[0])};
    }

    Settings settings;
    LinkState link;
    GuidMemory memory;
    uint32_t expectedCrc = 0;
    testing::ManualClock clock;
    testing::ScriptedSerialPort port;
    testing::TraceCapture trace;
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
    Bytes full = testing::fullAnswer(buildMessageFrames("x", kGuidA)[0]);
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
        trace.clear();
        held = {"stale", 99};
        EXPECT_EQ(probe(c.reply), c.status) << c.name;
        EXPECT_EQ(trace.lines(), Lines{c.line}) << c.name;
        EXPECT_EQ(held.frameCount, 0u) << c.name;
        EXPECT_EQ(held.guid, "") << c.name;
        EXPECT_TRUE(!memory.hasReceived()) << c.name;
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
    const RequestFrame request = probeRequest();
    EXPECT_EQ(port.writes().at(0), Bytes(request.begin(), request.end()));
    EXPECT_EQ(std::count(log.begin(), log.end(), "clear"), 1 + 10);
    EXPECT_EQ(std::count(log.begin(), log.end(), "read 4"), 0);

    EXPECT_EQ(probe({Reply::Write::Accept, testing::statusAnswer(0), 9}), LinkStatus::Ready);
    EXPECT_EQ(port.log().back(), "read 4") << "a status answer ends after its head";
    trace.clear();
    EXPECT_EQ(probe({Reply::Write::Accept, testing::statusAnswer(0), 10}), LinkStatus::NoAnswer);
    EXPECT_EQ(trace.lines(), Lines{"PROBE COM3: no response"});

    trace.clear();
    port.failClearErrors(true);  // a port that cannot report its state
    EXPECT_EQ(probe({Reply::Write::Accept, testing::statusAnswer(0)}), LinkStatus::LineError);
    EXPECT_EQ(trace.lines(), Lines{"PROBE COM3: error"});
}

TEST_F(LinkTransactions, TheFirstGuidAfterStartIsOnlyRemembered) {
    EXPECT_EQ(probe(heldMessage(kGuidA)), LinkStatus::OldData);
    EXPECT_EQ(trace.lines(), (Lines{"GUID=" + kGuidA, "COM3 old data"}));
    EXPECT_EQ(held.frameCount, 2u);
    EXPECT_EQ(held.guid, kGuidA);
    EXPECT_EQ(memory.lastReceived(), kGuidA);

    trace.clear();
    EXPECT_EQ(probe(heldMessage(kGuidA)), LinkStatus::OldData);  // the same message again
    EXPECT_EQ(trace.lines(), (Lines{"GUID=" + kGuidA, "COM3 old data"}));

    trace.clear();
    EXPECT_EQ(probe(heldMessage(kGuidB, std::string(100, 'z'))), LinkStatus::NewData);
    EXPECT_EQ(trace.lines(), (Lines{"GUID=" + kGuidB, "COM3 NEW DATA!"}));
    EXPECT_EQ(held.frameCount, 4u);
    EXPECT_EQ(memory.lastReceived(), kGuidB);

    memory.recordSent(kGuidA);  // this side's own message is recorded, but old
    EXPECT_EQ(probe(heldMessage(kGuidA)), LinkStatus::OldData);
    EXPECT_EQ(memory.lastReceived(), kGuidA);
}

// ---- a message held before the start --------------------------------------------------------

TEST_F(LinkTransactions, AMessageArrivingAfterAnEmptyDeviceIsNew) {
    EXPECT_EQ(probe({Reply::Write::Accept, testing::statusAnswer(0)}), LinkStatus::Ready);
    EXPECT_EQ(link.seenEmptyPort.load(), 3u);
    EXPECT_EQ(probe(heldMessage(kGuidA)), LinkStatus::NewData);
    EXPECT_EQ(memory.lastReceived(), kGuidA);
    EXPECT_EQ(probe(heldMessage(kGuidA)), LinkStatus::OldData);
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
    Reply shortGuid = heldMessage("{0F8FAD5B-D9CB-469F-A165}");
    Reply badSeparator = heldMessage("{0F8FAD5B+D9CB-469F-A165-70867728950E}");
    for (Reply reply : {countZero, heldMessage(lower), shortGuid, badSeparator}) {
        trace.clear();
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

    trace.clear();
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
        replies.push_back({Reply::Write::Accept, testing::fullAnswer(frame)});
    return replies;
}

TEST_F(LinkTransactions, ReadMessageCollectsTheStreamAndTheExpectedCrc) {
    const std::string payload(100, 'r');
    port.scriptAll(frameAnswers(payload));
    std::string stream;
    EXPECT_EQ(readMessage(port, clock, {kGuidA, 4}, stream, expectedCrc), LinkStatus::Ok);
    EXPECT_TRUE(trace.lines().empty());
    EXPECT_EQ(stream.size(), 48u + 38 + 48 + 48);
    EXPECT_EQ(stream.substr(0, 38), kGuidA);
    EXPECT_EQ(stream.substr(48, 100), payload);
    EXPECT_EQ(stream.substr(148), std::string(38 + 48 + 48 - 100, '\0'));
    EXPECT_EQ(expectedCrc, payloadCrc(payload));
    const std::vector<Bytes> writes = port.writes();
    ASSERT_EQ(writes.size(), 4u);
    for (uint8_t i = 0; i < 4; ++i) {
        const RequestFrame request = readRequest(i);
        EXPECT_EQ(writes[i], Bytes(request.begin(), request.end()));
    }
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
    for (const Case& c : cases) {
        testing::ScriptedSerialPort fresh;
        fresh.scriptAll({answers[0], c.reply, answers[2], answers[3]});
        trace.clear();
        std::string stream;
        EXPECT_EQ(readMessage(fresh, clock, {kGuidA, 4}, stream, expectedCrc), c.status) << c.name;
        EXPECT_EQ(trace.lines(), Lines{c.line}) << c.name;
        EXPECT_EQ(fresh.writes().size(), 2u) << c.name;
    }
}

// ---- a device that lies while the message is read -------------------------------------------

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
    for (const Case& c : cases) {
        testing::ScriptedSerialPort fresh;
        fresh.scriptAll(c.answers);
        trace.clear();
        std::string stream;
        EXPECT_EQ(readMessage(fresh, clock, {kGuidA, 4}, stream, expectedCrc), LinkStatus::AnswerFailed) << c.name;
        EXPECT_EQ(trace.lines(), Lines{c.line}) << c.name;
        EXPECT_EQ(fresh.writes().size(), c.requests) << c.name;
    }
}

TEST_F(LinkTransactions, ACountNoTextNeedsIsRefusedBeforeAnyRequest) {
    EXPECT_EQ(kMaxMessageFrames, 189u);  // 3000 units of three bytes, after the GUID and CRC fields
    for (uint32_t count : {0u, 190u, 255u}) {
        trace.clear();
        std::string stream;
        EXPECT_EQ(readMessage(port, clock, {kGuidA, count}, stream, expectedCrc), LinkStatus::AnswerFailed);
        EXPECT_EQ(trace.lines().size(), 1u);
    }
    EXPECT_EQ(trace.lines(), Lines{"READ: 255 chunks, more than a text takes"});
    EXPECT_TRUE(port.writes().empty());

    // The longest text a sender makes is still read.
    const std::string longest(kMaxLinkTextBytes, 'x');
    port.scriptAll(frameAnswers(longest));
    std::string stream;
    EXPECT_EQ(readMessage(port, clock, {kGuidA, 189}, stream, expectedCrc), LinkStatus::Ok);
    EXPECT_TRUE(stream.compare(kGuidFieldSize, longest.size(), longest) == 0);
}

TEST_F(LinkTransactions, ASlowDeviceHoldsTheReadForAtMostTheLimit) {
    // Each answer comes on the last look at the queue: 110 ms a frame, 20 s for 189 frames.
    std::vector<Reply> answers = frameAnswers(std::string(kMaxLinkTextBytes, 's'));
    for (Reply& answer : answers) answer.pollsBeforeAnswer = 9;
    port.scriptAll(answers);
    const uint64_t start = clock.tickMs();
    std::string stream;
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
        testing::ScriptedSerialPort fresh;
        fresh.scriptAll(answers);
        std::string stream;
        expectedCrc = 7;
        ASSERT_EQ(readMessage(fresh, clock, {kGuidA, 2}, stream, expectedCrc), LinkStatus::Ok);
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
    for (size_t i = 0; i < frames.size(); ++i) EXPECT_EQ(writes[i], Bytes(frames[i].begin(), frames[i].end()));
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

    // An unreadable head is not a refusal.
    testing::ScriptedSerialPort mumbling;
    mumbling.scriptAll({{Reply::Write::Accept, testing::headAnswer(), 0, 0, true},
                        {Reply::Write::Accept, testing::headAnswer(), 0, 0, false, false, 1},
                        {Reply::Write::Accept, testing::headAnswer()},
                        {Reply::Write::Accept, testing::headAnswer()}});
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

}  // namespace
}  // namespace shuttle
