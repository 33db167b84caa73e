#pragma once
// What the two halves of the copy path share: the notices that refuse a copy and the store
// drive letter of the current selection.

#include <cstdint>
#include <string>

#include "core/settings.h"
#include "exchange/exchange_context.h"

namespace shuttle {

inline const std::u16string kCantCopyTitle = u"Can't copy";

void refuse(ExchangeContext& context, const std::u16string& text);
void refuseTooLarge(ExchangeContext& context, uint64_t total, uint64_t limit);
char storeLetter(const Settings& settings);

}  // namespace shuttle
