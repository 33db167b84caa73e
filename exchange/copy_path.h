#pragma once
// The copy path: runs on the window thread for every clipboard change while the link is
// copy-ready, and hands what the user copied to the link of the current mode.

#include <string>

#include "exchange/exchange_context.h"

namespace shuttle {

constexpr size_t kMaxComTextUnits = 3000;

void runCopyPath(ExchangeContext& context);

// A new GUID in registry form as UTF-8 ("" when the generator gave nothing); echoed as
// ">>> NEW GUID=%s".
std::string newGuidText(GuidSource& guids);

}  // namespace shuttle
