// The clipboard, whole and newest: the user's newer copy is never pasted over, one change makes one
// transfer, a block is measured before it is read, and a paste that fails says why.
#include "support/clipboard_exchange_fixture.h"

namespace shuttle {
namespace {

constexpr uint8_t kReadRequestStart = 0x10;
constexpr uint32_t kFormatOemText = 7;
const char kNewerCopy[] = "A newer copy was made here; the received one is not pasted";

std::vector<uint8_t> unitsBlock(size_t units, char16_t unit) {
    std::vector<uint8_t> bytes(units * 2);
    for (size_t i = 0; i < units; ++i) bytes[2 * i] = static_cast<uint8_t>(unit);
    return bytes;
}

// A paste that waits for a busy clipboard, or a message still being read, never replaces a copy
// the user made meanwhile: the local copy stays and travels to the other side.
TEST_F(ClipboardExchange, TheUsersNewerCopyWinsOverAWaitingOrUnfinishedPaste) {
    openSerial();
    b->clipboard.holdOpenByOtherProgram(true);
    a->copyText(u"remote-older");
    b->computer.pollOnce();
    ASSERT_TRUE(b->computer.pastePending());
    b->clipboard.holdOpenByOtherProgram(false);
    b->copyText(u"local-newer");
    b->computer.pollOnce();
    EXPECT_FALSE(b->computer.pastePending());
    EXPECT_EQ(b->pastedText(), u"local-newer");
    EXPECT_EQ(count(trace.out(), kNewerCopy), 1);
    a->computer.pollOnce();
    EXPECT_EQ(a->pastedText(), u"local-newer");

    a->copyText(u"remote-while-reading");
    bool copied = false;
    watchedPorts.beforeWrite = [&](const uint8_t* data, size_t) {
        if (copied || data[0] != kReadRequestStart) return;
        copied = true;
        b->clipboard.userCopiesText(u"copied-while-reading");
    };
    b->computer.pollOnce();
    watchedPorts.beforeWrite = nullptr;
    ASSERT_TRUE(copied);
    EXPECT_EQ(b->pastedText(), u"copied-while-reading");
    EXPECT_EQ(count(trace.out(), kNewerCopy), 2);
    b->copyPathRuns();
    a->computer.pollOnce();
    EXPECT_EQ(a->pastedText(), u"copied-while-reading") << "both sides end with the newest copy";
}

// A timer left by a change that met a busy clipboard, or a change notified twice, sends nothing
// more; each change gets its own looks.
TEST_F(ClipboardExchange, OneChangeMakesOneSendEvenAfterABusyClipboard) {
    openSerial();
    a->clipboard.userCopiesText(u"first change");
    a->clipboard.refuseOpens(5);
    EXPECT_TRUE(a->computer.onClipboardChange());
    a->clipboard.userCopiesText(u"second change");
    EXPECT_FALSE(a->computer.onClipboardChange());
    a->computer.waitForTransfers(60000);
    EXPECT_FALSE(a->computer.onClipboardLookAgain()) << "the first change's timer";
    EXPECT_FALSE(a->computer.onClipboardChange()) << "the second change notified again";
    a->computer.waitForTransfers(60000);
    EXPECT_EQ(count(trace.out(), "NEW GUID"), 1);

    a->clipboard.userCopiesText(u"third change");
    a->clipboard.refuseOpens(5 * (kCopyLooks - 1));
    EXPECT_TRUE(a->computer.onClipboardChange());
    a->clipboard.userCopiesText(u"fourth change");
    a->clipboard.refuseOpens(5 * (kCopyLooks - 1));
    a->copyPathRuns();
    EXPECT_FALSE(trace.contains("stayed busy")) << "the looks are counted per change";
    b->computer.pollOnce();
    EXPECT_EQ(b->pastedText(), u"fourth change");
    EXPECT_EQ(count(trace.out(), "NEW GUID"), 2);
}

// Blocks over the mode's limit are refused before they are copied out; the plain texts the
// system derives from CF_UNICODETEXT are neither read nor charged; a text block without its
// terminator arrives whole; a file list that cannot be read is told.
TEST_F(ClipboardExchange, BlocksAreMeasuredBeforeTheyAreReadAndOnlyOfferedFormatsAreCharged) {
    openSerial();
    a->clipboard.userCopiesText(std::u16string(200000, u'z'));
    a->copyPathRuns();
    EXPECT_EQ(a->tray.events(), (Events{"icon 150", "balloon Can't copy | 200000 characters (max 3000)"}));
    EXPECT_LE(a->clipboard.bytesRead(), 6002u);
    a->clipboard.userCopiesData(kFormatUnicodeText, unitsBlock(3000, u'u'));
    a->copyPathRuns();
    b->computer.pollOnce();
    EXPECT_EQ(b->pastedText(), std::u16string(3000, u'u')) << "no unit lost without a terminator";

    a->useUsb();
    b->useUsb();
    a->tray.clear();
    const uint64_t before = a->clipboard.bytesRead();
    a->clipboard.userCopiesData(kFormatDib, std::vector<uint8_t>(11 * 1024 * 1024, 1));
    a->copyPathRuns();
    EXPECT_EQ(a->tray.events(), (Events{"icon 150", "balloon Can't copy | Total size is 11534336 bytes (max 10485760 bytes)"}));
    EXPECT_EQ(a->clipboard.bytesRead(), before);

    const size_t units = 2750000;  // 5.5 MB: with its derived CF_TEXT and CF_OEMTEXT it used to be 11 MB
    std::vector<uint8_t> unicode = unitsBlock(units + 1, u't');
    unicode[units * 2] = 0;
    a->clipboard.userCopiesFormats({{kFormatUnicodeText, unicode},
                                    {kFormatText, std::vector<uint8_t>(units + 1, 't')},
                                    {kFormatOemText, std::vector<uint8_t>(units + 1, 't')},
                                    {kFormatLocale, {9, 4, 0, 0}}});
    a->copyPathRuns();
    EXPECT_EQ(a->clipboard.bytesRead() - before, unicode.size()) << "only CF_UNICODETEXT is read";
    b->computer.pollOnce();
    EXPECT_EQ(b->pastedText(), std::u16string(units, u't'));

    a->tray.clear();
    a->clipboard.userCopiesData(kFormatHdrop, {20, 0, 0, 0});
    a->copyPathRuns();
    EXPECT_EQ(a->tray.events(), (Events{"icon 150", "balloon Can't copy | The file list could not be read"}));
}

// A paste the system refuses is reported at once with its reason, not retried as a busy one.
TEST_F(ClipboardExchange, APasteTheSystemRefusesSaysWhyAtOnce) {
    openSerial();
    b->computer.settings().setFlag(kFlagShowNotifications, true);
    b->clipboard.refuseFormat(kFormatUnicodeText, 5);
    a->copyText(u"refused");
    b->computer.pollOnce();
    EXPECT_EQ(b->tray.events(), (Events{"icon 150", "balloon Paste failed | The system refused the data (error 5)"}));
    EXPECT_FALSE(b->computer.pastePending());
}

}  // namespace
}  // namespace shuttle
