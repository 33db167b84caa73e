// The copy path, transfer worker and receive poll of two computers, end to end.
#include "support/clipboard_exchange_fixture.h"

namespace shuttle {
namespace {

namespace fs = std::filesystem;

// The longest text: 64 frames, each waited for at least 20 ms, so its progress shows: tips
// climbing to 100 %, the normal tip, then the result icon and balloon as always.
TEST_F(ClipboardExchange, ComTextLimitIsThreeThousandUnitsAndALongTransferShowsItsProgress) {
    openSerial();
    const std::u16string exactly(3000, u'x');
    watchedClipboard = &a->clipboard;  // read, closed, then sent
    a->copyText(exactly);
    EXPECT_GT(watchedPorts.writes.load(), 60) << "every frame watched";
    EXPECT_EQ(watchedPorts.writesWithClipboardOpen.load(), 0);
    const Events events = a->tray.events();
    std::vector<int> percentages;
    size_t at = 0;
    for (; at < events.size() && events[at].rfind("tip Sending\u2026 ", 0) == 0; ++at)
        percentages.push_back(std::stoi(events[at].substr(events[at].rfind(' ', events[at].size() - 3) + 1)));
    ASSERT_FALSE(percentages.empty()) << "no progress shown";
    for (size_t i = 1; i < percentages.size(); ++i) EXPECT_GT(percentages[i], percentages[i - 1]);
    EXPECT_EQ(percentages.back(), 100);
    EXPECT_EQ(Events(events.begin() + static_cast<std::ptrdiff_t>(at), events.end()),
              (Events{"tip Shuttle", "icon 155", "balloon Copy successful | Copy successful"}));
    b->computer.pollOnce();
    EXPECT_EQ(b->pastedText(), exactly);

    a->tray.clear();
    a->computer.settings().setFlag(kFlagPlaySound, true);
    b->clipboard.userCopiesText(u"untouched");
    a->copyText(std::u16string(3001, u'y'));
    EXPECT_EQ(a->tray.events(), (Events{"icon 150", "beep hand", "balloon Can't copy | 3001 characters (max 3000)"}));
    b->computer.pollOnce();
    EXPECT_EQ(b->pastedText(), u"untouched") << "a refused text never reaches the device";
}

// A copy while the link is down, or on a port dropped mid-message, is reported and interrupts only
// itself: one at the first ready, and one after the drop, are sent.
TEST_F(ClipboardExchange, ACopyWhileTheLinkIsDownOrFailsMidMessageIsReportedAndTheNextIsSent) {
    openSerial(false);
    a->copyText(u"too early");
    EXPECT_EQ(a->tray.events(), (Events{"icon 150", "balloon Not connected | Nothing was sent"}));
    EXPECT_FALSE(trace.contains("NEW GUID")) << "nothing sent, no GUID made";

    a->computer.pollOnce();  // the receive thread's first probe: copy-ready from this moment
    b->computer.pollOnce();
    a->copyText(u"found");
    b->computer.pollOnce();
    EXPECT_EQ(b->pastedText(), u"found") << trace.out();

    a->tray.clear();
    server->dropPort(0, 3, 300);
    a->copyText(std::u16string(1000, u'd'));
    EXPECT_EQ(a->tray.events(), (Events{"icon 150", "balloon Transfer interrupted | Data may be lost"}));
    b->computer.pollOnce();
    EXPECT_EQ(b->pastedText(), u"found") << "half a message is never pasted";

    ASSERT_TRUE(server->waitUntilUp(0, std::chrono::seconds(3)));
    openSelectedLink(a->computer.settings(), a->computer.link(), ports, settle, u"COM5");  // the search
    a->computer.pollOnce();
    a->copyText(u"after the drop");
    b->computer.pollOnce();
    EXPECT_EQ(b->pastedText(), u"after the drop") << trace.out();
}

TEST_F(ClipboardExchange, TheCopyPathLooksAgainWhileTheClipboardIsBusy) {
    openSerial();
    a->clipboard.userCopiesText(u"fifth time lucky");
    a->clipboard.refuseOpens(4);
    EXPECT_FALSE(a->computer.onClipboardChange()) << "five attempts within one look";
    a->computer.waitForTransfers(60000);
    EXPECT_EQ(a->tray.events(), kCopied);
    b->computer.pollOnce();
    EXPECT_EQ(b->pastedText(), u"fifth time lucky");

    a->clipboard.userCopiesText(u"held a while");
    a->clipboard.refuseOpens(5 * 3);
    EXPECT_TRUE(a->computer.onClipboardChange()) << "busy: look again later";
    a->copyPathRuns();
    b->computer.pollOnce();
    EXPECT_EQ(b->pastedText(), u"held a while");

    a->tray.clear();
    a->clipboard.userCopiesText(u"never sent");
    a->clipboard.refuseOpens(5 * kCopyLooks);
    a->copyPathRuns();
    EXPECT_EQ(a->tray.events(), (Events{"icon 150", "balloon Can't copy | The clipboard was busy"}));
    EXPECT_TRUE(a->clipboard.open()) << "a failed attempt leaves the clipboard closed";
    a->clipboard.close();
}

// A change whose notice never came is found by the periodic check, one check after its number
// moved; what the clipboard held before the first check, and a change already read, stay home.
TEST_F(ClipboardExchange, TheCheckFindsAChangeWithoutItsNoticeButNotTheContentAtStart) {
    openSerial();
    a->clipboard.userCopiesText(u"held before the start");
    EXPECT_FALSE(a->computer.onClipboardCheck());
    EXPECT_FALSE(a->computer.onClipboardCheck());
    a->clipboard.userCopiesText(u"never announced");
    EXPECT_FALSE(a->computer.onClipboardCheck()) << "a notice may still be on its way";
    a->computer.waitForTransfers(120000);
    EXPECT_TRUE(a->tray.events().empty());
    EXPECT_FALSE(a->computer.onClipboardCheck());
    a->computer.waitForTransfers(120000);
    EXPECT_EQ(a->tray.events(), kCopied);
    b->computer.pollOnce();
    EXPECT_EQ(b->pastedText(), u"never announced");

    a->tray.clear();
    a->copyText(u"announced");
    for (int check = 0; check < 3; ++check) EXPECT_FALSE(a->computer.onClipboardCheck());
    a->computer.waitForTransfers(120000);
    EXPECT_EQ(a->tray.events(), kCopied) << "sent once";
}

// Content of a format the mode does not carry is not sent and nothing is said: nothing on the
// device, no GUID, no balloon. The next text travels as usual.
TEST_F(ClipboardExchange, WhatIsNotSentGoesSilentlyAndTheNextTextTravels) {
    openSerial();
    a->computer.settings().flags = kFlagShowNotifications | kFlagPlaySound;
    a->clipboard.userCopiesData(kFormatBitmap, {1, 2, 3});
    a->copyPathRuns();
    a->copyFiles({u"C:\\one.txt"});
    EXPECT_TRUE(server->heldMessage().empty()) << "nothing reached the device";
    EXPECT_TRUE(a->tray.events().empty()) << "nothing failed: no balloon, no icon";
    EXPECT_FALSE(trace.contains("NEW GUID"));
    a->copyText(u"not a secret");
    b->computer.pollOnce();
    EXPECT_EQ(b->pastedText(), u"not a secret") << trace.out();
}

// Each privacy marker, and a format USB mode does not carry, keeps a copy home without a word.
TEST_F(ClipboardExchange, EachPrivacyMarkerKeepsAUsbCopyHomeButCloudUploadAllowedIsSent) {
    makeUsbComputers();
    writeSource("secret.txt", "s");
    const uint32_t cloud = a->formatIds.markerId(PrivacyMarker::CanUploadToCloud);
    const std::vector<std::pair<uint32_t, std::vector<uint8_t>>> markers = {
        {a->formatIds.markerId(PrivacyMarker::ExcludeFromMonitoring), {}},
        {a->formatIds.markerId(PrivacyMarker::ViewerIgnore), {1}},
        {cloud, {0, 0, 0, 0}},
        {cloud, {1, 0}},  // unreadable
    };
    for (const auto& [marker, value] : markers) {
        trace.clear();
        a->clipboard.userCopiesFormats({{kFormatUnicodeText, textBlock(u"password")}, {marker, value}});
        a->copyPathRuns();
        a->clipboard.userCopiesFormats({{kFormatHdrop, makeDropFilesBlock({u"C:\\secret.txt"})}, {marker, value}});
        a->copyPathRuns();
        EXPECT_EQ(count(trace.out(), "Marked private by its owner; not sent\n"), 2) << marker << " " << value.size();
        EXPECT_FALSE(trace.contains("NEW GUID")) << marker;
    }
    a->clipboard.userCopiesData(kFormatBitmap, {1, 2, 3});  // a picture only as a GDI handle: not carried
    a->copyPathRuns();
    a->clipboard.userCopiesData(kFormatLocale, {9, 4, 0, 0});
    a->copyPathRuns();
    EXPECT_FALSE(trace.contains("NEW GUID"));
    EXPECT_TRUE(a->tray.events().empty()) << "nothing failed: no balloon, no icon";
    EXPECT_TRUE(fs::is_empty(folder + "/drive")) << "neither a document nor a store folder";

    a->clipboard.userCopiesFormats({{kFormatUnicodeText, textBlock(u"shareable")}, {cloud, {1, 0, 0, 0}}});
    a->copyPathRuns();
    b->computer.pollOnce();
    EXPECT_EQ(b->pastedText(), u"shareable") << trace.out();
}

// A paste waits out a clipboard busy for 300 ms, or says it failed after 15 s and leaves the
// previous content; a newer payload replaces one that is waiting.
TEST_F(ClipboardExchange, APasteWaitsOutABusyClipboardOrSaysItFailed) {
    testing::ManualClock clock;
    makeUsbComputers(clock);
    b->computer.settings().setFlag(kFlagShowNotifications, true);
    b->computer.settings().setFlag(kFlagPlaySound, true);
    b->clipboard.userCopiesText(u"the user's own");
    writeMetaByOtherProgram("CF_TEXT", "eA==");
    b->clipboard.holdOpenUntil(clock, clock.tickMs() + 300);
    b->computer.pollOnce();
    EXPECT_TRUE(b->clipboard.peek(kFormatText)) << "pasted within the first poll's attempts";
    EXPECT_EQ(b->tray.events(), (Events{"beep asterisk", "balloon Data received | Ready to paste"}));

    b->tray.clear();
    b->clipboard.userCopiesText(u"the user's own");
    writeMetaByOtherProgram("CF_TEXT", "eQ==", '7');
    b->clipboard.holdOpenUntil(clock, clock.tickMs() + 15000);
    for (int poll = 0; poll < 30 && b->tray.events().empty(); ++poll) {
        b->computer.pollOnce();
        clock.advance(kPollPeriodMs);
    }
    EXPECT_EQ(b->tray.events(), (Events{"icon 150", "beep hand", "balloon Paste failed | The clipboard was busy"}));
    EXPECT_EQ(b->pastedText(), u"the user's own") << "the previous content stays";
    EXPECT_FALSE(b->computer.pastePending());
    EXPECT_TRUE(trace.contains("Paste failed: The clipboard was busy"));

    writeMetaByOtherProgram("CF_TEXT", "Zmlyc3Q=", '8');  // "first"
    b->clipboard.holdOpenUntil(clock, clock.tickMs() + 2500);
    b->computer.pollOnce();
    EXPECT_TRUE(b->computer.pastePending());
    writeMetaByOtherProgram("CF_TEXT", "c2Vjb25k", '9');  // "second"
    clock.advance(kPollPeriodMs);
    b->computer.pollOnce();
    b->computer.pollOnce();
    EXPECT_EQ(b->clipboard.peek(kFormatText), ansiBlock("second"));
    EXPECT_FALSE(b->computer.pastePending());
}

TEST_F(ClipboardExchange, UsbRefusalsAreToldAndLeaveTheDriveUntouched) {
    makeUsbComputers();
    a->computer.settings().sizeLimit = 1000;
    auto refused = [&](const std::string& why) {
        EXPECT_EQ(a->tray.events(), (Events{"icon 150", "balloon Can't copy | " + why}));
        EXPECT_TRUE(trace.contains(why + "\n")) << why;
        EXPECT_TRUE(fs::is_empty(folder + "/drive")) << why;
        a->tray.clear();
    };
    writeSource("big.bin", std::string(1001, 'b'));
    a->copyFiles({u"C:\\big.bin"});
    refused("Total size is 1001 bytes (max 1000 bytes)");
    a->copyFiles({u"", u""});
    refused("No files to copy");
    trace.clear();
    a->clipboard.userCopiesData(kFormatDib, std::vector<uint8_t>(1001, 7));
    a->copyPathRuns();
    refused("Total size is 1001 bytes (max 1000 bytes)");
    a->computer.settings().sizeLimit = kSizeLimitRows.back().bytes;  // 100 MB: the document still has to fit
    a->clipboard.userCopiesData(kFormatDib, std::vector<uint8_t>(kMaxInlineBytes + 1, 7));
    a->copyPathRuns();
    refused("Total size is " + std::to_string(kMaxInlineBytes + 1) + " bytes (max " + std::to_string(kMaxInlineBytes) +
            " bytes)");
    EXPECT_FALSE(trace.contains("NEW GUID")) << "a picture is refused before a GUID is made";

    writeSource("b.txt", "b");  // an item among good ones that cannot be read: nothing is sent
    writeSource("c.txt", "c");
    a->faultyFiles.failCall(testing::FsOp::CopyFile, 2, kErrorAccessDenied);
    a->copyFiles({u"C:\\b.txt", u"C:\\c.txt"});
    EXPECT_EQ(a->tray.events(), (Events{"icon 150", "balloon Can't copy | c.txt: access denied"}));
    EXPECT_TRUE(trace.contains(">>> Can't copy c.txt: access denied\n"));
    EXPECT_EQ(namesInStorage(), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(folder + "/drive/" + kMetaDataFileName));
}

// Any text without a length limit; every text format offered, up to its terminator, with
// CF_UNICODETEXT first; a picture over markup naming it; a file list over everything.
TEST_F(ClipboardExchange, UsbFormatsTravelInTheirOrderOfPriority) {
    makeUsbComputers();
    std::u16string longText;
    for (int i = 0; i < 2500; ++i) longText += u"\u4e2d\U0001F600";
    b->copyText(longText);
    a->computer.pollOnce();
    EXPECT_EQ(a->pastedText(), longText);

    const uint32_t html = a->formatIds.idOfPayloadName("CF_HTML");
    const std::vector<uint8_t> markup{'<', 'b', '>', 0};
    a->clipboard.userCopiesFormats({{kFormatText, {'a', 'b', 0, 'x', 'y'}},  // the system sized the block larger
                                    {html, markup},
                                    {kFormatUnicodeText, textBlock(u"ab")},
                                    {kFormatDib, testDib(4, 2)}});
    a->copyPathRuns();
    EXPECT_EQ(driveFile(kMetaDataFileName), "{\"GUID\":\"" + sentGuid() + "\",\"data\":[\"" + base64Of(textBlock(u"ab")) +
                                                "\",\"" + base64Of(markup) + "\"],\"formats\":[\"CF_UNICODETEXT\",\"CF_HTML\"]}")
        << "CF_UNICODETEXT first, without the CF_TEXT the system derives from it; a plain text wins over the picture";
    b->computer.pollOnce();
    EXPECT_EQ(b->pastedText(), u"ab");
    b->copyPathRuns();  // the listener's notification for B's own paste
    EXPECT_EQ(count(trace.out(), "NEW GUID"), 2) << "a pasted text is not sent back";

    const std::vector<uint8_t> picture = testDib(200, 100);
    const std::vector<uint8_t> imageMarkup{'<', 'i', 'm', 'g', '>', 0};
    a->clipboard.userCopiesFormats({{kFormatDib, picture}, {html, imageMarkup}});
    a->copyPathRuns();
    EXPECT_EQ(driveFile(kMetaDataFileName), "{\"GUID\":\"" + sentGuid() + "\",\"data\":[\"" + base64Of(picture) + "\",\"" +
                                                base64Of(imageMarkup) + "\"],\"formats\":[\"CF_DIB\",\"CF_HTML\"]}")
        << "the picture first, then the markup offered with it";
    b->computer.pollOnce();
    EXPECT_EQ(b->clipboard.peek(kFormatDib), picture) << "byte for byte, nothing added";

    writeSource("doc.txt", "document");
    a->clipboard.userCopiesFormats({{kFormatHdrop, makeDropFilesBlock({u"C:\\doc.txt"})},
                                    {kFormatUnicodeText, textBlock(u"C:\\doc.txt")},
                                    {kFormatDib, picture}});
    a->copyPathRuns();
    EXPECT_NE(driveFile(kMetaDataFileName).find("\"formats\":[\"CF_HDROP\"]"), std::string::npos);
    b->computer.pollOnce();
    EXPECT_TRUE(b->clipboard.peek(kFormatHdrop)) << trace.out();
}

// Old files that cannot be removed are told once, and copies go on beside them.
// A read-only file, then three more copies: one stamped folder remains. Old files that cannot be
// removed are told once, and copies go on beside them.
TEST_F(ClipboardExchange, AReadOnlyFileThenThreeMoreCopiesLeaveOneStampedFolder) {
    testing::ManualClock clock;
    makeUsbComputers(clock);
    writeSource("ro.txt", "read-only");
    fs::permissions(folder + "/src/ro.txt", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);  // read-only, as Wine shows it
    for (int second = 0; second < 4; ++second) {
        clock.setLocal(2026, 5, 17, 9, 30, second);
        a->tray.clear();
        a->copyFiles({u"C:\\ro.txt"});
        EXPECT_EQ(a->tray.events(), kCopied) << trace.out();
    }
    EXPECT_EQ(namesInStorage(), std::vector<std::string>{"2026_05_17_09_30_03"});
    EXPECT_EQ(driveFile(kStorage + "/2026_05_17_09_30_03/ro.txt"), "read-only");
    writeSource("one.txt", "1");
    auto copyAt = [&](int second, bool stuck) {
        clock.setLocal(2026, 5, 17, 9, 31, second);
        a->tray.clear();
        if (stuck) a->faultyFiles.failCall(testing::FsOp::DeleteFile, 1, kErrorSharingViolation);
        a->copyFiles({u"C:\\one.txt"});
        return a->tray.events();
    };
    Events told = kCopied;
    told.push_back("balloon Old files stay on the drive | ro.txt: in use by another program");
    EXPECT_EQ(copyAt(1, true), told);
    told.back() = "balloon Old files stay on the drive | one.txt: in use by another program";
    EXPECT_EQ(copyAt(2, true), kCopied) << "told once";
    EXPECT_EQ(namesInStorage().size(), 2u) << "the stuck folder and the new one";
    EXPECT_EQ(copyAt(3, false), kCopied);
    EXPECT_EQ(namesInStorage(), std::vector<std::string>{"2026_05_17_09_31_03"});
    EXPECT_EQ(copyAt(4, true), told) << "stuck again after a clean store: told again";
}

TEST_F(ClipboardExchange, AnUnchangedDocumentIsNotParsedAgain) {
    testing::ManualClock clock;
    makeUsbComputers(clock);
    writeMetaByOtherProgram("CF_TEXT", "eA==");
    const std::string meta = folder + "/drive/" + kMetaDataFileName;
    auto readsOver = [&](int polls) {
        const int before = b->faultyFiles.calls(testing::FsOp::Read);
        for (int poll = 0; poll < polls; ++poll) {
            b->computer.pollOnce();
            clock.advance(kPollPeriodMs);
        }
        return b->faultyFiles.calls(testing::FsOp::Read) - before;
    };
    trace.clear();
    EXPECT_LE(readsOver(10), 4) << "read only while its version is young";
    EXPECT_EQ(readsOver(60), 0) << "then not even read";
    size_t parsed = 0;
    for (const std::string& line : trace.lines()) parsed += line.rfind("GUID=", 0) == 0;
    EXPECT_EQ(parsed, 1u) << trace.out();

    // The same size and last-write time on a coarse (FAT) clock, but a new document: read
    // again while that version is young, so it is not missed.
    struct timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, meta.c_str(), times, 0), 0);
    EXPECT_GE(readsOver(1), 1);
    writeMetaByOtherProgram("CF_TEXT", "eQ==", '7');  // same size
    ASSERT_EQ(::utimensat(AT_FDCWD, meta.c_str(), times, 0), 0);
    readsOver(1);
    EXPECT_EQ(b->clipboard.peek(kFormatText), ansiBlock("y"));
}

// A clock whose waits end only when the computer stops: a worker that still ends at once can
// only have been woken by the stop, never by a time-out.
class StoppedOnlyClock final : public Clock {
public:
    uint64_t tickMs() override { return 1; }
    void sleepMs(uint32_t) override {}
    bool sleepUnless(Wakeup& wakeup, uint32_t) override {
        while (!wakeup.waitMs(60000)) continue;
        return true;
    }
    std::tm localNow() override { return {}; }
};

TEST(ComputerLife, StopWakesAndJoinsEveryWorkerAndTheDesktopIsHeard) {
    testing::TraceCapture trace;
    StoppedOnlyClock clock;
    TtySerialPorts noPorts;
    auto computer = std::make_unique<TestComputer>('E', "/nonexistent", noPorts, clock);
    ASSERT_TRUE(computer->start({kAllWorkers}));
    computer->computer.onTaskbarCreated();
    EXPECT_EQ(computer->tray.events(), Events{"restore"});
    computer->computer.onResume();
    EXPECT_EQ(computer->computer.requests().reopenLink.load(), 1);
    computer->computer.stop();  // returns only once all three workers have ended
    EXPECT_TRUE(computer->computer.workersFinished());
    EXPECT_FALSE(computer->computer.onClipboardChange()) << "a stopped computer takes no copies";
}

}  // namespace
}  // namespace shuttle
