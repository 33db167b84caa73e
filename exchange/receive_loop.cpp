#include "exchange/receive_loop.h"

#include <cstring>
#include <string>

#include "base/print.h"
#include "base/utf8.h"
#include "serial/serial_drivers.h"

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

void reportPasteFailed(ExchangeContext& context, const std::string& reason) {
    printOut("Paste failed: %s\n", reason.c_str());
    context.notifier.setIcon(kIconFailure);
    context.notifier.notify(u"Paste failed", fromUtf8(reason), false);
    context.notifier.log(("Paste failed: " + reason).c_str());
}

std::string refusalReason(const PasteResult& result) {
    switch (result.status) {
        case PasteResult::Status::NoFormat: return "The clipboard format could not be registered";
        case PasteResult::Status::NoMemory: return "Not enough memory";
        default: return formatText("The system refused the data (error %lu)", static_cast<unsigned long>(result.systemError));
    }
}

void traceNewerCopy() { printOut("A newer copy was made here; the received one is not pasted\n"); }

}  // namespace

void reportNotPasted(ExchangeContext& context, const std::string& reason) {
    printOut("Not pasted: %s\n", reason.c_str());
    context.notifier.log(("Not pasted: " + reason).c_str());
}

PasteOutcome pasteToClipboard(ExchangeContext& context, const std::vector<ClipboardItem>& items,
                              uint32_t seenAtSequence) {
    if (!openWithRetries(context)) return PasteOutcome::Busy;
    // Held open, the clipboard cannot change between this look and the paste.
    if (context.clipboard.sequenceNumber() != seenAtSequence) {
        context.clipboard.close();
        traceNewerCopy();
        return PasteOutcome::Newer;
    }
    const PasteResult result = context.clipboard.replace(items);
    context.clipboard.close();
    if (!result.placed()) {
        reportPasteFailed(context, refusalReason(result));
        return PasteOutcome::Failed;
    }
    printOut("Data received\n");
    context.notifier.notify(u"Data received", u"Ready to paste", true);
    context.notifier.log("Ready to paste");
    return PasteOutcome::Placed;
}

void ReceiveLoop::paste(std::vector<ClipboardItem> items, uint32_t seenAtSequence) {
    pending_.reset();  // a newer payload replaces one still waiting
    if (pasteToClipboard(context_, items, seenAtSequence) != PasteOutcome::Busy) return;
    printOut("The clipboard is busy; the paste is tried again\n");
    pending_ = PendingPaste{std::move(items), seenAtSequence, context_.clock.tickMs()};
}

void ReceiveLoop::retryPendingPaste() {
    if (!pending_) return;
    // A copy made here while the paste waited is newer: it stays, and goes to the other side.
    if (context_.clipboard.sequenceNumber() != pending_->seenAtSequence) {
        pending_.reset();
        traceNewerCopy();
        return;
    }
    if (pasteToClipboard(context_, pending_->items, pending_->seenAtSequence) != PasteOutcome::Busy) {
        pending_.reset();
        return;
    }
    if (context_.clock.tickMs() - pending_->firstTriedTick < kPasteRetryMs) return;
    pending_.reset();
    reportPasteFailed(context_, "The clipboard was busy");
}

void ReceiveLoop::pollSerial() {
    const uint32_t seenAt = context_.clipboard.sequenceNumber();  // before the message is seen
    std::u16string text;
    const SerialReceipt receipt = receiveNewText(context_.link, context_.memory, context_.link.portNumber.load(),
                                                 context_.clock, text);
    // A message read again at later polls was first seen at the poll where its read first failed:
    // a copy made here since then is newer.
    const std::string& unread = context_.link.unreadMessage.guid;
    if (!unread.empty() && (!unreadSeen_ || unreadSeen_->guid != unread)) unreadSeen_ = UnreadSeen{unread, seenAt};
    uint32_t firstSeen = seenAt;
    if (receipt == SerialReceipt::Text && unreadSeen_ && unreadSeen_->guid == context_.memory.lastReceived())
        firstSeen = unreadSeen_->sequence;
    if (receipt != SerialReceipt::Nothing) unreadSeen_.reset();
    if (receipt == SerialReceipt::GivenUp) {
        const std::string reason = "it did not read whole for " + std::to_string(kUnreadMessageLimitMs / 1000) + " s";
        context_.notifier.setIcon(kIconFailure);
        context_.notifier.notify(u"Receive failed", u"A copy from the other computer could not be received", false);
        context_.notifier.log(("A copy from the other computer could not be received: " + reason).c_str());
        return;
    }
    if (receipt != SerialReceipt::Text) return;
    // The text and its terminating zero unit, n * 2 + 2 bytes.
    std::vector<uint8_t> block((text.size() + 1) * sizeof(char16_t), 0);
    std::memcpy(block.data(), text.data(), text.size() * sizeof(char16_t));
    std::vector<ClipboardItem> items;
    items.push_back({kFormatUnicodeText, std::move(block)});
    paste(std::move(items), firstSeen);
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
