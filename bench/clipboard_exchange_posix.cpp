// End to end in COM mode: the user copies a text on computer A; how long until it is on B's
// clipboard? Both computers run the real copy path and B its real receive thread (one poll a
// second) through the link simulator on pseudo-terminals. Each iteration's time is set against
// the protocol floor: one 20 ms exchange per frame sent, one per frame read back plus the probe,
// and the one-second poll period.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <thread>

#include "exchange/copy_path.h"
#include "exchange/receive_loop.h"
#include "base/print.h"
#include "platform/clipboard_formats.h"
#include "platform/clipboard_memory.h"
#include "platform/file_system_posix.h"
#include "platform/tty_serial_ports.h"
#include "serial/link_port.h"
#include "serial/link_protocol.h"
#include "base/utf8.h"
#include "tools/link-sim/pty_link_server.h"

namespace shuttle {
namespace {

class QuietTray final : public Tray {
public:
    void setIcon(uint16_t) override {}
    void showBalloon(const std::u16string&, const std::u16string&) override {}
    void beep(bool) override {}
};

struct Computer {
    Computer() : formatIds(ClipboardFormatIds::registerAll(registry)) { state.settings.flags = 0; }
    SharedState state;
    MemoryClipboard clipboard;
    QuietTray tray;
    PosixFileSystem files;
    CopyBuffer copyBuffer;
    MemoryClipboardFormatRegistry registry;
    ClipboardFormatIds formatIds;
    ExchangeContext context{state, clipboard, tray, systemClock(), files, systemGuidSource(), copyBuffer, formatIds};
};

void BM_CopyToPasteInComMode(benchmark::State& run) {
    setTraceSink([](TraceStream, const std::string&) {});
    const size_t units = static_cast<size_t>(run.range(0));
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
    Computer a, b;
    openSelectedLink(a.state, ports, systemClock(), u"COM5");
    openSelectedLink(b.state, ports, systemClock(), u"COM6");

    std::mutex mutex;
    std::condition_variable pasted;
    int pastes = 0;
    std::chrono::steady_clock::time_point pastedAt;
    b.clipboard.onChange([&] {
        std::lock_guard<std::mutex> lock(mutex);
        ++pastes;
        pastedAt = std::chrono::steady_clock::now();
        pasted.notify_all();
    });
    std::thread receiver([&] { receiveLoop(b.context); });

    std::u16string text(units, u'x');
    for (size_t i = 0; i < units; ++i) text[i] = char16_t(u'a' + i % 26);
    const size_t frames = buildMessageFrames(toUtf8(text), "{00000000-0000-0000-0000-000000000000}").size();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // B's first poll sees the device empty

    for (auto _ : run) {
        text[0] = text[0] == u'A' ? u'B' : u'A';  // a new text each time
        int before;
        {
            std::lock_guard<std::mutex> lock(mutex);
            before = pastes;
        }
        a.clipboard.userCopiesText(text);
        const auto copiedAt = std::chrono::steady_clock::now();
        runCopyPath(a.context);
        std::unique_lock<std::mutex> lock(mutex);
        if (!pasted.wait_for(lock, std::chrono::seconds(10), [&] { return pastes > before; })) {
            run.SkipWithError("the text never arrived");
            break;
        }
        run.SetIterationTime(std::chrono::duration<double>(pastedAt - copiedAt).count());
    }
    const double floorSeconds = double(frames + frames + 1) * 0.020 + 1.0;
    run.counters["frames"] = double(frames);
    run.counters["floor_ms"] = floorSeconds * 1000;
    b.state.running = 0;
    receiver.join();
    closePortAtExit(a.state);
    closePortAtExit(b.state);
    server.stop();
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_CopyToPasteInComMode)->Arg(10)->Arg(1000)->Arg(3000)->Iterations(6)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace shuttle
