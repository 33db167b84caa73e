#pragma once
// The receive loop: once a second it asks the link of the current mode for a payload this
// computer has not seen and puts it on the clipboard. A paste that meets a busy clipboard is
// kept and tried again at the next polls, so a received payload never vanishes silently. The
// newest copy wins: a payload is not pasted over a copy the user made here after it was first
// seen (while it was still being read, or while its paste waited for the clipboard). The
// drive's META data file is parsed only when its content changed, and read only when its size
// or last-write time changed (or while that version is young); one poll prints about
// kTraceLinesPerPoll trace lines at most.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/trace_budget.h"
#include "exchange/exchange_context.h"
#include "store/meta_data_file.h"

namespace shuttle {

constexpr uint32_t kPollPeriodMs = 1000;
constexpr uint64_t kPasteRetryMs = 10000;  // how long a busy clipboard may delay one paste
// File systems keep last-write times coarsely (FAT to two seconds): a second document of the
// same size written soon after the first can carry the same time. A version of the META data
// file is therefore read again until it has stood this long; only then is it trusted unread.
constexpr uint64_t kVersionSettleMs = 3000;

class ReceiveLoop {
public:
    explicit ReceiveLoop(ExchangeContext& context) : context_(context) {}

    // The thread body: a poll every `periodMs` until the context's stop is raised.
    void run(uint32_t periodMs = kPollPeriodMs);
    // One poll: a paste still waiting is tried again, then the link is asked for news (a new
    // payload replaces a waiting one: the newest content wins).
    void pollOnce();
    bool pastePending() const { return pending_.has_value(); }

private:
    struct PendingPaste {
        std::vector<ClipboardItem> items;
        uint32_t seenAtSequence;  // the clipboard's sequence number when the payload was first seen
        uint64_t firstTriedTick;
    };
    // The META data file as last read.
    struct SeenDocument {
        std::string root;
        MetaDataVersion version;
        uint64_t versionSeenTick = 0;  // when this version was first seen
        uint64_t contentHash = 0;      // of the content last parsed
        bool parsed = false;
    };
    void pollSerial();
    void pollStore();
    bool readDocumentIfChanged(const std::string& root, std::string& document);
    // Puts the items on the clipboard in one change unless the clipboard changed since
    // `seenAtSequence`; a busy clipboard keeps them for the next polls.
    void paste(std::vector<ClipboardItem> items, uint32_t seenAtSequence);
    void retryPendingPaste();

    // COM mode: a message whose read failed and is read again at later polls, with the clipboard's
    // sequence number of the poll that first saw it.
    struct UnreadSeen {
        std::string guid;
        uint32_t sequence;
    };

    ExchangeContext& context_;
    std::optional<PendingPaste> pending_;
    std::optional<UnreadSeen> unreadSeen_;
    std::optional<SeenDocument> seen_;
};

enum class PasteOutcome {
    Placed,  // on the clipboard, and the user was told
    Busy,    // the clipboard stayed busy for every attempt: worth trying again later
    Newer,   // the clipboard changed since the payload was first seen: the local copy stays
    Failed,  // the system refused (reported with its reason): trying again cannot mend it
};

// Places the items in the main window's name, all in one change, and tells the user: the
// clipboard is opened with bounded retries (about a second), and emptied only once every block
// is ready. Nothing is placed when the clipboard's sequence number is no longer
// `seenAtSequence` (a copy made here is newer than the payload).
PasteOutcome pasteToClipboard(ExchangeContext& context, const std::vector<ClipboardItem>& items,
                              uint32_t seenAtSequence);

// A received payload that cannot be pasted: one trace line and one log line with the reason.
void reportNotPasted(ExchangeContext& context, const std::string& reason);

}  // namespace shuttle
