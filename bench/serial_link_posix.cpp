// Sending and receiving a 3000-character text through the link simulator on real
// pseudo-terminals, against the protocol's floor: every exchange waits at least 20 ms before it
// looks for the answer, so a message of n frames and the probe that checks it was stored cannot
// be written faster than (n + 1) x 20 ms, and receiving it costs the probe plus n read exchanges. The goal is at most 1.10 times the floor
// for both directions.

#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "base/print.h"
#include "platform/tty_serial_ports.h"
#include "serial/link_port.h"
#include "serial/link_protocol.h"
#include "serial/link_text.h"
#include "serial/serial_drivers.h"
#include "tools/link-sim/pty_link_server.h"

namespace shuttle {
namespace {

constexpr double kExchangeFloorSeconds = 0.020;

std::u16string text3000() {
    std::u16string text;
    for (size_t i = 0; i < 3000; ++i) text.push_back(u"Shuttle carries the clipboard. "[i % 31]);
    return text;
}

// What one computer keeps of the link.
struct Side {
    Settings settings;
    LinkState link;
    GuidMemory memory;
};

// Two computers on the simulated device: A on COM5, B on COM6.
class TwoSides {
public:
    TwoSides() {
        setTraceSink([](TraceStream, const std::string&) {});
        char pattern[] = "/tmp/link-sim-bench-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("no temporary folder");
        folder_ = pattern;
        server_ = std::make_unique<linksim::PtyLinkServer>(std::vector<std::string>{folder_ + "/comA", folder_ + "/comB"});
        std::string error;
        if (!server_->start(error)) throw std::runtime_error("link-sim: " + error);
        ports_.mapPort(5, folder_ + "/comA");
        ports_.mapPort(6, folder_ + "/comB");
        openSelectedLink(a.settings, a.link, ports_, systemClock(), u"COM5");
        openSelectedLink(b.settings, b.link, ports_, systemClock(), u"COM6");
        if (a.link.linkConnected.load() != 1 || b.link.linkConnected.load() != 1)
            throw std::runtime_error("a port did not open");
        std::u16string ignored;
        receive(b, ignored);  // finds the device empty: what arrives from now on is news
    }
    ~TwoSides() {
        closePortAtExit(a.link);
        closePortAtExit(b.link);
        server_->stop();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
        setTraceSink(nullptr);
    }

    // The copy path's part: a fresh GUID recorded before the send, under the link mutex.
    bool send(Side& side, const std::u16string& text) {
        char guid[40];
        std::snprintf(guid, sizeof guid, "{%08X-0000-4000-8000-%012X}", ++guids_, 0xBE4C4u);
        return sendAsLastSent(side.link, side.memory, systemClock(), text, guid);
    }
    size_t receive(Side& side, std::u16string& out) {
        const SerialReceipt receipt = receiveNewText(side.link, side.memory, side.link.portNumber, systemClock(), out);
        return receipt == SerialReceipt::Text ? out.size() : 0;
    }

    Side a, b;

private:
    std::string folder_;
    std::unique_ptr<linksim::PtyLinkServer> server_;
    TtySerialPorts ports_;
    unsigned guids_ = 0;
};

size_t framesOf(const std::u16string& text) {
    return buildMessageFrames(encodeLinkText(text), "{00000000-0000-4000-8000-000000000000}").size();
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void report(benchmark::State& run, size_t frames, size_t exchanges, double totalSeconds) {
    const double perMessage = totalSeconds / double(run.iterations());
    run.counters["frames"] = double(frames);
    run.counters["exchanges"] = double(exchanges);
    run.counters["floor_ms"] = double(exchanges) * kExchangeFloorSeconds * 1e3;
    run.counters["ms"] = perMessage * 1e3;
    run.counters["ratio"] = perMessage / (double(exchanges) * kExchangeFloorSeconds);
    run.counters["ratio_frames_only"] = perMessage / (double(frames) * kExchangeFloorSeconds);
}

// Writing the message: one exchange per frame, and the probe that finds it stored.
void BM_SendText3000(benchmark::State& run) {
    TwoSides sides;
    const std::u16string text = text3000();
    const size_t frames = framesOf(text);
    double total = 0;
    for (auto _ : run) {
        const auto start = std::chrono::steady_clock::now();
        const bool sent = sides.send(sides.a, text);
        const double seconds = secondsSince(start);
        if (!sent) {
            run.SkipWithError("the send failed");
            return;
        }
        run.SetIterationTime(seconds);
        total += seconds;
    }
    report(run, frames, frames + 1, total);
}
BENCHMARK(BM_SendText3000)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// Fetching it on the other side: the probe, then one read exchange per frame. The send that
// puts a new message on the device is not timed.
void BM_ReceiveText3000(benchmark::State& run) {
    TwoSides sides;
    const std::u16string text = text3000();
    const size_t frames = framesOf(text);
    double total = 0;
    for (auto _ : run) {
        if (!sides.send(sides.a, text)) {
            run.SkipWithError("the send failed");
            return;
        }
        std::u16string out;
        const auto start = std::chrono::steady_clock::now();
        const size_t got = sides.receive(sides.b, out);
        const double seconds = secondsSince(start);
        if (got != text.size() || out != text) {
            run.SkipWithError("the text did not arrive intact");
            return;
        }
        run.SetIterationTime(seconds);
        total += seconds;
    }
    report(run, frames, frames + 1, total);
}
BENCHMARK(BM_ReceiveText3000)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace shuttle
