#include "exchange/copy_path.h"

#include <mutex>
#include <sstream>

#include "base/print.h"
#include "base/utf8.h"
#include "payload/json_value.h"
#include "payload/payload_document.h"
#include "serial/serial_drivers.h"
#include "store/meta_data_file.h"
#include "store/store_layout.h"
#include "store/store_writer.h"

namespace shuttle {
namespace {

constexpr int kClipboardOpenAttempts = 5;
const std::u16string kCantCopyTitle = u"Can't copy";

void reportResult(ExchangeContext& context, bool succeeded) {
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
    const auto limit = static_cast<unsigned>(kMaxComTextUnits);
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
        case StoreRefusal::TooLarge: {
            const std::string text =
                formatText("Total size is %llu bytes (max %lu bytes)", static_cast<unsigned long long>(write.totalBytes),
                           static_cast<unsigned long>(context.settings.sizeLimit.load()));
            refuse(context, fromUtf8(text));
            printOut("%s\n", text.c_str());
            break;
        }
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

std::string serialisedFileList(const std::string& guid, const std::vector<std::string>& paths) {
    JsonValue document(JsonValue::Kind::Object);
    assemblePayloadDocument(document, guid, paths);
    std::ostringstream text;
    document.writeTo(text);
    return text.str();
}

void copyFilesToStore(ExchangeContext& context, const std::vector<std::u16string>& files, CopyPathState& state) {
    const char letter = storeLetter(context.settings);
    const std::string guid = newGuidText(context.guids);
    const StoreWrite write = writeVirtualStore(context.files, context.clock, context.copyBuffer, letter,
                                               context.settings.sizeLimit.load(), files);
    if (!write.written()) {
        reportStoreRefusal(context, write);
        return;
    }
    if (context.stop.raised()) {  // the session is ending: the old payload stays the valid one
        printOut(">>> Transfer abandoned\n");
        return;
    }
    const std::string bytes = serialisedFileList(guid, write.storedPaths);
    bool written;
    {
        std::lock_guard<std::mutex> lock(context.link.mutex);
        context.memory.recordSent(guid);
        written = writeMetaDataFile(context.files, driveRoot(letter), bytes);
    }
    reportResult(context, written);
    if (written) reportLeftover(context, write, state);
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
    job = CopyJob{};
    if (context.settings.usbMode()) {
        auto files = context.clipboard.dropList();
        if (!files) return CopyRead::Nothing;
        job.kind = CopyJob::Kind::Files;
        job.files = std::move(*files);
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
    if (job.kind == CopyJob::Kind::Text && job.text.size() > kMaxComTextUnits) {
        refuseLongText(context, job.text.size());
        return false;
    }
    if (!linkCanCarry(context)) {
        reportNotConnected(context);
        return false;
    }
    return true;
}

void carryCopy(ExchangeContext& context, const CopyJob& job, CopyPathState& state) {
    if (job.kind == CopyJob::Kind::Files) {
        copyFilesToStore(context, job.files, state);
        return;
    }
    const std::string guid = newGuidText(context.guids);
    reportResult(context, sendAsLastSent(context.link, context.memory, context.clock, job.text, guid));
}

}  // namespace shuttle
