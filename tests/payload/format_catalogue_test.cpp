#include <gtest/gtest.h>

#include "payload/format_catalogue.h"

namespace shuttle {
namespace {

TEST(FormatCatalogue, NamesMapToIdsOnlyWhenExactAndTextFormatsAreExactlyTheSeven) {
    const ClipboardFormatIds none;
    EXPECT_EQ(formatIdFromName("CF_UNICODETEXT", none), 13u);
    EXPECT_EQ(formatIdFromName("CF_HDROP", none), 15u);
    EXPECT_EQ(formatIdFromName("CF_TEXT", none), 1u);
    EXPECT_EQ(formatIdFromName("CF_DIBV5", none), 17u);
    EXPECT_EQ(standardFormatName(kFormatHdrop), "CF_HDROP");
    EXPECT_EQ(standardFormatName(18), "");
    for (const char* name : {"cf_unicodetext", "cf_hdrop", "CF_HDROP ", " CF_HDROP", "CF_HDRO", "HTML Format",
                             "CF_BOGUS", "\"CF_HDROP"})
        EXPECT_EQ(formatIdFromName(name, none), 0u) << name;
    EXPECT_EQ(formatIdFromName("", none), 0u);
    EXPECT_EQ(formatIdFromName(std::string("CF_HDROP\0", 9), none), 0u);
    MemoryClipboardFormatRegistry thisComputer(0xC000);
    MemoryClipboardFormatRegistry otherComputer(0xC0A0);
    otherComputer.registerFormat(u"Something registered earlier");
    const ClipboardFormatIds ids = ClipboardFormatIds::registerAll(thisComputer);
    const ClipboardFormatIds otherIds = ClipboardFormatIds::registerAll(otherComputer);
    EXPECT_EQ(formatIdFromName("CF_HTML", ids), thisComputer.registerFormat(u"HTML Format"));
    EXPECT_EQ(formatIdFromName("CF_RTF", ids), thisComputer.registerFormat(u"Rich Text Format"));
    EXPECT_EQ(formatIdFromName("CF_RTFNOOBJS", ids), thisComputer.registerFormat(u"Rich Text Format Without Objects"));
    EXPECT_EQ(formatIdFromName("CF_RETEXTOBJ", ids), thisComputer.registerFormat(u"RichEdit Text and Objects"));
    for (const auto& format : registeredFormats) {
        EXPECT_GE(formatIdFromName(format.payloadName, ids), 0xC000u);
        EXPECT_NE(formatIdFromName(format.payloadName, ids), formatIdFromName(format.payloadName, otherIds));
    }
    EXPECT_EQ(formatIdFromName("cf_html", ids), 0u);
    EXPECT_EQ(formatIdFromName("CF_HTML", ClipboardFormatIds()), 0u);  // nothing registered
    // The text formats are exactly these seven.
    for (const char* name : {"CF_TEXT", "CF_OEMTEXT", "CF_UNICODETEXT", "CF_HTML", "CF_RTF", "CF_RTFNOOBJS", "CF_RETEXTOBJ"})
        EXPECT_TRUE(isTextFormat(name)) << name;
    for (const char* name : {"CF_HDROP", "CF_BITMAP", "cf_text", "", "CF_TEXT ", "HTML Format", "\"CF_TEXT"})
        EXPECT_FALSE(isTextFormat(name)) << name;
}

// The privacy markers are registered beside the formats; a failed registration costs only its name.
TEST(FormatCatalogue, PrivacyMarkersAreRegisteredOnceBesideTheFormatsAndAFailureCostsOnlyItsName) {
    MemoryClipboardFormatRegistry registry;
    registry.failFor(u"Clipboard Viewer Ignore");
    registry.failFor(u"Rich Text Format");
    const ClipboardFormatIds ids = ClipboardFormatIds::registerAll(registry);
    EXPECT_EQ(formatIdFromName("CF_RTF", ids), 0u);
    EXPECT_NE(formatIdFromName("CF_RTFNOOBJS", ids), 0u);
    EXPECT_EQ(formatIdFromName("CF_HDROP", ids), 15u);
    EXPECT_EQ(ids.markerId(PrivacyMarker::ExcludeFromMonitoring),
              registry.registerFormat(u"ExcludeClipboardContentFromMonitorProcessing"));
    EXPECT_EQ(ids.markerId(PrivacyMarker::CanUploadToCloud), registry.registerFormat(u"CanUploadToCloudClipboard"));
    EXPECT_EQ(ids.markerId(PrivacyMarker::ViewerIgnore), 0u) << "a failed registration detects nothing";
    EXPECT_EQ(formatIdFromName("CF_HTML", ids), 0xC000u) << "the formats keep their ids";
    EXPECT_EQ(ClipboardFormatIds().markerId(PrivacyMarker::CanUploadToCloud), 0u);
}

}  // namespace
}  // namespace shuttle
