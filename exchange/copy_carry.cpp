// The transfer worker's half of the copy path: sending a text or writing the store, and telling
// the user how it went.

#include <mutex>
#include <sstream>

#include "base/print.h"
#include "base/utf8.h"
#include "exchange/copy_common.h"
#include "exchange/copy_path.h"
#include "exchange/transfer_progress.h"
#include "payload/json_value.h"
#include "payload/payload_document.h"
#include "serial/serial_drivers.h"
#include "store/meta_data_file.h"
#include "store/store_layout.h"
#include "store/store_writer.h"

namespace shuttle {
namespace {

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
        case StoreRefusal::Cancelled:
            printOut(">>> Transfer abandoned\n");
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

std::string serialised(const JsonValue& document) {
    std::ostringstream text;
    document.writeTo(text);
    return text.str();
}

// Tells the user once that what an earlier copy left on the drive could not be removed; told
// again only after the store was clean in between.
void reportLeftover(ExchangeContext& context, const FailedItem& leftover, CopyPathState& state) {
    if (context.stop.raised()) return;  // the removal was cut short: nothing to tell
    if (!leftover.failed()) {
        state.leftoverTold = false;
        return;
    }
    if (state.leftoverTold) return;
    state.leftoverTold = true;
    const std::string text = failedItemText(leftover);
    printOut(">>> Old files stay on the drive: %s\n", text.c_str());
    context.notifier.notify(u"Old files stay on the drive", fromUtf8(text), false);
    context.notifier.log(("Old files stay on the drive: " + text).c_str());
}

// Names the drive or a Windows computer cannot hold went under safe names: the trace and the
// log say so at every such copy, a balloon once a run.
void reportSafeNames(ExchangeContext& context, CopyPathState& state) {
    static constexpr char kText[] = "Some names were changed to names the drive and Windows can hold";
    printOut(">>> %s\n", kText);
    context.notifier.log(kText);
    if (state.safeNamesTold) return;
    state.safeNamesTold = true;
    context.notifier.notify(u"Names changed", fromUtf8(kText), true);
}

// The document goes to the drive last, under the link mutex with this side's GUID recorded,
// so that no poll reads the one without the other. A computer that is stopping leaves the old
// payload the valid one. True when the document is on the drive.
bool publishDocument(ExchangeContext& context, TransferProgress& progress, char letter, const std::string& guid,
                     const std::string& bytes) {
    if (context.stop.raised()) {
        printOut(">>> Transfer abandoned\n");
        return false;
    }
    bool written;
    {
        std::lock_guard<std::mutex> lock(context.link.mutex);
        context.memory.recordSent(guid);
        written = writeMetaDataFile(context.files, driveRoot(letter), bytes);
    }
    reportResult(context, progress, written);
    return written;
}

// Once this side's document is the drive's, the earlier payloads go. Should the other computer
// have published meanwhile, its payload is the current one and the clearing up is its own: this
// side must not remove the files its document names.
void clearEarlierPayloads(ExchangeContext& context, char letter, const std::string& published,
                          const StoreWrite& write, CopyPathState& state) {
    std::string current;
    if (!readMetaDataFile(context.files, driveRoot(letter), current) || current != published) return;
    reportLeftover(context, removeEarlierPayloads(context.files, write, &context.stop), state);
}

// New before old: the new payload folder, then its document, and only then the earlier
// payloads go. A copy that fails or is cancelled at any point leaves the drive's document and
// every file it names in place.
void copyFilesToStore(ExchangeContext& context, TransferProgress& progress, const std::vector<std::u16string>& files,
                      CopyPathState& state) {
    const char letter = storeLetter(context.settings);
    const std::string guid = newGuidText(context.guids);
    const StoreWrite write = writeVirtualStore(context.files, context.clock, context.copyBuffer, letter,
                                               context.settings.sizeLimit.load(), files, progress.callback(),
                                               &context.stop);
    if (!write.written()) {
        reportStoreRefusal(context, write);
        return;
    }
    JsonValue document(JsonValue::Kind::Object);
    assemblePayloadDocument(document, guid, write.storedPaths);
    const std::string bytes = serialised(document);
    if (!publishDocument(context, progress, letter, guid, bytes)) {
        discardPayload(context.files, write);  // nothing names it
        return;
    }
    if (write.renamed) reportSafeNames(context, state);
    clearEarlierPayloads(context, letter, bytes, write, state);
}

// A text or a picture travels inside the document, so no store folder is written. The folder
// of an earlier file list stays as it is: the other computer may still be copying from it (a
// paste in progress), nothing points into it once this document replaces the old one, and the
// next file list removes it.
void writeInlineToStore(ExchangeContext& context, TransferProgress& progress, const std::vector<InlineFormat>& formats) {
    const char letter = storeLetter(context.settings);
    const std::string guid = newGuidText(context.guids);
    JsonValue document(JsonValue::Kind::Object);
    assembleInlineDocument(document, guid, formats);
    publishDocument(context, progress, letter, guid, serialised(document));
}

}  // namespace

std::string newGuidText(GuidSource& guids) {
    const std::string text = toUtf8(guids.newGuid());
    printOut(">>> NEW GUID=%s\n", text.c_str());
    return text;
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
