#include "exchange/copy_path.h"

#include <algorithm>
#include <mutex>
#include <sstream>

#include "base/print.h"
#include "base/utf8.h"
#include "exchange/transfer_progress.h"
#include "payload/format_catalogue.h"
#include "payload/json_value.h"
#include "payload/payload_document.h"
#include "serial/link_text.h"
#include "serial/serial_drivers.h"
#include "store/meta_data_file.h"
#include "store/store_layout.h"
#include "store/store_writer.h"

namespace shuttle {
namespace {

constexpr int kClipboardOpenAttempts = 5;
const std::u16string kCantCopyTitle = u"Can't copy";

// A transfer that showed its progress ends it (100 % when it succeeded) before the balloon.
void reportResult(ExchangeContext& context, TransferProgress& progress, bool succeeded) {
    progress.finish(succeeded);
    if (succeeded) {
        printOut(">>> Copy successful\n");
        context.notifier.setIcon(kIconSuccess);
        context.notifier.notify(u"Copy successful", u"Copy successful", true);
    } else {
        printOut(">>> Transfer interrupted\n");
        context.notifier.setIcon(kIconFailure);
        context.notifier.notify(u"Transfer interrupted", u"Data may be lost", false);
    }
}

void refuse(ExchangeContext& context, const std::u16string& text) {
    context.notifier.setIcon(kIconFailure);
    context.notifier.notify(kCantCopyTitle, text, false);
}

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

char storeLetter(const Settings& settings) { return storeDriveLetter(settings.storeSelection.get()); }

// USB mode needs the drive present and named; COM mode a device that takes messages.
bool linkCanCarry(ExchangeContext& context) {
    const LinkState& link = context.link;
    if (!context.settings.usbMode()) return link.copyReady != 0;
    return link.copyReady != 0 && link.pasteReady != 0 && link.linkConnected != 0 && storeLetter(context.settings) != 0;
}

void refuseTooLarge(ExchangeContext& context, uint64_t total, uint64_t limit) {
    const std::string text = formatText("Total size is %llu bytes (max %lu bytes)", static_cast<unsigned long long>(total),
                                        static_cast<unsigned long>(limit));
    refuse(context, fromUtf8(text));
    printOut("%s\n", text.c_str());
}

// "<leaf name>: <reason>" for the balloon and the log.
std::string failedItemText(const FailedItem& item) {
    const std::string leaf = leafName(item.path);
    return (leaf.empty() ? item.path : leaf) + ": " + describeFileError(item.error);
}

// Tells the user why the store was left alone.
void reportStoreRefusal(ExchangeContext& context, const StoreWrite& write) {
    switch (write.refusal) {
        case StoreRefusal::NoFiles:
            printOut("No files to copy\n");
            refuse(context, u"No files to copy");
            break;
        case StoreRefusal::TooLarge:
            refuseTooLarge(context, write.totalBytes, context.settings.sizeLimit.load());
            break;
        case StoreRefusal::NotUnicode:
        case StoreRefusal::Unreadable:
        case StoreRefusal::CannotCreate: {
            // Nothing was sent: the other computer keeps the previous payload.
            const std::string text = failedItemText(write.failed);
            printOut(">>> Can't copy %s\n", text.c_str());
            refuse(context, fromUtf8(text));
            context.notifier.log(("Can't copy " + text).c_str());
            break;
        }
        default:
            break;
    }
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

std::string serialised(const JsonValue& document) {
    std::ostringstream text;
    document.writeTo(text);
    return text.str();
}

// The document goes to the drive last, under the link mutex with this side's GUID recorded,
// so that no poll reads the one without the other. A session that is ending leaves the old
// payload the valid one.
// Tells the user once that what an earlier copy left on the drive could not be removed; told
// again only after the store was clean in between.
void reportLeftover(ExchangeContext& context, const StoreWrite& write, CopyPathState& state) {
    if (!write.leftover.failed()) {
        state.leftoverTold = false;
        return;
    }
    if (state.leftoverTold) return;
    state.leftoverTold = true;
    const std::string text = failedItemText(write.leftover);
    printOut(">>> Old files stay on the drive: %s\n", text.c_str());
    context.notifier.notify(u"Old files stay on the drive", fromUtf8(text), false);
    context.notifier.log(("Old files stay on the drive: " + text).c_str());
}

// True when the document is on the drive.
bool publishDocument(ExchangeContext& context, TransferProgress& progress, char letter, const std::string& guid,
                     const JsonValue& document) {
    if (context.stop.raised()) {
        printOut(">>> Transfer abandoned\n");
        return false;
    }
    const std::string bytes = serialised(document);
    bool written;
    {
        std::lock_guard<std::mutex> lock(context.link.mutex);
        context.memory.recordSent(guid);
        written = writeMetaDataFile(context.files, driveRoot(letter), bytes);
    }
    reportResult(context, progress, written);
    return written;
}

void copyFilesToStore(ExchangeContext& context, TransferProgress& progress, const std::vector<std::u16string>& files,
                      CopyPathState& state) {
    const char letter = storeLetter(context.settings);
    const std::string guid = newGuidText(context.guids);
    const StoreWrite write = writeVirtualStore(context.files, context.clock, context.copyBuffer, letter,
                                               context.settings.sizeLimit.load(), files, progress.callback());
    if (!write.written()) {
        reportStoreRefusal(context, write);
        return;
    }
    JsonValue document(JsonValue::Kind::Object);
    assemblePayloadDocument(document, guid, write.storedPaths);
    if (publishDocument(context, progress, letter, guid, document)) reportLeftover(context, write, state);
}

// A text or a picture travels inside the document, so no store folder is written. The folder
// of an earlier file list stays as it is: the other computer may still be copying from it (a
// paste in progress), nothing points into it once this document replaces the old one, and the
// next file list replaces the whole storage folder anyway.
void writeInlineToStore(ExchangeContext& context, TransferProgress& progress, const std::vector<InlineFormat>& formats) {
    const char letter = storeLetter(context.settings);
    const std::string guid = newGuidText(context.guids);
    JsonValue document(JsonValue::Kind::Object);
    assembleInlineDocument(document, guid, formats);
    publishDocument(context, progress, letter, guid, document);
}

}  // namespace

std::string newGuidText(GuidSource& guids) {
    const std::string text = toUtf8(guids.newGuid());
    printOut(">>> NEW GUID=%s\n", text.c_str());
    return text;
}

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

void carryCopy(ExchangeContext& context, const CopyJob& job, CopyPathState& state) {
    TransferProgress progress(context.notifier, context.clock);
    switch (job.kind) {
        case CopyJob::Kind::Files:
            copyFilesToStore(context, progress, job.files, state);
            return;
        case CopyJob::Kind::Inline:
            writeInlineToStore(context, progress, job.formats);
            return;
        case CopyJob::Kind::Text:
            break;
    }
    const std::string guid = newGuidText(context.guids);
    const bool sent =
        sendAsLastSent(context.link, context.memory, context.clock, job.text, guid, progress.callback());
    reportResult(context, progress, sent);
}

}  // namespace shuttle
