#pragma once
// The copy path. On the window thread, for every clipboard change, it reads what the user
// copied and closes the clipboard again at once; the transfer worker then carries the copy to
// the link of the current mode, so that neither the clipboard nor the window waits for the
// device or the drive.

#include <optional>
#include <string>
#include <vector>

#include "exchange/exchange_context.h"
#include "payload/payload_document.h"
#include "store/meta_data_file.h"

namespace shuttle {

// The most clipboard bytes a text or picture may carry in USB mode whatever the size limit:
// their base64 inside the document must stay within what every reader accepts.
constexpr uint64_t kMaxInlineBytes = (kMaxMetaDataFileSize - 4096) / 4 * 3;

// What the user copied, taken off the clipboard.
struct CopyJob {
    enum class Kind { Text, Files, Inline };
    Kind kind = Kind::Text;
    uint32_t sequence = 0;              // the clipboard's sequence number while it was read
    std::u16string text;                // Text (COM mode): CF_UNICODETEXT up to its first zero unit
    std::vector<std::u16string> files;  // Files (USB mode): the file-drop list's entries, in order
    std::vector<InlineFormat> formats;  // Inline (USB mode): a text's formats or a picture, in document order
};

enum class CopyRead {
    Taken,    // the job holds what the current mode carries
    Nothing,  // nothing to carry: this computer's own paste, content marked private, or no format of the mode
    Refused,  // the copy cannot go (too large, unreadable): the user has been told why
    Busy,     // another program holds the clipboard: look again in a moment
};

// Window thread: opens the clipboard (a few attempts), ignores a change this computer made
// itself (its own paste) and content its owner marked private, measures and copies out what the
// current mode carries, and closes the clipboard. COM mode carries CF_UNICODETEXT; USB mode a
// file list, else the text formats the owner offered (CF_UNICODETEXT first, without the plain
// texts the system derives from it) and a picture (CF_DIB) when no plain text is offered. A
// block over the mode's limit is refused before it is copied out ("Can't copy" with its size),
// and so is a copy that cannot be read or held (with the reason).
// A change whose sequence number is `handled` (one read before: the system may notify a change
// twice) is Nothing, and nothing else happens.
CopyRead readCopy(ExchangeContext& context, CopyJob& job, std::optional<uint32_t> handled = std::nullopt);

// Window thread: the clipboard stayed busy for every look at one change.
void reportClipboardBusy(ExchangeContext& context);

// Window thread: a copy that cannot go for `reason` ("Can't copy" with the reason, a trace and
// a log line).
void reportCopyFailed(ExchangeContext& context, const std::string& reason);

// Window thread: whether the job may go to the transfer worker: a copy while the link cannot
// take it is reported as not sent.
bool acceptCopy(ExchangeContext& context);

// What the copy path remembers from one copy to the next; the transfer worker keeps it.
struct CopyPathState {
    bool leftoverTold = false;  // the user knows that an earlier copy could not be removed
    bool safeNamesTold = false;  // the user knows that names were changed for the drive
};

// Transfer worker: gives the job a new GUID, sends it or writes it to the store, shows the
// progress of a long transfer, and reports the result through the tray. A store write goes
// whole or says which item failed and why ("Can't copy" / "<name>: access denied"); what an
// earlier copy left on the drive is told once.
void carryCopy(ExchangeContext& context, const CopyJob& job, CopyPathState& state);

// A new GUID in registry form as UTF-8 ("" when the generator gave nothing); echoed as
// ">>> NEW GUID=%s".
std::string newGuidText(GuidSource& guids);

}  // namespace shuttle
