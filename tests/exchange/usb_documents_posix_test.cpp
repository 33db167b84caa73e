// USB documents on the receiving side: every format a document carries is checked and pasted in
// one change, a format that cannot be pasted says why and the rest go on, and a document is read
// by its members' names, whichever writer made it.
#include "base/utf8.h"
#include "support/clipboard_exchange_fixture.h"

namespace shuttle {
namespace {

// A peer's document; `formats` and `data` are the JSON texts of its lists.
std::string peerDocument(char guidEnd, const std::string& formats, const std::string& data) {
    return "{\"formats\":" + formats + ",\"data\":" + data + ",\"GUID\":\"{0F0F0F0F-1111-4222-8333-44445555666" +
           guidEnd + "}\"}";
}
std::string quoted(const std::string& text) { return "\"" + text + "\""; }
std::vector<uint8_t> withZero(std::vector<uint8_t> block, size_t zeros = 1) {  // the terminator a paste adds
    block.insert(block.end(), zeros, 0);
    return block;
}

// What another program wrote: pasted under its format, each GUID once, a cut unit made whole;
// whatever cannot be pasted says why, once, and leaves the clipboard alone.
TEST_F(ClipboardExchange, DocumentsFromAnotherProgramArePastedOrSayWhyNot) {
    b = std::make_unique<TestComputer>('F', folder + "/drive", ports, systemClock(), u"Rich Text Format");
    ASSERT_TRUE(b->start());
    b->useUsb();
    writeMetaByOtherProgram("CF_TEXT", "aGVsbG8gd29ybGQ=");  // "hello world"
    // The poll waits for the link and a selection, and remembers nothing meanwhile.
    b->computer.link().pasteReady = 0;
    b->computer.pollOnce();
    EXPECT_TRUE(trace.contains("USB not ready\n"));
    b->computer.link().pasteReady = 1;
    b->computer.settings().storeSelection.set(u"");
    b->computer.pollOnce();
    EXPECT_EQ(b->clipboard.changeCount(), 0);
    b->useUsb();
    b->computer.pollOnce();
    EXPECT_EQ(b->clipboard.peek(kFormatText), ansiBlock("hello world")) << trace.out();
    writeMetaByOtherProgram("CF_UNICODETEXT", "aABp", '7');  // 'h' 0 'i': the last unit cut in half
    b->computer.pollOnce();
    EXPECT_EQ(b->clipboard.peek(kFormatUnicodeText), (std::vector<uint8_t>{'h', 0, 'i', 0, 0, 0}));

    b->clipboard.userCopiesText(u"keep me");
    const int changes = b->clipboard.changeCount();
    b->computer.settings().setFlag(kFlagShowNotifications, true);
    std::vector<uint8_t> taller = testDib(4, 2);
    taller[8] = 3;  // three rows claimed, two held
    const std::string refusedFiles = "[" + quoted("C:\\Windows\\win.ini") + "," + quoted("F:\\" + kStorage + "\\..\\x") + "]";
    for (const auto& [document, why] : std::vector<std::pair<std::string, std::string>>{
             {peerDocument('9', "[\"CF_DIB\"]", "[\"aGVsbG8gd29ybGQ=\"]"), "the picture is not a bitmap"},
             {peerDocument('A', "[\"CF_DIB\"]", "[" + quoted(base64Of(taller)) + "]"),
              "the picture's header claims more than its block holds"},
             {peerDocument('B', "[\"CF_RTF\"]", "[\"e1xydGYxfQ==\"]"), "the clipboard format CF_RTF could not be registered"},
             {peerDocument('C', "[\"CF_HDROP\"]", "[" + refusedFiles + "]"), "no path of the file list can be pasted (2 refused)"},
             {peerDocument('D', "[\"CF_TEXT\"]", "[]"), "the document's data list is shorter than its formats (no data for CF_TEXT)"},
             {peerDocument('E', "[\"CF_BITMAP\",\"CF_LOCALE\"]", "[\"AA==\",\"AA==\"]"),
              "the document holds no format this computer can paste"}}) {
        writeMeta(document);
        b->computer.pollOnce();
        b->computer.pollOnce();
        EXPECT_EQ(count(trace.out(), "Not pasted: " + why + "\n"), 1) << trace.out();
    }
    EXPECT_EQ(b->clipboard.changeCount(), changes);
    EXPECT_TRUE(b->tray.events().empty()) << "told in the trace and the log, not in a balloon";
}

// Every format a document carries goes on the clipboard in one change, byte for byte and "HTML
// Format" with its header; a malformed one is skipped and the rest are pasted.
TEST_F(ClipboardExchange, EveryFormatOfADocumentIsPastedInOneChange) {
    makeUsbComputers();
    const uint32_t html = b->formatIds.idOfPayloadName("CF_HTML"), rtf = b->formatIds.idOfPayloadName("CF_RTF");
    const std::vector<uint8_t> markup = ansiBlock("Version:0.9\r\nStartHTML:0000000105\r\nEndHTML:0000000160\r\n"
                                                  "StartFragment:0000000141\r\nEndFragment:0000000154\r\n"
                                                  "<html><body><!--StartFragment--><b>bold</b><!--EndFragment--></body></html>");
    const std::vector<uint8_t> richText = ansiBlock("{\\rtf1 {\\b bold}}");
    a->clipboard.userCopiesFormats({{kFormatUnicodeText, textBlock(u"bold")},
                                    {a->formatIds.idOfPayloadName("CF_HTML"), markup},
                                    {a->formatIds.idOfPayloadName("CF_RTF"), richText}});
    a->copyPathRuns();
    b->computer.pollOnce();
    EXPECT_EQ(b->clipboard.changeCount(), 1) << "one open, one change";
    EXPECT_EQ(b->pastedText(), u"bold");
    EXPECT_EQ(b->clipboard.peek(html), withZero(markup));
    EXPECT_EQ(b->clipboard.peek(rtf), withZero(richText));

    // A peer's document of every format this computer knows.
    const std::vector<InlineFormat> formats = {
        {"CF_TEXT", ansiBlock("t")},       {"CF_OEMTEXT", ansiBlock("o")},     {"CF_UNICODETEXT", textBlock(u"u")},
        {"CF_HTML", markup},               {"CF_RTF", richText},               {"CF_RTFNOOBJS", ansiBlock("{\\rtf1 n}")},
        {"CF_RETEXTOBJ", ansiBlock("{r}")}, {"CF_DIB", testDib(3, 3)}};
    JsonValue document(JsonValue::Kind::Object);
    assembleInlineDocument(document, "{0F0F0F0F-1111-4222-8333-444455556666}", formats);
    document["formats"].append(std::string("CF_HDROP"));
    JsonValue files(JsonValue::Kind::Array);
    files.append("E:\\" + kStorage + "\\2026_05_17_09_30_12\\new.txt");
    document["data"].append(files);
    std::ostringstream text;
    document.writeTo(text);
    writeMeta(text.str());
    b->computer.pollOnce();
    EXPECT_EQ(b->clipboard.changeCount(), 2) << trace.out();
    for (const InlineFormat& format : formats) {
        const size_t zeros = format.name == "CF_DIB" ? 0 : format.name == "CF_UNICODETEXT" ? 2 : 1;
        EXPECT_EQ(b->clipboard.peek(formatIdFromName(format.name, b->formatIds)), withZero(format.bytes, zeros)) << format.name;
    }
    EXPECT_EQ(parseDropFilesBlock(*b->clipboard.peek(kFormatHdrop)),
              std::vector<std::u16string>{u"F:\\" + fromUtf8(kStorage) + u"\\2026_05_17_09_30_12\\new.txt"});

    std::vector<uint8_t> taller = testDib(4, 2);
    taller[8] = 3;
    writeMeta(peerDocument('7', "[\"CF_UNICODETEXT\",\"CF_HTML\",\"CF_DIB\",\"CF_UNICODETEXT\",\"CF_TEXT\"]",
                           "[" + quoted(base64Of(textBlock(u"ok"))) + ",7," + quoted(base64Of(taller)) + ",\"eA==\"]"));
    b->computer.pollOnce();
    EXPECT_EQ(b->clipboard.changeCount(), 3);
    EXPECT_EQ(b->pastedText(), u"ok") << "the first entry of a format counts";
    EXPECT_FALSE(b->clipboard.peek(html) || b->clipboard.peek(kFormatDib) || b->clipboard.peek(kFormatText));
    for (const char* why : {"the data of CF_HTML is not text", "the picture's header claims more",
                            "the document's data list is shorter than its formats (no data for CF_TEXT)"})
        EXPECT_TRUE(trace.contains(std::string("Not pasted: ") + why)) << why;
}

// A document written by a standard JSON writer: members in another order, blanks, a member this
// program does not know, escaped backslashes. Without its lists it is not yet whole: its GUID is
// not remembered, so the whole document that follows is pasted.
TEST_F(ClipboardExchange, AForeignDocumentIsReadByItsMembersNames) {
    makeUsbComputers();
    const std::string guid = "\"GUID\": \"{0F0F0F0F-1111-4222-8333-444455556666}\"";
    writeMeta("{ " + guid + ", \"formats\": [ \"CF_HDROP\" ] }");
    b->computer.pollOnce();
    EXPECT_TRUE(trace.contains("unreadable data: it holds no \"data\" list\n")) << trace.out();
    const std::string stamped = "E:\\\\" + kStorage + "\\\\2026_05_17_09_30_12\\\\";
    writeMeta("{\r\n  \"formats\": [\"CF_HDROP\"],\r\n  \"by\": {\"writer\": [\"another\", 1.5, true, null]},\r\n  \"data\": [[\"" +
              stamped + "new.txt\", \"" + stamped + "caf\\u00e9\"]],\r\n  " + guid + "\r\n}\r\n");
    b->computer.pollOnce();
    const std::u16string local = u"F:\\" + fromUtf8(kStorage) + u"\\2026_05_17_09_30_12\\";
    ASSERT_TRUE(b->clipboard.peek(kFormatHdrop)) << trace.out();
    EXPECT_EQ(parseDropFilesBlock(*b->clipboard.peek(kFormatHdrop)),
              (std::vector<std::u16string>{local + u"new.txt", local + u"caf\u00e9"}));
}

}  // namespace
}  // namespace shuttle
