#include "exchange/receive_loop.h"

#include <cstring>
#include <mutex>
#include <string>

#include "core/log_event.h"
#include "base/print.h"
#include "payload/payload_document.h"
#include "serial/serial_drivers.h"
#include "store/meta_data_file.h"
#include "store/store_layout.h"
#include "core/notifications.h"

namespace shuttle {
namespace {

constexpr uint32_t kPollPeriodMs = 1000;

void pollSerial(ExchangeContext& context) {
    std::u16string text;
    const size_t units = receiveNewText(context.state, context.clock, text);
    if (units == 0 || units > text.size()) return;
    // The text and its terminating zero unit, n * 2 + 2 bytes.
    std::vector<uint8_t> block((units + 1) * sizeof(char16_t), 0);
    std::memcpy(block.data(), text.data(), units * sizeof(char16_t));
    pasteToClipboard(context, block, kFormatUnicodeText);
}

// Pastes the first format of the payload that is a file list or a text format.
void pasteFirstUsableFormat(ExchangeContext& context, const std::string& document, const std::string& root,
                            const std::vector<std::string>& formats, const std::vector<std::string>& data) {
    for (size_t index = 0; index < formats.size(); ++index) {
        const std::string& name = formats[index];
        if (name == "CF_HDROP") {
            if (auto block = buildDropFileList(document, root)) pasteToClipboard(context, *block, kFormatHdrop);
            return;
        }
        if (isTextFormat(name)) {
            if (index >= data.size()) return;
            std::string bytes = base64Decode(data[index]);
            std::vector<uint8_t> block(bytes.begin(), bytes.end());
            block.push_back(0);
            pasteToClipboard(context, block, formatIdFromName(name, context.formatIds));
            return;
        }
    }
}

void pollStore(ExchangeContext& context) {
    SharedState& state = context.state;
    if (state.link.pasteReady == 0 || state.link.linkConnected == 0) {
        printOut("USB not ready\n");
        return;
    }
    const char letter = storeDriveLetter(state.settings.storeSelection.get());
    if (letter == 0) return;
    const std::string root = driveRoot(letter);
    std::string document;
    bool read;
    {
        std::lock_guard<std::mutex> link(state.linkMutex);
        read = readMetaDataFile(context.files, root, document);
    }
    if (!read) return;
    std::string guid;
    std::vector<std::string> formats;
    std::vector<std::string> data;
    if (!readPayloadDocument(state, document, guid, formats, data)) return;
    pasteFirstUsableFormat(context, document, root, formats, data);
}

}  // namespace

bool pasteToClipboard(ExchangeContext& context, const std::vector<uint8_t>& block, uint32_t format) {
    if (!context.clipboard.open()) return false;
    struct Closer {
        Clipboard& clipboard;
        ~Closer() { clipboard.close(); }
    } closer{context.clipboard};
    if (!context.clipboard.empty() || !context.clipboard.setData(format, block)) return false;
    printOut("Data received\n");
    notifyUser(context.state, context.tray, u"Data received", u"Ready to paste", true);
    logEvent(context.state, "Ready to paste");
    return true;
}

void pollLinkOnce(ExchangeContext& context) {
    if (context.state.settings.usbMode())
        pollStore(context);
    else
        pollSerial(context);
}

int receiveLoop(ExchangeContext& context) {
    while (context.state.running != 0) {
        context.clock.sleepMs(kPollPeriodMs);
        pollLinkOnce(context);
    }
    return 1;
}

}  // namespace shuttle
