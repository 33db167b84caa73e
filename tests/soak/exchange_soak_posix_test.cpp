// Soak: hundreds of random texts both ways through the link simulator, every worker running and
// another program grabbing either clipboard at random. Nothing may be lost or altered; a transfer
// the sender reports as interrupted (the user copies again) is the only excuse, and is counted.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/tty_serial_ports.h"
#include "serial/link_port.h"
#include "support/manual_clock.h"
#include "support/test_computer.h"
#include "support/trace_capture.h"
#include "tools/link-sim/pty_link_server.h"

namespace shuttle {
namespace {

using testing::TestComputer;

constexpr int kTexts = 300;
constexpr uint32_t kArrivalLimitMs = 60000;  // generous: only a lost text ever waits this long

// Random texts of 1-3000 UTF-16 units from ASCII, accented Latin, CJK, emoji (surrogate pairs),
// tabs and line breaks. Most are short, as copies are, a few long.
class TextMaker {
public:
    explicit TextMaker(uint32_t seed) : random_(seed) {}
    std::u16string next() {
        const size_t units = pick(10) == 0 ? 1 + pick(3000) : 1 + pick(150);
        std::u16string text;
        while (text.size() < units) {
            const uint32_t kind = pick(6), emoji = 0x1F300 + pick(0x300) - 0x10000;
            if (kind == 0) text.push_back(char16_t(0x20 + pick(0x5F)));
            if (kind == 1) text.push_back(char16_t(0xC0 + pick(0x40)));
            if (kind == 2) text.push_back(char16_t(0x4E00 + pick(0x5000)));
            if (kind == 3) text += {char16_t(0xD800 + (emoji >> 10)), char16_t(0xDC00 + (emoji & 0x3FF))};
            if (kind == 4) text.push_back(pick(2) ? u'\t' : u'\n');
            if (kind == 5) text += u"\r\n";
        }
        text.resize(units);  // a pair cut in half at the end becomes a plain letter
        if (text[units - 1] >= 0xD800 && text[units - 1] <= 0xDBFF) text[units - 1] = u'x';
        return text;
    }

private:
    uint32_t pick(uint32_t below) { return std::uniform_int_distribution<uint32_t>(0, below - 1)(random_); }
    std::mt19937 random_;
};

// Another program that opens one of the clipboards now and then and keeps it 0-200 ms.
class ClipboardGrabber {
public:
    ClipboardGrabber(MemoryClipboard& a, MemoryClipboard& b) : a_(a), b_(b), thread_([this] { run(); }) {}
    ~ClipboardGrabber() { stop_.raise(), thread_.join(); }
    int grabs() const { return grabs_.load(); }

private:
    void run() {
        std::mt19937 random(7);
        auto pick = [&](uint32_t below) { return std::uniform_int_distribution<uint32_t>(0, below - 1)(random); };
        while (!stop_.waitMs(pick(300))) {
            MemoryClipboard& target = pick(2) ? a_ : b_;
            if (!target.openAsOtherProgram()) continue;
            ++grabs_;
            stop_.waitMs(pick(201));
            target.closeAsOtherProgram();
        }
    }
    MemoryClipboard& a_;
    MemoryClipboard& b_;
    Wakeup stop_;
    std::atomic<int> grabs_{0};
    std::thread thread_;
};

// The real clock with halved waits: the device waits are made for hardware, the simulator is quicker.
class BriskClock final : public Clock {
public:
    uint64_t tickMs() override { return systemClock().tickMs(); }
    void sleepMs(uint32_t ms) override { systemClock().sleepMs(ms / 2); }
    bool sleepUnless(Wakeup& wakeup, uint32_t ms) override { return wakeup.waitMs(ms / 2); }
    std::tm localNow() override { return systemClock().localNow(); }
};

// Looks until `condition` holds, up to a limit only a lost text ever reaches.
template <class Condition>
bool eventually(Condition condition) {
    Wakeup never;
    for (const uint64_t deadline = systemClock().tickMs() + kArrivalLimitMs; systemClock().tickMs() < deadline;
         never.waitMs(5))
        if (condition()) return true;
    return false;
}

bool arrives(TestComputer& to, const std::u16string& t) { return eventually([&] { return to.pastedText() == t; }); }

// Ready to carry a copy (listener on, link ready) and to take one as news (device seen empty).
bool ready(TestComputer& side) {
    LinkState& link = side.computer.link();
    return link.listening() && link.copyReady != 0 && link.seenEmptyPort != kNoComPort;
}

TEST(ExchangeSoak, RandomTextsBothWaysArriveWholeWhileOtherProgramsGrabTheClipboards) {
    testing::TraceCapture trace;  // keeps the console quiet; the counts below tell the story
    char pattern[] = "/tmp/shuttle-soak-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    linksim::PtyLinkServer server({folder + "/comA", folder + "/comB"});
    std::string error;
    ASSERT_TRUE(server.start(error)) << error;
    TtySerialPorts ports;
    ports.mapPort(5, folder + "/comA");
    ports.mapPort(6, folder + "/comB");
    {
        BriskClock clock;
        TestComputer a('E', folder, ports, clock), b('F', folder, ports, clock);
        testing::ManualClock settle;
        openSelectedLink(a.computer.settings(), a.computer.link(), ports, settle, u"COM5");
        openSelectedLink(b.computer.settings(), b.computer.link(), ports, settle, u"COM6");
        const ComputerOptions workers{kTransferWorker | kReceiveWorker, 50};  // a poll every 50 ms
        ASSERT_TRUE(a.start(workers));
        ASSERT_TRUE(b.start(workers));
        ASSERT_TRUE(eventually([&] { return ready(a) && ready(b); }));

        TextMaker maker(20261206);
        ClipboardGrabber grabber(a.clipboard, b.clipboard);
        int lost = 0, altered = 0, interrupted = 0, readAgain = 0;
        size_t units = 0;
        auto clearTrace = [&] {  // counting the reads that failed and were repeated at the next poll
            for (size_t at = 0; (at = trace.out().find("read again at the next poll", at)) != std::string::npos; ++at)
                ++readAgain;
            trace.clear();
        };
        for (int i = 0; i < kTexts; ++i) {
            TestComputer& from = i % 2 == 0 ? a : b;
            TestComputer& to = i % 2 == 0 ? b : a;
            const std::u16string text = maker.next();
            units += text.size();
            const uint64_t carriedBefore = from.computer.transfersCarried();
            from.copyText(text);
            if (!arrives(to, text)) {
                // The sender may have said "Transfer interrupted"; then the user copies again.
                if (trace.contains(">>> Transfer interrupted") && from.computer.transfersCarried() > carriedBefore) {
                    ++interrupted;
                    clearTrace();
                    from.copyText(text);
                    if (arrives(to, text)) continue;
                }
                const bool got = to.pastedText().has_value();
                ++(got ? altered : lost);
                ADD_FAILURE() << "text " << i << " of " << text.size() << " units " << (got ? "altered" : "lost");
            }
            clearTrace();
        }
        EXPECT_EQ(lost, 0);
        EXPECT_EQ(altered, 0);
        EXPECT_LE(interrupted, kTexts / 20) << "interruptions are the device's, and rare";
        std::printf("soak: %d texts, %zu units, %d clipboard grabs, %d interrupted and sent again, %d reads repeated\n",
                    kTexts, units, grabber.grabs(), interrupted, readAgain);
    }
    server.stop();
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace shuttle
