#pragma once
// The receive thread: once a second it asks the link of the current mode for a payload this
// computer has not seen and puts it on the clipboard.

#include <cstdint>
#include <vector>

#include "exchange/exchange_context.h"

namespace shuttle {

// The thread body; returns 1 once the run flag is cleared.
int receiveLoop(ExchangeContext& context);

// One poll of the current mode's link (what the loop does each second).
void pollLinkOnce(ExchangeContext& context);

// Places `block` under `format` in the main window's name and tells the user. The block is
// handed over whole; nothing is kept on failure.
bool pasteToClipboard(ExchangeContext& context, const std::vector<uint8_t>& block, uint32_t format);

}  // namespace shuttle
