// What one receive poll in USB mode costs for large and hostile META data files: a computer
// built as the program builds one, its store drive F: a temporary folder, polled once per
// iteration with a document of a fresh GUID (written between iterations, outside the timing).
//
// Counters:
//   file_MiB     the META data file's size
//   peak_MiB     the most heap the poll held at once beyond what was held before it (a counting
//                operator new), the file's own bytes included
//   ratio        peak_MiB / file_MiB (goal: a few times at most)
//   lines        trace lines the poll printed (goal: about 20 at most)
//   pasted       1 when the poll put something on the clipboard
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <stdlib.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>

#include "app/computer.h"
#include "base/print.h"
#include "payload/payload_document.h"
#include "platform/clipboard_formats.h"
#include "platform/clipboard_memory.h"
#include "platform/file_system_posix.h"
#include "platform/tty_serial_ports.h"
#include "store/store_layout.h"

namespace {

std::atomic<size_t> heldBytes{0};
std::atomic<size_t> peakBytes{0};

void noteAllocated(void* block) {
    const size_t now = heldBytes.fetch_add(malloc_usable_size(block)) + malloc_usable_size(block);
    size_t peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
}

}  // namespace

void* operator new(size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    noteAllocated(block);
    return block;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // the pair is malloc and free throughout
void operator delete(void* block) noexcept {
    if (block == nullptr) return;
    heldBytes.fetch_sub(malloc_usable_size(block));
    std::free(block);
}

void operator delete(void* block, size_t) noexcept { operator delete(block); }
#pragma GCC diagnostic pop

namespace shuttle {
namespace {

constexpr double kMiB = 1024.0 * 1024.0;
const std::string kStoredPath = "E:\\AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage\\2024_05_17_09_30_12\\";

class QuietTray final : public Tray {
public:
    void setIcon(uint16_t) override {}
    void showBalloon(const std::u16string&, const std::u16string&) override {}
    void beep(bool) override {}
    void restore() override {}
    void setTip(const std::u16string&) override {}
};

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

// The receiving computer, polled by hand, its drive F: a fresh temporary folder.
struct Receiver {
    Receiver()
        : folder(makeFolder()),
          formatIds(ClipboardFormatIds::registerAll(registry)),
          computer({systemClock(), files, systemGuidSource(), ports, systemDeviceQuery(), formatIds, nullptr}) {
        files.mapDrive('F', folder);
        computer.settings().flags = 0;
        computer.settings().setFlag(kFlagUsbMode, true);
        computer.settings().storeSelection.set(u"Link drive (F:)");
        computer.link().setReadiness(true, true);
        computer.link().linkConnected = 1;
        computer.start({clipboard, tray, panel}, {0});
    }
    ~Receiver() {
        computer.stop();
        std::filesystem::remove_all(folder);
    }
    static std::string makeFolder() {
        char pattern[] = "/tmp/shuttle-drive-poll-XXXXXX";
        return ::mkdtemp(pattern);
    }
    void writeMeta(const std::string& bytes) {
        std::ofstream(folder + "/" + kMetaDataFileName, std::ios::binary | std::ios::trunc) << bytes;
    }

    std::string folder;
    MemoryClipboard clipboard;
    QuietTray tray;
    NoPanel panel;
    PosixFileSystem files;
    TtySerialPorts ports;
    MemoryClipboardFormatRegistry registry;
    ClipboardFormatIds formatIds;
    Computer computer;
};

std::string guidNumber(int number) {
    char text[64];
    std::snprintf(text, sizeof text, "{0F0F0F0F-1111-4222-8333-%012X}", number);
    return text;
}

// The shapes; `guid` is the GUID text, `budget` about how many bytes the document may take.
using Shape = std::string (*)(const std::string& guid, size_t budget);

std::string repeated(const std::string& piece, size_t bytes) {
    std::string text;
    text.reserve(bytes + piece.size());
    while (text.size() + piece.size() <= bytes) text += piece;
    return text;
}

// Not JSON: bare words between commas, read as far as the first of them.
std::string dataPieces(const std::string& guid, size_t budget) {
    const std::string head = "{\"GUID\":\"" + guid + "\",\"data\":[[";
    const std::string tail = "a]],\"formats\":[\"CF_HDROP\"]}";
    return head + repeated("a,", budget - head.size() - tail.size()) + tail;
}

std::string formatPieces(const std::string& guid, size_t budget) {
    const std::string head = "{\"GUID\":\"" + guid + "\",\"data\":[],\"formats\":[";
    const std::string tail = "a]}";
    return head + repeated("a,", budget - head.size() - tail.size()) + tail;
}

// JSON, millions of tiny items: empty strings, or numbers where paths belong.
std::string emptyStrings(const std::string& guid, size_t budget) {
    const std::string head = "{\"GUID\":\"" + guid + "\",\"data\":[[";
    const std::string tail = "\"\"]],\"formats\":[\"CF_HDROP\"]}";
    return head + repeated("\"\",", budget - head.size() - tail.size()) + tail;
}

std::string tinyNumbers(const std::string& guid, size_t budget) {
    const std::string head = "{\"GUID\":\"" + guid + "\",\"data\":[[";
    const std::string tail = "0]],\"formats\":[\"CF_HDROP\"]}";
    return head + repeated("0,", budget - head.size() - tail.size()) + tail;
}

// One unknown member holding a string of almost the whole file, never closed.
std::string unclosedMember(const std::string& guid, size_t budget) {
    const std::string head = "{\"GUID\":\"" + guid + "\",\"data\":[],\"formats\":[],\"x\":\"";
    return head + std::string(budget - head.size(), 'A');
}

std::string nestedBrackets(const std::string& guid, size_t budget) {
    const std::string head = "{\"GUID\":\"" + guid + "\",\"data\":";
    const std::string tail = ",\"formats\":[\"CF_HDROP\"]}";
    const size_t depth = (budget - head.size() - tail.size()) / 2;
    return head + std::string(depth, '[') + std::string(depth, ']') + tail;
}

std::string unclosedGuid(const std::string& guid, size_t budget) {
    const std::string head = "{\"GUID\":\"" + guid;
    return head + std::string(budget - head.size(), 'A');
}

// `escaped`: as a standard JSON writer writes them, each backslash doubled.
std::string paths(const std::string& guid, size_t count, const std::string& leaf, bool escaped = false) {
    std::string text = "{\"GUID\":\"" + guid + "\",\"data\":[[";
    std::string item = "\"" + kStoredPath + leaf + "\"";
    for (size_t at = item.find('\\'); escaped && at != std::string::npos; at = item.find('\\', at + 2)) item.insert(at, 1, '\\');
    text.reserve(count * (item.size() + 1) + 64);
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) text += ',';
        text += item;
    }
    return text + "]],\"formats\":[\"CF_HDROP\"]}";
}

size_t pathsWithin(size_t budget, const std::string& leaf) { return budget / (kStoredPath.size() + leaf.size() + 3); }

std::string validPaths200k(const std::string& guid, size_t) { return paths(guid, 200000, "report.txt"); }
std::string validPaths20k(const std::string& guid, size_t) { return paths(guid, 20000, "report.txt"); }
std::string escapedPaths200k(const std::string& guid, size_t) { return paths(guid, 200000, "r.txt", true); }  // under 16 MiB

std::string widePaths(const std::string& guid, size_t budget) {
    const std::string leaf = "\xE6\x96\x87\xE4\xBB\xB6-\xC3\xA9t\xC3\xA9.txt";  // 文件-été.txt
    return paths(guid, pathsWithin(budget, leaf), leaf);
}

// A picture of 1024 x 3000 pixels, 24 bits each (9 MB), carried inline beside a line of text.
std::string inlinePicture(const std::string& guid, size_t) {
    const uint32_t width = 1024, height = 3000, rowBytes = width * 3;
    std::vector<uint8_t> dib(40 + size_t(rowBytes) * height, 0x5A);
    const uint32_t header[] = {40, width, height, 1 | 24 << 16, 0, rowBytes * height, 0, 0, 0, 0};
    std::memcpy(dib.data(), header, sizeof header);  // a little-endian host
    const std::vector<uint8_t> text{'p', 0, 'x', 0, 0, 0};
    JsonValue document(JsonValue::Kind::Object);
    assembleInlineDocument(document, guid, {{"CF_DIB", std::move(dib)}, {"CF_UNICODETEXT", text}});
    std::ostringstream out;
    document.writeTo(out);
    return out.str();
}

void BM_DrivePoll(benchmark::State& run, Shape shape) {
    size_t lines = 0;
    setTraceSink([&lines](TraceStream, const std::string& text) {
        for (char c : text) lines += c == '\n';
    });
    const size_t budget = 16 * 1024 * 1024 - 64;
    Receiver receiver;
    int number = 0;
    size_t fileBytes = 0, peak = 0, pollLines = 0;
    int pasted = 0;
    for (auto _ : run) {
        run.PauseTiming();
        {
            const std::string document = shape(guidNumber(++number), budget);
            fileBytes = document.size();
            receiver.writeMeta(document);
        }
        const int changes = receiver.clipboard.changeCount();
        lines = 0;
        const size_t before = heldBytes.load();
        peakBytes = before;
        run.ResumeTiming();

        receiver.computer.pollOnce();

        run.PauseTiming();
        peak = std::max(peak, peakBytes.load() - before);
        pollLines = lines;
        pasted = receiver.clipboard.changeCount() != changes;
        run.ResumeTiming();
    }
    setTraceSink(nullptr);
    run.counters["file_MiB"] = double(fileBytes) / kMiB;
    run.counters["peak_MiB"] = double(peak) / kMiB;
    run.counters["ratio"] = double(peak) / double(fileBytes);
    run.counters["lines"] = double(pollLines);
    run.counters["pasted"] = pasted;
}

BENCHMARK_CAPTURE(BM_DrivePoll, data_a_pieces, dataPieces)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_DrivePoll, format_a_pieces, formatPieces)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_DrivePoll, empty_strings, emptyStrings)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_DrivePoll, tiny_numbers, tinyNumbers)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_DrivePoll, unclosed_member, unclosedMember)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_DrivePoll, nested_brackets, nestedBrackets)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_DrivePoll, unclosed_guid, unclosedGuid)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_DrivePoll, paths_20k, validPaths20k)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_DrivePoll, paths_200k, validPaths200k)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_DrivePoll, escaped_paths_200k, escapedPaths200k)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_DrivePoll, wide_paths, widePaths)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_DrivePoll, inline_picture, inlinePicture)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace shuttle
