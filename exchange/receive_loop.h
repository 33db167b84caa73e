#pragma once
// The receive loop: once a second it asks the link of the current mode for a payload this
// computer has not seen and puts it on the clipboard. A paste that meets a busy clipboard is
// kept and tried again at the next polls, so a received payload never vanishes silently. The
// drive's META data file is parsed only when its content changed, and read only when its size
// or last-write time changed (or while that version is young); one poll prints about
// kTraceLinesPerPoll trace lines at most.

#include <cstdint>
#include <optional>
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
        std::vector<uint8_t> block;
        uint32_t format;
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
    void pasteFirstUsableFormat(std::string& document, const std::string& root,
                                const std::vector<std::string>& formats, const std::vector<std::string>& data,
                                TraceBudget& trace);
    void paste(std::vector<uint8_t> block, uint32_t format);
    void retryPendingPaste();

    ExchangeContext& context_;
    std::optional<PendingPaste> pending_;
    std::optional<SeenDocument> seen_;
};

// Places `block` under `format` in the main window's name and tells the user: the clipboard is
// opened with bounded retries (about a second), and emptied only once the block is ready.
// False when the clipboard stayed busy or refused the block; nothing is changed then.
bool pasteToClipboard(ExchangeContext& context, const std::vector<uint8_t>& block, uint32_t format);

}  // namespace shuttle
