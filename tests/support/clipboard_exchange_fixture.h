#pragma once
// Two computers in one process running the real copy path, transfer worker and receive poll:
// COM mode through the link simulator on pseudo-terminals, USB mode through one folder (E: and F:).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <atomic>
#include <functional>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "payload/payload_document.h"
#include "platform/tty_serial_ports.h"
#include "serial/link_port.h"
#include "support/manual_clock.h"
#include "support/test_computer.h"
#include "support/test_drives.h"
#include "support/trace_capture.h"
#include "tools/link-sim/pty_link_server.h"

namespace shuttle {

namespace exchange_fs = std::filesystem;
using Events = std::vector<std::string>;
using testing::TestComputer;

inline constexpr uint32_t kFormatBitmap = 2;
inline constexpr uint32_t kFormatText = 1;
inline constexpr uint32_t kFormatLocale = 16;
inline const std::string kStorage = "AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage";
inline const Events kCopied{"icon 155", "balloon Copy successful | Copy successful"};

// Counts the frames written while the watched clipboard is still open: none may be.
class WatchedPorts final : public SerialPorts {
public:
    WatchedPorts(SerialPorts& inner, const MemoryClipboard*& watched) : inner_(inner), watched_(watched) {}
    std::shared_ptr<SerialPort> open(uint32_t number, const SerialPortSettings& settings) override {
        std::shared_ptr<SerialPort> port = inner_.open(number, settings);
        return port ? std::make_shared<Port>(std::move(port), *this) : nullptr;
    }
    bool exists(uint32_t number) override { return inner_.exists(number); }
    std::atomic<int> writesWithClipboardOpen{0};
    std::atomic<int> writes{0};
    // Called before every frame goes out; set only while no transfer runs.
    std::function<void(const uint8_t* data, size_t size)> beforeWrite;

private:
    class Port final : public SerialPort {
    public:
        Port(std::shared_ptr<SerialPort> inner, WatchedPorts& owner) : inner_(std::move(inner)), owner_(owner) {}
        std::optional<size_t> write(const uint8_t* data, size_t size) override {
            if (owner_.beforeWrite) owner_.beforeWrite(data, size);
            ++owner_.writes;
            if (owner_.watched_ != nullptr && owner_.watched_->isOpenByUs()) ++owner_.writesWithClipboardOpen;
            return inner_->write(data, size);
        }
        std::optional<size_t> read(uint8_t* buffer, size_t size) override { return inner_->read(buffer, size); }
        bool purge() override { return inner_->purge(); }
        std::optional<SerialErrorState> clearErrors() override { return inner_->clearErrors(); }
        bool flush() override { return inner_->flush(); }
        void cancel() override { inner_->cancel(); }
        void close() override { inner_->close(); }

    private:
        std::shared_ptr<SerialPort> inner_;
        WatchedPorts& owner_;
    };
    SerialPorts& inner_;
    const MemoryClipboard*& watched_;
};

class ClipboardExchange : public ::testing::Test {
protected:
    ClipboardExchange() {
        char pattern[] = "/tmp/shuttle-exchange-XXXXXX";
        folder = ::mkdtemp(pattern);
        exchange_fs::create_directory(folder + "/drive");
        exchange_fs::create_directory(folder + "/src");
    }
    ~ClipboardExchange() override {
        a.reset(), b.reset();
        if (server) server->stop();
        exchange_fs::remove_all(folder);
    }

    // Both computers, balloons on for A.
    void makeComputers(Clock& clock = systemClock()) {
        a = std::make_unique<TestComputer>('E', folder + "/drive", watchedPorts, clock);
        b = std::make_unique<TestComputer>('F', folder + "/drive", watchedPorts, clock);
        a->files.mapDrive('C', folder + "/src");
        a->computer.settings().flags = kFlagShowNotifications;
        ASSERT_TRUE(a->start());
        ASSERT_TRUE(b->start());
    }
    void makeUsbComputers(Clock& clock = systemClock()) {
        makeComputers(clock);
        a->useUsb();
        b->useUsb();
    }
    // Both computers on the simulator's ports; when `probed`, a first poll on each side has seen the
    // device empty, as the receive threads do at start.
    void openSerial(bool probed = true) {
        makeComputers();
        server = std::make_unique<linksim::PtyLinkServer>(std::vector<std::string>{folder + "/comA", folder + "/comB"});
        std::string error;
        ASSERT_TRUE(server->start(error)) << error;
        ports.mapPort(5, folder + "/comA");
        ports.mapPort(6, folder + "/comB");
        openSelectedLink(a->computer.settings(), a->computer.link(), watchedPorts, settle, u"COM5");
        openSelectedLink(b->computer.settings(), b->computer.link(), watchedPorts, settle, u"COM6");
        ASSERT_EQ(a->computer.link().linkConnected.load(), 1);
        ASSERT_EQ(b->computer.link().linkConnected.load(), 1);
        if (!probed) return;
        a->computer.pollOnce();
        b->computer.pollOnce();
    }
    void writeSource(const std::string& relative, const std::string& bytes) {
        exchange_fs::create_directories(exchange_fs::path(folder + "/src/" + relative).parent_path());
        std::ofstream(folder + "/src/" + relative, std::ios::binary) << bytes;
    }
    std::string driveFile(const std::string& relative) {
        std::ifstream in(folder + "/drive/" + relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void writeMeta(const std::string& document) {
        std::ofstream(folder + "/drive/" + kMetaDataFileName, std::ios::binary | std::ios::trunc) << document;
    }
    // A document of one format, as another program writes it; `guidEnd` tells documents apart.
    void writeMetaByOtherProgram(const std::string& name, const std::string& base64, char guidEnd = '6') {
        writeMeta(std::string("{\"GUID\":\"{0F0F0F0F-1111-4222-8333-44445555666") + guidEnd + "}\",\"data\":[\"" +
                  base64 + "\"],\"formats\":[\"" + name + "\"]}");
    }
    std::string sentGuid() {  // the GUID the copy path made last
        const std::string out = trace.out();
        const size_t at = out.rfind(">>> NEW GUID=") + 13;
        return at < 13 ? "" : out.substr(at, out.find('\n', at) - at);
    }
    static int count(const std::string& text, const std::string& piece) {
        int found = 0;
        for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++found;
        return found;
    }
    static std::vector<uint8_t> textBlock(const std::u16string& text) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(text.c_str());
        return {bytes, bytes + (text.size() + 1) * 2};
    }
    static std::vector<uint8_t> ansiBlock(const std::string& s) { return {s.c_str(), s.c_str() + s.size() + 1}; }
    static std::string base64Of(const std::vector<uint8_t>& bytes) { return base64Encode(bytes.data(), bytes.size()); }
    // A 24-bit bottom-up CF_DIB block: BITMAPINFOHEADER and rows padded to four bytes.
    static std::vector<uint8_t> testDib(uint32_t width, uint32_t height) {
        const uint32_t pixelBytes = (width * 3 + 3) / 4 * 4 * height;
        const uint32_t header[] = {40, width, height, 1 | 24 << 16, 0, pixelBytes};  // a little-endian host
        std::vector<uint8_t> bytes(40 + pixelBytes, 0);
        std::memcpy(bytes.data(), header, sizeof header);
        for (size_t i = 40; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
        return bytes;
    }
    std::vector<std::string> namesInStorage() { return testing::namesIn(a->files, "E:\\" + kStorage); }

    testing::TraceCapture trace;
    std::string folder;
    std::unique_ptr<linksim::PtyLinkServer> server;
    TtySerialPorts ports;
    const MemoryClipboard* watchedClipboard = nullptr;
    WatchedPorts watchedPorts{ports, watchedClipboard};
    testing::ManualClock settle;
    std::unique_ptr<TestComputer> a, b;  // last: they go before the ports they use
};

}  // namespace shuttle
