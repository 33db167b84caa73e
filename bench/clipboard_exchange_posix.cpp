// End to end in COM mode, with two computers built as the program builds them: the user copies
// a text on computer A; how long until it is on B's clipboard, and what do the clipboard and
// the window thread suffer meanwhile? Both computers run their transfer worker and receive
// thread (one poll a second) through the link simulator on pseudo-terminals.
//
// Counters:
//   ms, floor_ms    copy-to-paste time against the protocol floor (one 20 ms exchange per frame
//                   sent, one per frame read back plus the probe, and the one-second period)
//   window_ms       the longest the window thread's part of the copy took (reading the
//                   clipboard and handing the copy over)
//   busy_ms         the longest stretch in which another program, opening A's clipboard every
//                   5 ms, was refused while the copy was carried
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <thread>

#include "app/computer.h"
#include "base/print.h"
#include "base/utf8.h"
#include "platform/clipboard_formats.h"
#include "platform/clipboard_memory.h"
#include "platform/file_system_posix.h"
#include "platform/tty_serial_ports.h"
#include "serial/link_port.h"
#include "serial/link_protocol.h"
#include "tools/link-sim/pty_link_server.h"

namespace shuttle {
namespace {

using SteadyClock = std::chrono::steady_clock;

class QuietTray final : public Tray {
public:
    void setIcon(uint16_t) override {}
    void showBalloon(const std::u16string&, const std::u16string&) override {}
    void setTip(const std::u16string&) override {}
    void beep(bool) override {}
    void restore() override {}
};

// The supervisor does not run here: the ports are opened once by the benchmark.
class NoPanel final : public LinkPanel {
public:
    void resetLinks() override {}
    int addLink(const std::u16string&) override { return -1; }
    int linkCount() override { return 0; }
    bool selectLink(int) override { return false; }
    bool selectLinkByName(const std::u16string&) override { return false; }
    int currentLink() override { return -1; }
    std::u16string linkText(int) override { return {}; }
    int measureLinkText(const std::u16string&) override { return 0; }
    void setLinkDroppedWidth(int) override {}
    void enableLinks(bool) override {}
    std::u16string linkButtonCaption() override { return {}; }
    void setLinkButtonCaption(const std::u16string&) override {}
    void setStatusText(const std::u16string&) override {}
    void addSize(const std::u16string&) override {}
    bool selectSize(const std::u16string&) override { return false; }
    int currentSize() override { return -1; }
    void showControl(ModeControl, bool) override {}
};

struct BenchComputer {
    explicit BenchComputer(SerialPorts& ports)
        : formatIds(ClipboardFormatIds::registerAll(registry)),
          computer({systemClock(), files, systemGuidSource(), ports, systemDeviceQuery(), formatIds, nullptr}) {
        computer.settings().flags = 0;
    }
    MemoryClipboard clipboard;
    QuietTray tray;
    NoPanel panel;
    PosixFileSystem files;
    MemoryClipboardFormatRegistry registry;
    ClipboardFormatIds formatIds;
    Computer computer;
};

// Another program that opens the clipboard every 5 ms and notes the longest refusal.
class ClipboardProber {
public:
    explicit ClipboardProber(MemoryClipboard& clipboard) : clipboard_(clipboard), thread_([this] { run(); }) {}
    ~ClipboardProber() {
        done_ = true;
        thread_.join();
    }
    double longestRefusalMs() const { return longestMs_.load(); }

private:
    void run() {
        SteadyClock::time_point refusedSince{};
        bool refused = false;
        while (!done_) {
            const auto now = SteadyClock::now();
            if (clipboard_.openAsOtherProgram()) {
                clipboard_.closeAsOtherProgram();
                refused = false;
            } else if (!refused) {
                refused = true;
                refusedSince = now;
            } else {
                const double ms = std::chrono::duration<double, std::milli>(now - refusedSince).count();
                if (ms > longestMs_.load()) longestMs_ = ms;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    MemoryClipboard& clipboard_;
    std::atomic<bool> done_{false};
    std::atomic<double> longestMs_{0};
    std::thread thread_;
};

// The window thread's part of a clipboard change, as its timer repeats it while another
// program holds the clipboard; gives the longest single call in milliseconds.
double windowThreadPart(Computer& computer) {
    double longest = 0;
    for (bool first = true;; first = false) {
        const auto start = SteadyClock::now();
        const bool again = first ? computer.onClipboardChange() : computer.onClipboardLookAgain();
        longest = std::max(longest, std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count());
        if (!again) return longest;
        std::this_thread::sleep_for(std::chrono::milliseconds(kCopyRetryMs));
    }
}

std::u16string textOf(size_t units, bool cjk) {
    std::u16string text(units, u'x');
    for (size_t i = 0; i < units; ++i) text[i] = cjk ? char16_t(0x4E00 + i % 2000) : char16_t(u'a' + i % 26);
    return text;
}

void BM_CopyToPasteInComMode(benchmark::State& run) {
    if (std::getenv("SHUTTLE_BENCH_TRACE") == nullptr) setTraceSink([](TraceStream, const std::string&) {});
    const size_t units = static_cast<size_t>(run.range(0));
    const bool cjk = run.range(1) != 0;
    char pattern[] = "/tmp/shuttle-e2e-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    linksim::PtyLinkServer server({folder + "/comA", folder + "/comB"});
    std::string error;
    if (!server.start(error)) {
        run.SkipWithError(error.c_str());
        return;
    }
    TtySerialPorts ports;
    ports.mapPort(5, folder + "/comA");
    ports.mapPort(6, folder + "/comB");
    auto a = std::make_unique<BenchComputer>(ports);
    auto b = std::make_unique<BenchComputer>(ports);
    openSelectedLink(a->computer.settings(), a->computer.link(), ports, systemClock(), u"COM5");
    openSelectedLink(b->computer.settings(), b->computer.link(), ports, systemClock(), u"COM6");
    a->computer.start({a->clipboard, a->tray, a->panel}, {kTransferWorker});
    a->computer.pollOnce();  // A sees the device ready to take a message

    std::mutex mutex;
    std::condition_variable pasted;
    int pastes = 0;
    SteadyClock::time_point pastedAt;
    b->clipboard.onChange([&] {
        std::lock_guard<std::mutex> lock(mutex);
        ++pastes;
        pastedAt = SteadyClock::now();
        pasted.notify_all();
    });
    b->computer.start({b->clipboard, b->tray, b->panel}, {kReceiveWorker});
    // B's first poll finds the device empty: what arrives from then on is news to it.
    while (b->computer.link().seenEmptyPort == kNoComPort) std::this_thread::sleep_for(std::chrono::milliseconds(10));

    std::u16string text = textOf(units, cjk);
    const size_t frames = buildMessageFrames(toUtf8(text), "{00000000-0000-0000-0000-000000000000}").size();
    double windowMs = 0, busyMs = 0;
    for (auto _ : run) {
        text[0] = text[0] == u'A' ? u'B' : u'A';  // a new text each time
        int before;
        {
            std::lock_guard<std::mutex> lock(mutex);
            before = pastes;
        }
        a->clipboard.userCopiesText(text);
        ClipboardProber prober(a->clipboard);
        const auto copiedAt = SteadyClock::now();
        windowMs = std::max(windowMs, windowThreadPart(a->computer));
        std::unique_lock<std::mutex> lock(mutex);
        if (!pasted.wait_for(lock, std::chrono::seconds(30), [&] { return pastes > before; })) {
            run.SkipWithError("the text never arrived");
            break;
        }
        run.SetIterationTime(std::chrono::duration<double>(pastedAt - copiedAt).count());
        lock.unlock();
        a->computer.waitForTransfers(30000);
        busyMs = std::max(busyMs, prober.longestRefusalMs());
    }
    const double floorSeconds = double(frames + frames + 1) * 0.020 + 1.0;
    run.counters["frames"] = double(frames);
    run.counters["floor_ms"] = floorSeconds * 1000;
    run.counters["window_ms"] = windowMs;
    run.counters["busy_ms"] = busyMs;
    b.reset();
    a.reset();
    server.stop();
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_CopyToPasteInComMode)
    ->Args({10, 0})
    ->Args({1000, 0})
    ->Args({3000, 0})
    ->Args({3000, 1})
    ->Iterations(4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// USB mode: the user copies a folder of 90 files of 1 MB on A; the store write runs on the
// transfer worker while another program keeps opening A's clipboard.
void BM_StoreWriteOfNinetyMegabytes(benchmark::State& run) {
    setTraceSink([](TraceStream, const std::string&) {});
    char pattern[] = "/tmp/shuttle-usb-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    std::filesystem::create_directories(folder + "/source/tree");
    std::filesystem::create_directories(folder + "/drive");
    const std::string megabyte(1 << 20, 'm');
    for (int i = 0; i < 90; ++i) {
        FILE* file = std::fopen((folder + "/source/tree/file" + std::to_string(i) + ".bin").c_str(), "wb");
        if (file == nullptr || std::fwrite(megabyte.data(), 1, megabyte.size(), file) != megabyte.size()) {
            run.SkipWithError("cannot write the source tree");
            return;
        }
        std::fclose(file);
    }
    TtySerialPorts ports;
    BenchComputer a(ports);
    a.files.mapDrive('C', folder + "/source");
    a.files.mapDrive('E', folder + "/drive");
    Settings& settings = a.computer.settings();
    settings.setFlag(kFlagUsbMode, true);
    settings.storeSelection.set(u"Bench drive (E:)");
    settings.sizeLimit = 104857600;
    a.computer.link().setReadiness(true, true);
    a.computer.link().linkConnected = 1;
    a.computer.start({a.clipboard, a.tray, a.panel}, {kTransferWorker});

    double windowMs = 0, busyMs = 0;
    for (auto _ : run) {
        a.clipboard.userCopiesFiles({u"C:\\tree"});
        ClipboardProber prober(a.clipboard);
        const auto copiedAt = SteadyClock::now();
        windowMs = std::max(windowMs, windowThreadPart(a.computer));
        a.computer.waitForTransfers(600000);
        run.SetIterationTime(std::chrono::duration<double>(SteadyClock::now() - copiedAt).count());
        busyMs = std::max(busyMs, prober.longestRefusalMs());
    }
    run.counters["window_ms"] = windowMs;
    run.counters["busy_ms"] = busyMs;
    run.counters["megabytes"] = 90;
    a.computer.stop();
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_StoreWriteOfNinetyMegabytes)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace shuttle
