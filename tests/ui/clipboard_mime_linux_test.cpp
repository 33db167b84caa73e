// The Linux clipboard's MIME types against the Windows formats, both ways.
#include <gtest/gtest.h>

#include "payload/format_catalogue.h"
#include "platform/clipboard_memory.h"
#include "ui/clipboard_mime_linux.h"

namespace shuttle {
namespace {

size_t offsetIn(const std::string& block, const std::string& name) {
    const size_t at = block.find(name + ":");
    return at == std::string::npos ? std::string::npos : std::stoul(block.substr(at + name.size() + 1));
}

TEST(ClipboardMime, HtmlGetsTheWindowsHeaderAndComesBackWithoutIt) {
    for (const std::string html : {"<b>caf\xC3\xA9 \xE4\xB8\xAD</b>", "<html><body><!--StartFragment-->x<!--EndFragment--></body></html>", ""}) {
        const std::string block = cfHtmlOfHtml(html);
        ASSERT_EQ(block.rfind("Version:0.9\r\nStartHTML:", 0), 0u) << block;
        EXPECT_EQ(offsetIn(block, "EndHTML"), block.size());
        const size_t start = offsetIn(block, "StartFragment"), end = offsetIn(block, "EndFragment");
        EXPECT_EQ(block.substr(start - 20, 20), "<!--StartFragment-->");
        EXPECT_EQ(block.substr(end, 18), "<!--EndFragment-->");
        EXPECT_EQ(htmlOfCfHtml(block + std::string("\0tail", 5)), html);
    }
    // As a Windows browser writes it: no context offsets, only the fragment's.
    const std::string browser = "Version:1.0\r\nStartHTML:-1\r\nEndHTML:-1\r\nStartFragment:0000000089\r\n"
                                "EndFragment:0000000100\r\n<b>bold</b>";
    EXPECT_EQ(htmlOfCfHtml(browser), "<b>bold</b>");
    EXPECT_FALSE(htmlOfCfHtml("Version:0.9\r\nStartHTML:0000000040\r\nEndHTML:0000099999\r\n<b>x</b>"));
    EXPECT_FALSE(htmlOfCfHtml("<b>no header</b>"));
    EXPECT_EQ(htmlAsUtf8(std::string("\xFF\xFE<\0b\0>\0", 8)), "<b>");
    EXPECT_EQ(htmlAsUtf8("<b>"), "<b>");
}

TEST(ClipboardMime, FileListsTravelAsUriListsAndGnomeCopiedFiles) {
    const std::vector<std::string> paths{"/home/anna/a b/caf\xC3\xA9.txt", "/tmp/100%#?", "/srv/raw\xE9"};
    const std::string list = uriListOfHostPaths(paths);
    EXPECT_EQ(list.substr(0, list.find("\r\n")), "file:///home/anna/a%20b/caf%C3%A9.txt");
    EXPECT_EQ(hostPathsOfUriList(list), paths);
    const std::string gnome = gnomeCopiedFilesOf(paths);
    EXPECT_EQ(gnome.substr(0, 5), "copy\n");
    EXPECT_NE(gnome.back(), '\n');
    EXPECT_EQ(hostPathsOfGnomeCopiedFiles(gnome), paths);
    EXPECT_EQ(hostPathsOfGnomeCopiedFiles("cut\nfile:///x\n"), std::vector<std::string>{"/x"});
    EXPECT_TRUE(hostPathsOfGnomeCopiedFiles("file:///x").empty());
    // Comments, other hosts and schemes, bad or NUL escapes and relative paths are no local files.
    EXPECT_EQ(hostPathsOfUriList("# comment\r\nhttps://example.org/x\nfile://elsewhere/x\nfile:///a%2\n"
                                 "file:///a%00b\nfile:relative\n\nFILE://localhost/ok%41\nfile:/short"),
              (std::vector<std::string>{"/okA", "/short"}));
}

TEST(ClipboardMime, DropListsBecomeHostPathsOnTheirDrivesAndBack) {
    EXPECT_EQ(dropListOfHostPaths({"/home/anna/a:b", "relative"}), std::vector<std::u16string>{u"Z:\\home\\anna\\a\uF03Ab"});
    const auto block = makeDropFilesBlock({u"E:\\store\\x y.txt", u"Q:\\elsewhere", u"E:\\..\\etc"});
    const auto onE = [](const std::string& path) -> std::optional<std::string> {
        if (path.rfind("E:\\", 0) != 0 || path.find("..") != std::string::npos) return std::nullopt;
        return "/media/stick/" + path.substr(3);
    };
    EXPECT_EQ(hostPathsOfDropFiles(block, onE), std::vector<std::string>{"/media/stick/store\\x y.txt"});
    EXPECT_TRUE(hostPathsOfDropFiles({1, 2, 3}, onE).empty());
}

TEST(ClipboardMime, RegisteredNamesGetIdsFrom0xC000AndTheirRoles) {
    LinuxClipboardFormats formats;
    const ClipboardFormatIds ids = ClipboardFormatIds::registerAll(formats);
    EXPECT_EQ(formats.formatOf(ids.idOfPayloadName("CF_HTML")).role, MimeRole::Html);
    EXPECT_EQ(formats.formatOf(ids.idOfPayloadName("CF_RTF")).role, MimeRole::Rtf);
    EXPECT_EQ(formats.formatOf(ids.markerId(PrivacyMarker::ExcludeFromMonitoring)).role, MimeRole::SecretMark);
    const MimeFormat other = formats.formatOf(ids.idOfPayloadName("CF_RETEXTOBJ"));
    EXPECT_EQ(other.mimeType, "application/x-qt-windows-mime;value=\"RichEdit Text and Objects\"");
    EXPECT_EQ(formats.registerFormat(u"HTML Format"), ids.idOfPayloadName("CF_HTML"));
    EXPECT_GE(ids.idOfPayloadName("CF_HTML"), 0xC000u);
    EXPECT_EQ(formats.formatOf(kFormatHdrop).role, MimeRole::FileList);
    EXPECT_EQ(formats.formatOf(0xBEEF).role, MimeRole::None);
    EXPECT_EQ(formats.registerFormat(u""), 0u);
}

}  // namespace
}  // namespace shuttle
