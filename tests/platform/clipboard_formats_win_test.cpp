#include <gtest/gtest.h>

#include "payload/format_catalogue.h"

namespace shuttle {
namespace {

TEST(SystemClipboardFormats, RegisteredNamesGetStableNonZeroIds) {
    auto registry = makeSystemClipboardFormatRegistry();
    const ClipboardFormatIds ids = ClipboardFormatIds::registerAll(*registry);
    for (const auto& format : registeredFormats) {
        const uint32_t id = formatIdFromName(format.payloadName, ids);
        EXPECT_GE(id, 0xC000u) << format.payloadName;
        EXPECT_EQ(registry->registerFormat(std::u16string(format.systemName)), id) << format.payloadName;
    }
    EXPECT_NE(formatIdFromName("CF_HTML", ids), formatIdFromName("CF_RTF", ids));
    EXPECT_EQ(formatIdFromName("CF_HDROP", ids), 15u);
}

}  // namespace
}  // namespace shuttle
