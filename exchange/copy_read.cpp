// The window thread's half of the copy path: reading what the user copied and deciding whether
// it may go to the transfer worker.

#include <algorithm>
#include <cstring>
#include <string_view>

#include "base/print.h"
#include "base/utf8.h"
#include "exchange/copy_common.h"
#include "exchange/copy_path.h"
#include "payload/format_catalogue.h"
#include "serial/link_text.h"

namespace shuttle {
namespace {

constexpr int kClipboardOpenAttempts = 5;

void refuseLongText(ExchangeContext& context, size_t units) {
    const auto length = static_cast<unsigned>(units);
    const auto limit = static_cast<unsigned>(kMaxLinkTextUnits);
    refuse(context, fromUtf8(formatText("%u characters (max %u)", length, limit)));
    char entry[64];
    if (formatInto(entry, sizeof entry, "Can't copy %u characters (max %u)", length, limit) >= 0)
        context.notifier.log(entry);
}

void reportNotConnected(ExchangeContext& context) {
    printOut(">>> Not connected; nothing was sent\n");
    context.notifier.setIcon(kIconFailure);
    context.notifier.notify(u"Not connected", u"Nothing was sent", false);
}

// USB mode needs the drive present and named; COM mode a device that takes messages.
bool linkCanCarry(ExchangeContext& context) {
    const LinkState& link = context.link;
    if (!context.settings.usbMode()) return link.copyReady != 0;
    return link.copyReady != 0 && link.pasteReady != 0 && link.linkConnected != 0 && storeLetter(context.settings) != 0;
}

// Password managers and other programs mark what must not leave this computer with formats of
// their own. A CanUploadToCloudClipboard value that cannot be read counts as a refusal: a
// secret sent by mistake cannot be taken back.
bool markedPrivate(ExchangeContext& context) {
    Clipboard& clipboard = context.clipboard;
    auto present = [&](PrivacyMarker marker) {
        const uint32_t id = context.formatIds.markerId(marker);
        return id != 0 && clipboard.isFormatAvailable(id);
    };
    if (present(PrivacyMarker::ExcludeFromMonitoring) || present(PrivacyMarker::ViewerIgnore)) return true;
    if (!present(PrivacyMarker::CanUploadToCloud)) return false;
    const ClipboardBlock value = clipboard.read(context.formatIds.markerId(PrivacyMarker::CanUploadToCloud), 0, 64);
    if (!value.read() || value.bytes.size() < 4) return true;
    const auto& bytes = value.bytes;
    return (bytes[0] | bytes[1] | bytes[2] | bytes[3]) == 0;  // the DWORD is 0
}

void refuseUnreadable(ExchangeContext& context, const char* what, ClipboardBlock::Status status) {
    reportCopyFailed(context, status == ClipboardBlock::Status::NoMemory ? "Not enough memory" : what);
}

// The units a text block over the limit holds, for the refusal: its size less the terminator.
size_t unitsOfBlock(uint64_t size) {
    const uint64_t units = size / sizeof(char16_t);
    return static_cast<size_t>(units > 0 ? units - 1 : 0);
}

CopyRead readComText(ExchangeContext& context, CopyJob& job) {
    const uint64_t limit = (kMaxLinkTextUnits + 1) * sizeof(char16_t);
    const ClipboardBlock block = context.clipboard.read(kFormatUnicodeText, sizeof(char16_t), limit);
    switch (block.status) {
        case ClipboardBlock::Status::Absent:
            printOut("Nothing on the clipboard that COM mode carries\n");
            return CopyRead::Nothing;
        case ClipboardBlock::Status::TooLarge:
            refuseLongText(context, unitsOfBlock(block.size));
            return CopyRead::Refused;
        case ClipboardBlock::Status::Read:
            break;
        default:
            refuseUnreadable(context, "The text could not be read", block.status);
            return CopyRead::Refused;
    }
    std::u16string text(block.bytes.size() / sizeof(char16_t), u'\0');
    std::memcpy(text.data(), block.bytes.data(), text.size() * sizeof(char16_t));
    if (!text.empty() && text.back() == u'\0') text.pop_back();
    if (text.size() > kMaxLinkTextUnits) {  // a block without a terminator, one unit too long
        refuseLongText(context, text.size());
        return CopyRead::Refused;
    }
    job.text = std::move(text);
    return CopyRead::Taken;
}

// Reads the USB formats of a copy within one size budget: each block is measured before it is
// copied out, and the budget is charged with what is sent.
class InlineReader {
public:
    explicit InlineReader(ExchangeContext& context)
        : context_(context), limit_(std::min<uint64_t>(context.settings.sizeLimit.load(), kMaxInlineBytes)) {}

    // Adds the format's block when it is offered; false when the copy must be refused.
    bool take(std::string_view name, uint32_t id, size_t unit, std::vector<InlineFormat>& formats) {
        if (id == 0 || !context_.clipboard.isFormatAvailable(id)) return true;
        ClipboardBlock block = context_.clipboard.read(id, unit, limit_ - charged_);
        switch (block.status) {
            case ClipboardBlock::Status::Read:
                charged_ += block.bytes.size();
                formats.push_back({std::string(name), std::move(block.bytes)});
                return true;
            case ClipboardBlock::Status::Absent:
                return true;
            case ClipboardBlock::Status::Unreadable:  // left out; told when nothing else could be read
                unreadable_ = true;
                return true;
            case ClipboardBlock::Status::TooLarge:
                refuseTooLarge(context_, charged_ + block.size, limit_);
                return false;
            case ClipboardBlock::Status::NoMemory:
                refuseUnreadable(context_, "", block.status);
                return false;
        }
        return true;
    }

    bool metUnreadable() const { return unreadable_; }

private:
    ExchangeContext& context_;
    const uint64_t limit_;
    uint64_t charged_ = 0;
    bool unreadable_ = false;
};

bool isPlainText(std::string_view name) { return name == "CF_UNICODETEXT" || name == "CF_TEXT" || name == "CF_OEMTEXT"; }

// The system derives CF_TEXT and CF_OEMTEXT (and CF_LOCALE) from every CF_UNICODETEXT: the
// receiving system derives them again, so they are neither read nor sent.
bool derivedFromUnicode(std::string_view name) { return name == "CF_TEXT" || name == "CF_OEMTEXT"; }

// USB mode without a file list. A picture goes first, when it goes: a plain text wins over a
// picture (a spreadsheet offers its cells as both), a picture over a text that is only markup (a
// browser's "Copy image" adds an HTML fragment naming the image), and a receiver that pastes
// only the first format it knows then still pastes the picture. CF_DIB is also there when a
// program copied CF_BITMAP or CF_DIBV5: the system makes one from the other, so only CF_DIB is
// read.
CopyRead readInlineFormats(ExchangeContext& context, CopyJob& job) {
    InlineReader reader(context);
    const bool unicode = context.clipboard.isFormatAvailable(kFormatUnicodeText);
    bool plainText = false;
    for (std::string_view name : textFormatNames) {
        if (unicode && derivedFromUnicode(name)) continue;
        const uint32_t id = formatIdFromName(name, context.formatIds);
        plainText = plainText || (isPlainText(name) && id != 0 && context.clipboard.isFormatAvailable(id));
    }
    std::vector<InlineFormat> formats;
    if (!plainText &&
        !reader.take(standardFormatName(kFormatDib), kFormatDib, 0, formats))
        return CopyRead::Refused;
    auto takeText = [&](std::string_view name) {
        const uint32_t id = formatIdFromName(name, context.formatIds);
        return reader.take(name, id, id == kFormatUnicodeText ? sizeof(char16_t) : 1, formats);
    };
    const std::string_view unicodeName = standardFormatName(kFormatUnicodeText);
    if (!takeText(unicodeName)) return CopyRead::Refused;
    for (std::string_view name : textFormatNames) {
        if (name == unicodeName || (unicode && derivedFromUnicode(name))) continue;
        if (!takeText(name)) return CopyRead::Refused;
    }
    if (formats.empty() && reader.metUnreadable()) {
        refuseUnreadable(context, "The copied content could not be read", ClipboardBlock::Status::Unreadable);
        return CopyRead::Refused;
    }
    if (formats.empty()) {
        printOut("Nothing on the clipboard that USB mode carries\n");
        return CopyRead::Nothing;
    }
    job.kind = CopyJob::Kind::Inline;
    job.formats = std::move(formats);
    return CopyRead::Taken;
}

CopyRead readUsbCopy(ExchangeContext& context, CopyJob& job) {
    if (!context.clipboard.isFormatAvailable(kFormatHdrop)) return readInlineFormats(context, job);
    // A file list wins over everything else offered with it.
    auto files = context.clipboard.dropList();
    if (!files) {
        refuseUnreadable(context, "The file list could not be read", ClipboardBlock::Status::Unreadable);
        return CopyRead::Refused;
    }
    job.kind = CopyJob::Kind::Files;
    job.files = std::move(*files);
    return CopyRead::Taken;
}

}  // namespace

CopyRead readCopy(ExchangeContext& context, CopyJob& job, std::optional<uint32_t> handled) {
    ClipboardSession session(context.clipboard, context.clock, kClipboardOpenAttempts);
    if (!session.isOpen()) return CopyRead::Busy;
    job = CopyJob{};
    job.sequence = context.clipboard.sequenceNumber();  // steady while the clipboard is open
    if (handled == job.sequence) {
        printOut("The clipboard holds what was read before; not sent again\n");
        return CopyRead::Nothing;
    }
    // Our own paste made the main window the owner: never send it back.
    if (context.clipboard.ownedByMainWindow()) {
        printOut("The clipboard holds this computer's paste; not sent back\n");
        return CopyRead::Nothing;
    }
    if (markedPrivate(context)) {
        printOut("Marked private by its owner; not sent\n");
        return CopyRead::Nothing;
    }
    return context.settings.usbMode() ? readUsbCopy(context, job) : readComText(context, job);
}

void reportClipboardBusy(ExchangeContext& context) {
    printOut(">>> The clipboard stayed busy; nothing was sent\n");
    context.notifier.setIcon(kIconFailure);
    context.notifier.notify(kCantCopyTitle, u"The clipboard was busy", false);
}

void reportCopyFailed(ExchangeContext& context, const std::string& reason) {
    printOut(">>> Can't copy: %s\n", reason.c_str());
    refuse(context, fromUtf8(reason));
    context.notifier.log(("Can't copy: " + reason).c_str());
}

bool acceptCopy(ExchangeContext& context) {
    if (!linkCanCarry(context)) {
        reportNotConnected(context);
        return false;
    }
    return true;
}

}  // namespace shuttle
