#include "exchange/copy_path.h"

#include <mutex>
#include <sstream>

#include "core/log_event.h"
#include "base/print.h"
#include "payload/json_value.h"
#include "serial/serial_drivers.h"
#include "store/meta_data_file.h"
#include "store/store_layout.h"
#include "store/store_writer.h"
#include "base/utf8.h"
#include "core/notifications.h"

namespace shuttle {
namespace {

constexpr int kClipboardOpenAttempts = 5;

void reportResult(ExchangeContext& context, bool succeeded) {
    if (succeeded) {
        printOut(">>> Copy successful\n");
        setTrayIcon(context.state, context.tray, context.clock, kIconSuccess);
        notifyUser(context.state, context.tray, u"Copy successful", u"Copy successful", true);
    } else {
        printOut(">>> Transfer interrupted\n");
        setTrayIcon(context.state, context.tray, context.clock, kIconFailure);
        notifyUser(context.state, context.tray, u"Transfer interrupted", u"Data may be lost", false);
    }
}

bool linkFullyReady(const SharedState& state) {
    return state.link.copyReady != 0 && state.link.pasteReady != 0 && state.link.linkConnected != 0;
}

void copyFilesToStore(ExchangeContext& context) {
    SharedState& state = context.state;
    const std::u16string selection = state.settings.storeSelection.get();
    if (!linkFullyReady(state) || selection.empty()) return;
    const char letter = storeDriveLetter(selection);
    if (letter == 0) return;
    auto dropList = context.clipboard.dropList();
    if (!dropList) return;

    const std::string guid = newGuidText(context.guids);
    JsonValue document(JsonValue::Kind::Object);
    if (!writeVirtualStore(state, context.files, context.tray, context.clock, context.copyBuffer, *dropList,
                           document, guid))
        return;
    std::ostringstream text;
    JsonValue(document).writeTo(text);
    const std::string bytes = text.str();

    bool written;
    {
        std::lock_guard<std::mutex> link(state.linkMutex);
        state.lastSentGuid.set(guid);
        written = writeMetaDataFile(context.files, driveRoot(letter), bytes);
    }
    reportResult(context, written);
}

void refuseLongText(ExchangeContext& context, size_t units) {
    const auto length = static_cast<unsigned>(units);
    const auto limit = static_cast<unsigned>(kMaxComTextUnits);
    setTrayIcon(context.state, context.tray, context.clock, kIconFailure);
    notifyUser(context.state, context.tray, u"Can't copy",
               fromUtf8(formatText("%u characters (max %u)", length, limit)), false);
    char entry[64];
    if (formatInto(entry, sizeof entry, "Can't copy %u characters (max %u)", length, limit) >= 0)
        logEvent(context.state, entry);
}

void copyTextToLink(ExchangeContext& context) {
    auto text = context.clipboard.unicodeText();
    if (!text) return;
    if (text->size() > kMaxComTextUnits) {
        refuseLongText(context, text->size());
        return;
    }
    const std::string guid = newGuidText(context.guids);
    reportResult(context, sendAsLastSent(context.state, context.clock, *text, guid));
}

}  // namespace

std::string newGuidText(GuidSource& guids) {
    const std::string text = toUtf8(guids.newGuid());
    printOut(">>> NEW GUID=%s\n", text.c_str());
    return text;
}

void runCopyPath(ExchangeContext& context) {
    ClipboardSession session(context.clipboard, context.clock, kClipboardOpenAttempts);
    if (!session.isOpen()) return;
    // Our own paste made the main window the owner: never send it back.
    if (context.clipboard.ownedByMainWindow()) return;
    if (context.state.settings.usbMode())
        copyFilesToStore(context);
    else
        copyTextToLink(context);
}

}  // namespace shuttle
