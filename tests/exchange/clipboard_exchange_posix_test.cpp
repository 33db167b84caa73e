// Two computers in one process: each is a SharedState with its own in-memory clipboard, tray
// and files, running the real copy path and receive poll. COM mode goes through the simulated
// link device on pseudo-terminals; USB mode through one folder mapped as E: on the first
// computer and F: on the second.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "exchange/copy_path.h"
#include "exchange/receive_loop.h"
#include "payload/json_value.h"
#include "platform/clipboard_formats.h"
#include "platform/clipboard_memory.h"
#include "platform/file_system_posix.h"
#include "platform/tty_serial_ports.h"
#include "serial/link_port.h"
#include "store/store_layout.h"
#include "support/manual_clock.h"
#include "support/recording_tray.h"
#include "support/trace_capture.h"
#include "tools/link-sim/pty_link_server.h"

namespace shuttle {
namespace {

namespace fs = std::filesystem;
using Events = std::vector<std::string>;

constexpr uint32_t kFormatBitmap = 2;
constexpr uint32_t kFormatText = 1;

struct Computer {
    Computer(char driveLetter, const std::string& sharedFolder)
        : formatIds(ClipboardFormatIds::registerAll(formatRegistry)), letter(driveLetter) {
        files.mapDrive(letter, sharedFolder);
        state.settings.flags = 0;  // no balloon, no sound: each test turns on what it looks at
    }
    void useUsb() {
        state.settings.setFlag(kFlagUsbMode, true);
        state.settings.storeSelection.set(u"Link drive (" + std::u16string(1, char16_t(letter)) + u":)");
        state.link.copyReady = state.link.pasteReady = state.link.linkConnected = 1;
    }
    std::string root() const { return driveRoot(letter); }

    SharedState state;
    MemoryClipboard clipboard;
    testing::RecordingTray tray;
    PosixFileSystem files;
    CopyBuffer copyBuffer;
    MemoryClipboardFormatRegistry formatRegistry;
    ClipboardFormatIds formatIds;
    char letter;
    ExchangeContext context{state, clipboard, tray, systemClock(), files, systemGuidSource(), copyBuffer, formatIds};
};

class ClipboardExchange : public ::testing::Test {
protected:
    ClipboardExchange() {
        char pattern[] = "/tmp/shuttle-exchange-XXXXXX";
        folder = ::mkdtemp(pattern);
        fs::create_directory(folder + "/drive");
        fs::create_directory(folder + "/src");
        a = std::make_unique<Computer>('E', folder + "/drive");
        b = std::make_unique<Computer>('F', folder + "/drive");
        a->files.mapDrive('C', folder + "/src");
    }
    ~ClipboardExchange() override {
        closePortAtExit(a->state);
        closePortAtExit(b->state);
        if (server) server->stop();
        fs::remove_all(folder);
    }

    void connectSerial() {
        server = std::make_unique<linksim::PtyLinkServer>(std::vector<std::string>{folder + "/comA", folder + "/comB"});
        std::string error;
        ASSERT_TRUE(server->start(error)) << error;
        ports.mapPort(5, folder + "/comA");
        ports.mapPort(6, folder + "/comB");
        openSelectedLink(a->state, ports, settle, u"COM5");
        openSelectedLink(b->state, ports, settle, u"COM6");
        ASSERT_EQ(a->state.link.linkConnected.load(), 1);
        ASSERT_EQ(b->state.link.linkConnected.load(), 1);
        // A first poll on each side sees the device empty, as the receive threads do at start.
        pollLinkOnce(a->context);
        pollLinkOnce(b->context);
    }

    // The user copies on `from`; the window thread runs the copy path for the change.
    static void copyText(Computer& from, const std::u16string& text) {
        from.clipboard.userCopiesText(text);
        runCopyPath(from.context);
    }
    static std::optional<std::u16string> pastedText(Computer& at) {
        auto block = at.clipboard.data(kFormatUnicodeText);
        if (!block || block->size() < 2) return std::nullopt;
        std::u16string text(block->size() / 2, u'\0');
        std::memcpy(text.data(), block->data(), text.size() * 2);
        while (!text.empty() && text.back() == u'\0') text.pop_back();
        return text;
    }
    void writeSource(const std::string& relative, const std::string& bytes) {
        fs::create_directories(fs::path(folder + "/src/" + relative).parent_path());
        std::ofstream(folder + "/src/" + relative, std::ios::binary) << bytes;
    }
    std::string driveFile(const std::string& relative) {
        std::ifstream in(folder + "/drive/" + relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void writeMetaByOtherProgram(const std::string& name, const std::string& base64) {
        JsonValue document(JsonValue::Kind::Object);
        document["GUID"] = JsonValue("{0F0F0F0F-1111-4222-8333-444455556666}");
        JsonValue formats(JsonValue::Kind::Array);
        formats.append(JsonValue(name));
        document["formats"] = formats;
        JsonValue data(JsonValue::Kind::Array);
        data.append(JsonValue(base64));
        document["data"] = data;
        std::ofstream out(folder + "/drive/" + kMetaDataFileName, std::ios::binary);
        document.writeTo(out);
    }

    testing::TraceCapture trace;
    std::string folder;
    std::unique_ptr<Computer> a, b;
    std::unique_ptr<linksim::PtyLinkServer> server;
    TtySerialPorts ports;
    testing::ManualClock settle;
};

TEST_F(ClipboardExchange, ComTextTravelsBothWaysWithCjkAndEmoji) {
    connectSerial();
    b->state.settings.flags = kFlagShowNotifications | kFlagPlaySound;
    const std::u16string there = u"Grüße \u4e2d\u6587\u6f22\u5b57 \U0001F600\U0001F680 end";
    copyText(*a, there);
    EXPECT_EQ(a->tray.events(), Events{"icon 155"}) << trace.out();
    pollLinkOnce(b->context);
    EXPECT_EQ(pastedText(*b), there) << trace.out();
    EXPECT_EQ(b->clipboard.data(kFormatUnicodeText)->size(), there.size() * 2 + 2);
    EXPECT_EQ(b->tray.events(), (Events{"beep asterisk", "balloon Data received | Ready to paste"}));

    const std::u16string back = u"and back \u3042\u3044";
    copyText(*b, back);
    pollLinkOnce(a->context);
    EXPECT_EQ(pastedText(*a), back) << trace.out();
}

TEST_F(ClipboardExchange, ComTextLimitIsThreeThousandUnits) {
    connectSerial();
    a->state.settings.flags = kFlagShowNotifications | kFlagPlaySound;
    const std::u16string exactly(3000, u'x');
    copyText(*a, exactly);
    pollLinkOnce(b->context);
    EXPECT_EQ(pastedText(*b), exactly);

    a->tray.clear();
    b->clipboard.userCopiesText(u"untouched");
    copyText(*a, std::u16string(3001, u'y'));
    EXPECT_EQ(a->tray.events(), (Events{"icon 150", "beep hand", "balloon Can't copy | 3001 characters (max 3000)"}));
    pollLinkOnce(b->context);
    EXPECT_EQ(pastedText(*b), u"untouched") << "a refused text never reaches the device";
}

TEST_F(ClipboardExchange, FormatsOfTheOtherModeAreIgnoredSilently) {
    connectSerial();
    a->state.settings.flags = kFlagShowNotifications | kFlagPlaySound;
    a->clipboard.userCopiesData(kFormatBitmap, {1, 2, 3});
    runCopyPath(a->context);
    a->clipboard.userCopiesFiles({u"C:\\one.txt"});
    runCopyPath(a->context);
    EXPECT_TRUE(a->tray.events().empty());

    a->useUsb();
    copyText(*a, u"text in USB mode");
    EXPECT_TRUE(a->tray.events().empty());
    EXPECT_FALSE(fs::exists(folder + "/drive/" + kMetaDataFileName));
}

TEST_F(ClipboardExchange, APastedTextIsNotSentBack) {
    connectSerial();
    copyText(*a, u"once");
    pollLinkOnce(b->context);
    ASSERT_EQ(pastedText(*b), u"once");
    b->tray.clear();
    runCopyPath(b->context);  // the listener's notification for B's own paste
    EXPECT_TRUE(b->tray.events().empty());
    pollLinkOnce(a->context);
    EXPECT_EQ(a->clipboard.owner(), MemoryClipboard::kOtherProgram) << "A never gets its own text back";
}

TEST_F(ClipboardExchange, WithoutBalloonAndSoundOnlyTheIconChanges) {
    connectSerial();
    copyText(*a, u"quiet");
    EXPECT_EQ(a->tray.events(), Events{"icon 155"});
    pollLinkOnce(b->context);
    EXPECT_EQ(pastedText(*b), u"quiet");
    EXPECT_TRUE(b->tray.events().empty());
}

TEST_F(ClipboardExchange, ASilentDeviceInterruptsTheTransferUntilItAnswersAgain) {
    connectSerial();
    a->state.settings.flags = kFlagShowNotifications;
    linksim::DeviceOptions options = server->options();
    options.mode = linksim::AnswerMode::Silent;
    server->setOptions(options);
    copyText(*a, u"lost");
    EXPECT_EQ(a->tray.events(), (Events{"icon 150", "balloon Transfer interrupted | Data may be lost"}));
    pollLinkOnce(b->context);
    EXPECT_EQ(b->clipboard.changeCount(), 0);

    server->setOptions(linksim::DeviceOptions{});
    pollLinkOnce(b->context);  // an empty device again, as the next poll would find it
    copyText(*a, u"found");
    pollLinkOnce(b->context);
    EXPECT_EQ(pastedText(*b), u"found") << trace.out();
}

TEST_F(ClipboardExchange, APortDroppedMidMessageInterruptsOnlyThatTransfer) {
    connectSerial();
    a->state.settings.flags = kFlagShowNotifications;
    server->dropPort(0, 3, 300);
    copyText(*a, std::u16string(1000, u'd'));
    EXPECT_EQ(a->tray.events(), (Events{"icon 150", "balloon Transfer interrupted | Data may be lost"}));
    pollLinkOnce(b->context);
    EXPECT_EQ(b->clipboard.changeCount(), 0) << "half a message is never pasted";

    ASSERT_TRUE(server->waitUntilUp(0, std::chrono::seconds(3)));
    openSelectedLink(a->state, ports, settle, u"COM5");  // what the supervisor's search does
    copyText(*a, u"after the drop");
    pollLinkOnce(b->context);
    EXPECT_EQ(pastedText(*b), u"after the drop") << trace.out();
}

TEST_F(ClipboardExchange, ABusyClipboardLosesOnePasteButNotTheNext) {
    connectSerial();
    b->clipboard.holdOpenByOtherProgram(true);
    copyText(*a, u"first");
    pollLinkOnce(b->context);
    b->clipboard.holdOpenByOtherProgram(false);
    pollLinkOnce(b->context);
    EXPECT_FALSE(pastedText(*b));
    copyText(*a, u"second");
    pollLinkOnce(b->context);
    EXPECT_EQ(pastedText(*b), u"second");
}

TEST_F(ClipboardExchange, TheCopyPathTriesTheClipboardFiveTimes) {
    connectSerial();
    a->clipboard.userCopiesText(u"fifth time lucky");
    a->clipboard.refuseOpens(4);
    runCopyPath(a->context);
    EXPECT_EQ(a->tray.events(), Events{"icon 155"});
    pollLinkOnce(b->context);
    EXPECT_EQ(pastedText(*b), u"fifth time lucky");

    a->tray.clear();
    a->clipboard.userCopiesText(u"never sent");
    a->clipboard.refuseOpens(5);
    runCopyPath(a->context);
    EXPECT_TRUE(a->tray.events().empty());
    EXPECT_TRUE(a->clipboard.open()) << "a failed attempt leaves the clipboard closed";
    a->clipboard.close();
}

TEST_F(ClipboardExchange, TheReceiveThreadEndsOnceTheRunFlagIsCleared) {
    b->useUsb();
    std::thread receiver([&] { EXPECT_EQ(receiveLoop(b->context), 1); });
    b->state.running = 0;
    receiver.join();
}

TEST_F(ClipboardExchange, UsbFilesArrivePastedWithTheReceiversDriveLetter) {
    a->useUsb();
    b->useUsb();
    writeSource("folder/inner/deep.bin", std::string(70000, '\x5A'));
    writeSource("folder/top.txt", "top");
    writeSource("single.txt", "single file");
    a->clipboard.userCopiesFiles({u"C:\\folder", u"C:\\single.txt"});
    runCopyPath(a->context);
    ASSERT_EQ(a->tray.events(), Events{"icon 155"}) << trace.out();

    const std::string storage = "AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage";
    const int changesOnA = a->clipboard.changeCount();
    pollLinkOnce(a->context);
    EXPECT_EQ(a->clipboard.changeCount(), changesOnA) << "the writer never pastes its own payload";

    pollLinkOnce(b->context);
    auto block = b->clipboard.data(kFormatHdrop);
    ASSERT_TRUE(block) << trace.out();
    auto paths = parseDropFilesBlock(*block);
    ASSERT_TRUE(paths);
    ASSERT_EQ(paths->size(), 2u);
    for (const auto& path : *paths) EXPECT_EQ(path.substr(0, 3), u"F:\\");
    std::vector<std::string> names;
    for (const auto& path : *paths) names.push_back(toUtf8(path.substr(path.rfind(u'\\') + 1)));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"folder", "single.txt"}));

    // The store holds byte-identical copies under the folder the paths name.
    const std::string first = toUtf8((*paths)[0]);
    std::string subfolder = first.substr(3, first.rfind('\\') - 3);
    std::replace(subfolder.begin(), subfolder.end(), '\\', '/');
    EXPECT_EQ(subfolder.rfind(storage, 0), 0u);
    EXPECT_EQ(driveFile(subfolder + "/folder/inner/deep.bin"), std::string(70000, '\x5A'));
    EXPECT_EQ(driveFile(subfolder + "/single.txt"), "single file");

    const int changes = b->clipboard.changeCount();
    pollLinkOnce(b->context);
    pollLinkOnce(b->context);
    EXPECT_EQ(b->clipboard.changeCount(), changes) << "the same META data file is pasted once";
}

TEST_F(ClipboardExchange, UsbSizeLimitRefusalLeavesTheDriveUntouched) {
    a->useUsb();
    a->state.settings.flags = a->state.settings.flags | kFlagShowNotifications;
    a->state.settings.sizeLimit = 1000;
    writeSource("big.bin", std::string(1001, 'b'));
    a->clipboard.userCopiesFiles({u"C:\\big.bin"});
    runCopyPath(a->context);
    EXPECT_EQ(a->tray.events(), (Events{"icon 150", "balloon Can't copy | Total size is 1001 bytes (max 1000 bytes)"}));
    EXPECT_TRUE(fs::is_empty(folder + "/drive"));
}

TEST_F(ClipboardExchange, UsbTextFromAnotherProgramIsPastedUnderItsFormat) {
    b->useUsb();
    writeMetaByOtherProgram("CF_TEXT", "aGVsbG8gd29ybGQ=");  // "hello world"
    pollLinkOnce(b->context);
    auto block = b->clipboard.data(kFormatText);
    ASSERT_TRUE(block) << trace.out();
    EXPECT_EQ(std::string(block->begin(), block->end()), std::string("hello world") + '\0');

    writeMetaByOtherProgram("CF_UNICODETEXT", "aABpAA==");  // u"hi" (the GUID is the same)
    pollLinkOnce(b->context);
    EXPECT_FALSE(b->clipboard.data(kFormatUnicodeText)) << "a GUID already seen is not pasted again";
}

TEST_F(ClipboardExchange, UsbPollWaitsForTheLinkAndASelection) {
    b->useUsb();
    writeMetaByOtherProgram("CF_TEXT", "eA==");
    b->state.link.pasteReady = 0;
    pollLinkOnce(b->context);
    EXPECT_NE(trace.out().find("USB not ready\n"), std::string::npos);
    b->state.link.pasteReady = 1;
    b->state.settings.storeSelection.set(u"");
    pollLinkOnce(b->context);
    EXPECT_EQ(b->clipboard.changeCount(), 0);
    b->useUsb();
    pollLinkOnce(b->context);
    EXPECT_TRUE(b->clipboard.data(kFormatText)) << "nothing was remembered while the link was down";
}

TEST_F(ClipboardExchange, APasteRefusedByABusyClipboardIsNotRetried) {
    b->useUsb();
    b->state.settings.flags = kFlagShowNotifications;
    writeMetaByOtherProgram("CF_TEXT", "eA==");
    b->clipboard.holdOpenByOtherProgram(true);
    pollLinkOnce(b->context);
    b->clipboard.holdOpenByOtherProgram(false);
    pollLinkOnce(b->context);
    EXPECT_FALSE(b->clipboard.data(kFormatText));
    EXPECT_TRUE(b->tray.events().empty());
}

}  // namespace
}  // namespace shuttle
