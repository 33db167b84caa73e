// The window thread's half of the copy path: reading what the user copied and deciding whether
// it may go to the transfer worker.

#include <algorithm>

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
    const auto value = clipboard.data(context.formatIds.markerId(PrivacyMarker::CanUploadToCloud));
    if (!value || value->size() < 4) return true;
    const auto& bytes = *value;
    return (bytes[0] | bytes[1] | bytes[2] | bytes[3]) == 0;  // the DWORD is 0
}

// The block up to and including its terminating zero unit of `unit` bytes: the system may size
// a block larger than the text it holds. A block without a terminator is taken whole.
std::vector<uint8_t> upToTerminator(std::vector<uint8_t> bytes, size_t unit) {
    for (size_t at = 0; at + unit <= bytes.size(); at += unit) {
        if (std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(at + unit), [](uint8_t b) { return b == 0; })) {
            bytes.resize(at + unit);
            break;
        }
    }
    return bytes;
}

bool isPlainText(const InlineFormat& format) {
    return format.name == "CF_UNICODETEXT" || format.name == "CF_TEXT" || format.name == "CF_OEMTEXT";
}

// The text formats the clipboard offers, CF_UNICODETEXT first and then in catalogue order.
std::vector<InlineFormat> readTextFormats(ExchangeContext& context) {
    std::vector<InlineFormat> formats;
    auto take = [&](std::string_view name) {
        const uint32_t id = formatIdFromName(name, context.formatIds);
        if (id == 0 || !context.clipboard.isFormatAvailable(id)) return;
        auto bytes = context.clipboard.data(id);
        if (!bytes) return;
        const size_t unit = id == kFormatUnicodeText ? sizeof(char16_t) : 1;
        formats.push_back({std::string(name), upToTerminator(std::move(*bytes), unit)});
    };
    const std::string_view unicode = standardFormatName(kFormatUnicodeText);
    take(unicode);
    for (std::string_view name : textFormatNames)
        if (name != unicode) take(name);
    return formats;
}

// USB mode without a file list. A plain text wins over a picture (a spreadsheet offers its
// cells as both), a picture over a text that is only markup (a browser's "Copy image" adds an
// HTML fragment naming the image). CF_DIB is also there when a program copied CF_BITMAP: the
// system makes one from the other.
bool readInlineFormats(ExchangeContext& context, std::vector<InlineFormat>& formats) {
    std::vector<InlineFormat> texts = readTextFormats(context);
    if (std::none_of(texts.begin(), texts.end(), isPlainText)) {
        if (auto picture = context.clipboard.data(kFormatDib)) {
            formats.push_back({std::string(standardFormatName(kFormatDib)), std::move(*picture)});
            return true;
        }
    }
    formats = std::move(texts);
    return !formats.empty();
}

uint64_t inlineBytes(const std::vector<InlineFormat>& formats) {
    uint64_t total = 0;
    for (const InlineFormat& format : formats) total += format.bytes.size();
    return total;
}

}  // namespace

CopyRead readCopy(ExchangeContext& context, CopyJob& job) {
    ClipboardSession session(context.clipboard, context.clock, kClipboardOpenAttempts);
    if (!session.isOpen()) return CopyRead::Busy;
    // Our own paste made the main window the owner: never send it back.
    if (context.clipboard.ownedByMainWindow()) return CopyRead::Nothing;
    if (markedPrivate(context)) {
        printOut("Marked private by its owner; not sent\n");
        return CopyRead::Nothing;
    }
    job = CopyJob{};
    if (context.settings.usbMode()) {
        if (context.clipboard.isFormatAvailable(kFormatHdrop)) {  // a file list wins, even one that cannot be read
            auto files = context.clipboard.dropList();
            if (!files) return CopyRead::Nothing;
            job.kind = CopyJob::Kind::Files;
            job.files = std::move(*files);
        } else if (readInlineFormats(context, job.formats)) {
            job.kind = CopyJob::Kind::Inline;
        } else {
            return CopyRead::Nothing;
        }
    } else {
        auto text = context.clipboard.unicodeText();
        if (!text) return CopyRead::Nothing;
        job.text = std::move(*text);
    }
    return CopyRead::Taken;
}

void reportClipboardBusy(ExchangeContext& context) {
    printOut(">>> The clipboard stayed busy; nothing was sent\n");
    context.notifier.setIcon(kIconFailure);
    context.notifier.notify(kCantCopyTitle, u"The clipboard was busy", false);
}

bool acceptCopy(ExchangeContext& context, const CopyJob& job) {
    if (job.kind == CopyJob::Kind::Text && job.text.size() > kMaxLinkTextUnits) {
        refuseLongText(context, job.text.size());
        return false;
    }
    if (job.kind == CopyJob::Kind::Inline) {
        const uint64_t limit = std::min<uint64_t>(context.settings.sizeLimit.load(), kMaxInlineBytes);
        const uint64_t total = inlineBytes(job.formats);
        if (total > limit) {
            refuseTooLarge(context, total, limit);
            return false;
        }
    }
    if (!linkCanCarry(context)) {
        reportNotConnected(context);
        return false;
    }
    return true;
}

}  // namespace shuttle
