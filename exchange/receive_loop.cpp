#include "exchange/receive_loop.h"

#include <cstring>
#include <mutex>
#include <string>

#include "base/print.h"
#include "base/utf8.h"
#include "payload/payload_document.h"
#include "serial/serial_drivers.h"
#include "store/meta_data_file.h"
#include "store/store_layout.h"

namespace shuttle {
namespace {

// Clipboard managers and remote-desktop clients open the clipboard many times a second.
constexpr int kPasteOpenAttempts = 20;
constexpr uint32_t kPasteOpenPauseMs = 50;

bool openWithRetries(ExchangeContext& context) {
    for (int attempt = 0; attempt < kPasteOpenAttempts; ++attempt) {
        if (context.clipboard.open()) return true;
        if (context.clock.sleepUnless(context.stop, kPasteOpenPauseMs)) return false;
    }
    return false;
}

// FNV-1a: tells a re-read document from the one parsed before.
uint64_t contentHash(const std::string& bytes) {
    uint64_t hash = 14695981039346656037ULL;
    for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ULL;
    return hash;
}

void reportPasteFailed(ExchangeContext& context) {
    printOut("Paste failed: the clipboard was busy\n");
    context.notifier.setIcon(kIconFailure);
    context.notifier.notify(u"Paste failed", u"The clipboard was busy", false);
    context.notifier.log("Paste failed: the clipboard was busy");
}

}  // namespace

bool pasteToClipboard(ExchangeContext& context, const std::vector<uint8_t>& block, uint32_t format) {
    if (!openWithRetries(context)) return false;
    const bool placed = context.clipboard.replace(format, block);
    context.clipboard.close();
    if (!placed) return false;
    printOut("Data received\n");
    context.notifier.notify(u"Data received", u"Ready to paste", true);
    context.notifier.log("Ready to paste");
    return true;
}

void ReceiveLoop::paste(std::vector<uint8_t> block, uint32_t format) {
    pending_.reset();  // a newer payload replaces one still waiting
    if (pasteToClipboard(context_, block, format)) return;
    printOut("The clipboard is busy; the paste is tried again\n");
    pending_ = PendingPaste{std::move(block), format, context_.clock.tickMs()};
}

void ReceiveLoop::retryPendingPaste() {
    if (!pending_) return;
    if (pasteToClipboard(context_, pending_->block, pending_->format)) {
        pending_.reset();
        return;
    }
    if (context_.clock.tickMs() - pending_->firstTriedTick < kPasteRetryMs) return;
    pending_.reset();
    reportPasteFailed(context_);
}

void ReceiveLoop::pollSerial() {
    std::u16string text;
    const size_t units = receiveNewText(context_.link, context_.memory, context_.link.portNumber.load(),
                                        context_.clock, text);
    if (units == 0 || units > text.size()) return;
    // The text and its terminating zero unit, n * 2 + 2 bytes.
    std::vector<uint8_t> block((units + 1) * sizeof(char16_t), 0);
    std::memcpy(block.data(), text.data(), units * sizeof(char16_t));
    paste(std::move(block), kFormatUnicodeText);
}

// Pastes the first format of the payload that is a file list, a text format or a picture. The
// document is let go before a file list's paste, which copies the block once more.
void ReceiveLoop::pasteFirstUsableFormat(std::string& document, const std::string& root,
                                         const std::vector<std::string>& formats,
                                         const std::vector<std::string>& data, TraceBudget& trace) {
    for (size_t index = 0; index < formats.size(); ++index) {
        const std::string& name = formats[index];
        if (name == "CF_HDROP") {
            std::optional<std::vector<uint8_t>> block = buildDropFileList(document, root, trace);
            std::string().swap(document);
            trace.finish();
            if (block) paste(std::move(*block), kFormatHdrop);
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
            paste(std::vector<uint8_t>(bytes.begin(), bytes.end()), kFormatDib);  // the block exactly
            return;
        }
        if (isTextFormat(name)) {
            if (index >= data.size()) return;
            trace.finish();
            paste(textClipboardBlock(name, base64Decode(data[index])), formatIdFromName(name, context_.formatIds));
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
    std::string document;
    if (!readDocumentIfChanged(root, document)) return;
    TraceBudget trace;
    std::string guid;
    std::vector<std::string> formats;
    std::vector<std::string> data;
    if (!readPayloadDocument(context_.memory, toUtf8(selection), document, guid, formats, data, trace)) return;
    pasteFirstUsableFormat(document, root, formats, data, trace);
}

void ReceiveLoop::pollOnce() {
    retryPendingPaste();
    if (context_.settings.usbMode())
        pollStore();
    else
        pollSerial();
}

void ReceiveLoop::run(uint32_t periodMs) {
    while (!context_.clock.sleepUnless(context_.stop, periodMs)) pollOnce();
}

}  // namespace shuttle
