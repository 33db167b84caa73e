#include "exchange/copy_common.h"

#include "base/print.h"
#include "base/utf8.h"
#include "store/store_layout.h"

namespace shuttle {

void refuse(ExchangeContext& context, const std::u16string& text) {
    context.notifier.setIcon(kIconFailure);
    context.notifier.notify(kCantCopyTitle, text, false);
}

void refuseTooLarge(ExchangeContext& context, uint64_t total, uint64_t limit) {
    const std::string text = formatText("Total size is %llu bytes (max %lu bytes)", static_cast<unsigned long long>(total),
                                        static_cast<unsigned long>(limit));
    refuse(context, fromUtf8(text));
    printOut("%s\n", text.c_str());
}

char storeLetter(const Settings& settings) { return storeDriveLetter(settings.storeSelection.get()); }

}  // namespace shuttle
