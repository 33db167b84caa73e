// The receive loop's poll of USB mode: the META data file on the store drive, read when it
// changed, and the paste of a new payload document.

#include <mutex>
#include <string>

#include "base/print.h"
#include "base/utf8.h"
#include "exchange/receive_loop.h"
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

}  // namespace

// Pastes the first format of the payload that is a file list, a text format or a picture. The
// document is let go before a file list's paste, which copies the block once more.
void ReceiveLoop::pasteFirstUsableFormat(std::string& document, const std::string& root,
                                         const std::vector<std::string>& formats,
                                         const std::vector<std::string>& data, TraceBudget& trace,
                                         uint32_t seenAt) {
    for (size_t index = 0; index < formats.size(); ++index) {
        const std::string& name = formats[index];
        if (name == "CF_HDROP") {
            std::optional<std::vector<uint8_t>> block = buildDropFileList(document, root, trace);
            std::string().swap(document);
            trace.finish();
            if (block) paste({{kFormatHdrop, std::move(*block)}}, seenAt);
            return;
        }
        if (name == standardFormatName(kFormatDib)) {
            if (index >= data.size()) return;
            const std::string bytes = base64Decode(data[index]);
            trace.finish();
            if (!isPlausibleDib(bytes)) {
                printOut("The picture on the drive is not a bitmap; not pasted\n");
                return;
            }
            paste({{kFormatDib, std::vector<uint8_t>(bytes.begin(), bytes.end())}}, seenAt);  // the block exactly
            return;
        }
        if (isTextFormat(name)) {
            if (index >= data.size()) return;
            trace.finish();
            const uint32_t id = formatIdFromName(name, context_.formatIds);
            if (id == 0) {
                reportNotPasted(context_, "the clipboard format " + name + " could not be registered");
                return;
            }
            paste({{id, textClipboardBlock(name, base64Decode(data[index]))}}, seenAt);
            return;
        }
    }
}

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
    TraceBudget trace;
    std::string guid;
    std::vector<std::string> formats;
    std::vector<std::string> data;
    if (!readPayloadDocument(context_.memory, toUtf8(selection), document, guid, formats, data, trace)) return;
    pasteFirstUsableFormat(document, root, formats, data, trace, seenAt);
}

}  // namespace shuttle
