// The receive loop's poll of USB mode: the META data file on the store drive, read when it
// changed, and the paste of a new payload document: every format of it this computer knows, each
// checked first, all in one change.

#include <mutex>
#include <new>
#include <string>

#include "base/print.h"
#include "base/utf8.h"
#include "exchange/receive_loop.h"
#include "payload/bitmap_header.h"
#include "payload/payload_document.h"
#include "store/meta_data_file.h"
#include "store/store_layout.h"

namespace shuttle {
namespace {

// FNV-1a: tells a re-read document from the one parsed before.
uint64_t contentHash(const std::string& bytes) {
    uint64_t hash = 14695981039346656037ULL;
    for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ULL;
    return hash;
}

// How this computer pastes a format a document may carry.
enum class Carried { Unknown, FileList, Picture, Text };

Carried carriedAs(std::string_view name) {
    if (name == standardFormatName(kFormatHdrop)) return Carried::FileList;
    if (name == standardFormatName(kFormatDib)) return Carried::Picture;
    return isTextFormat(name) ? Carried::Text : Carried::Unknown;
}

// The clipboard block of a format carried inline, or the reason there is none.
std::optional<std::vector<uint8_t>> inlineBlock(const std::string& name, Carried carried, const JsonView& data,
                                                std::string& refusal) {
    if (!data.is(JsonView::Kind::String)) {
        refusal = "the data of " + name + " is not text";
        return std::nullopt;
    }
    std::vector<uint8_t> block = data.withText([&](std::string_view base64) { return inlineClipboardBlock(name, base64); });
    const std::string_view flaw = carried == Carried::Picture ? dibFlaw(block.data(), block.size()) : std::string_view();
    if (flaw.empty()) return block;
    refusal = std::string(flaw);
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> blockOf(const std::string& name, Carried carried, const JsonView& data,
                                            const std::string& root, TraceBudget& trace, std::string& refusal) {
    try {
        if (carried != Carried::FileList) return inlineBlock(name, carried, data, refusal);
        DropFileList list = buildDropFileList(data, root, trace);
        refusal = std::move(list.refusal);
        return std::move(list.block);
    } catch (const std::bad_alloc&) {
        refusal = "not enough memory for " + name;
        return std::nullopt;
    }
}

bool holdsFormat(const std::vector<ClipboardItem>& items, uint32_t format) {
    for (const ClipboardItem& item : items)
        if (item.format == format) return true;
    return false;
}

// Every format of the document this computer knows, each checked, for one paste; the first entry
// of a format counts. A format that cannot be pasted is told with its reason and the rest go on.
std::vector<ClipboardItem> clipboardItemsOf(ExchangeContext& context, const PayloadDocument& document,
                                            const std::string& root, TraceBudget& trace) {
    std::vector<ClipboardItem> items;
    bool told = false;
    auto refuse = [&](const std::string& reason) {
        trace.finish();
        reportNotPasted(context, reason);
        told = true;
    };
    for (size_t index = 0; index < document.formats.size(); ++index) {
        const std::string& name = document.formats[index];
        const Carried carried = carriedAs(name);
        if (carried == Carried::Unknown) continue;
        const uint32_t id = formatIdFromName(name, context.formatIds);
        if (id == 0) {
            refuse("the clipboard format " + name + " could not be registered");
            continue;
        }
        if (holdsFormat(items, id)) continue;
        if (index >= document.data.size()) {
            refuse("the document's data list is shorter than its formats (no data for " + name + ")");
            continue;
        }
        std::string refusal;
        std::optional<std::vector<uint8_t>> block = blockOf(name, carried, document.data[index], root, trace, refusal);
        if (block)
            items.push_back({id, std::move(*block)});
        else
            refuse(refusal);
    }
    trace.finish();
    if (items.empty() && !told) reportNotPasted(context, "the document holds no format this computer can paste");
    return items;
}

}  // namespace

// Reads the META data file and gives true when its content is new to this loop.
bool ReceiveLoop::readDocumentIfChanged(const std::string& root, std::string& document) {
    const uint64_t now = context_.clock.tickMs();
    const bool sameDrive = seen_ && seen_->root == root;
    MetaDataVersion skip;
    if (sameDrive && now - seen_->versionSeenTick >= kVersionSettleMs) skip = seen_->version;
    MetaDataVersion version;
    MetaDataRead read;
    {
        std::lock_guard<std::mutex> lock(context_.link.mutex);
        read = readMetaDataFileIfChanged(context_.files, root, skip, version, document);
    }
    if (!sameDrive) seen_ = SeenDocument{root, {}, now, 0, false};
    if (version != seen_->version || !version.known()) {
        seen_->version = version;
        seen_->versionSeenTick = now;
    }
    if (read != MetaDataRead::Read) return false;
    const uint64_t hash = contentHash(document);
    if (seen_->parsed && seen_->contentHash == hash) return false;
    seen_->contentHash = hash;
    seen_->parsed = true;
    return true;
}

void ReceiveLoop::pollStore() {
    const LinkState& link = context_.link;
    if (link.pasteReady == 0 || link.linkConnected == 0) {
        printOut("USB not ready\n");
        return;
    }
    const std::u16string selection = context_.settings.storeSelection.get();
    const char letter = storeDriveLetter(selection);
    if (letter == 0) return;
    const std::string root = driveRoot(letter);
    const uint32_t seenAt = context_.clipboard.sequenceNumber();  // before the document is read
    std::string document;
    if (!readDocumentIfChanged(root, document)) return;
    std::vector<ClipboardItem> items;
    {
        TraceBudget trace;
        PayloadDocument payload;  // views into `document`
        if (!readPayloadDocument(context_.memory, toUtf8(selection), document, payload, trace)) return;
        items = clipboardItemsOf(context_, payload, root, trace);
    }
    std::string().swap(document);  // every block is made: the text goes before the paste copies them
    if (!items.empty()) paste(std::move(items), seenAt);
}

}  // namespace shuttle
