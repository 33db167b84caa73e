#include "exchange/receive_loop.h"

#include <cstring>
#include <string>

#include "base/print.h"
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
    const SerialReceipt receipt = receiveNewText(context_.link, context_.memory, context_.link.portNumber.load(),
                                                 context_.clock, text);
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
    paste(std::move(block), kFormatUnicodeText);
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
