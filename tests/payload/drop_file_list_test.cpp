#include <gtest/gtest.h>

#include "base/trace_text.h"
#include "payload/payload_document.h"
#include "payload_fixtures.h"
#include "support/trace_capture.h"

namespace shuttle {
namespace {

using namespace testing;
using Bytes = std::vector<uint8_t>;

// A DROPFILES block: the 20-byte header (its wide flag at 16), each path ending in a zero, a last zero.
template <class Text>
Bytes dropBlock(const std::vector<Text>& paths) {
    constexpr bool wide = sizeof(typename Text::value_type) == 2;
    Bytes block = {20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, wide, 0, 0, 0};
    auto unit = [&](char16_t c) {
        block.push_back(static_cast<uint8_t>(c & 0xFF));
        if (wide) block.push_back(static_cast<uint8_t>(c >> 8));
    };
    for (const Text& path : paths) {
        for (auto c : path) unit(static_cast<char16_t>(static_cast<std::make_unsigned_t<decltype(c)>>(c)));
        unit(0);
    }
    unit(0);
    return block;
}
Bytes narrowBlock(const std::vector<std::string>& paths) { return dropBlock(paths); }
Bytes wideBlock(const std::vector<std::u16string>& paths) { return dropBlock(paths); }

std::string fileListDocument(const std::vector<std::string>& paths) {
    JsonValue document(JsonValue::Kind::Object);
    assemblePayloadDocument(document, kExampleGuid, paths);
    return textOf(document);
}

class DropFileListTest : public ::testing::Test {
protected:
    testing::TraceCapture trace;
};

std::string inStore(char drive, const std::string& rest) { return std::string(1, drive) + ":\\" + kStore + "\\" + rest; }

TEST_F(DropFileListTest, AListWithoutAnAcceptedPathPastesNothingAndALongOnePrintsTwentyLines) {
    EXPECT_FALSE(buildDropFileList(documentWith(kExampleGuid, "[[]]", "[\"CF_HDROP\"]"), "F:\\").has_value());
    EXPECT_EQ(trace.lines(), std::vector<std::string>{"No path of the file list can be pasted (0 refused); nothing pasted"});
    // A thousand nested brackets: no entry at all, not one empty entry.
    trace.clear();
    const std::string nested = std::string(1000, '[') + std::string(1000, ']');
    EXPECT_FALSE(buildDropFileList(documentWith(kExampleGuid, nested, "[\"CF_HDROP\"]"), "F:\\").has_value());
    EXPECT_TRUE(trace.contains("nothing pasted"));
    // Text holding no list, or no drive to paste from, gives nothing.
    for (const std::string& text : {std::string(""), std::string("{\"GUID\":\"x\"}"), std::string("]]x[[\"a\""),
                                    std::string("[]"), std::string("["), std::string("[[\"\"]]")})
        EXPECT_FALSE(buildDropFileList(text, "F:\\").has_value()) << text;
    EXPECT_FALSE(buildDropFileList(kExampleDocument, "").has_value());
    // Twenty thousand entries print twenty lines and a summary.
    trace.clear();
    std::vector<std::string> many(20000, kReportE);
    const auto block = buildDropFileList(fileListDocument(many), "F:\\");
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->size(), 20 + 20000 * (kReportE.size() + 1) + 1);
    const std::vector<std::string> lines = trace.lines();
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines.back(), "\xE2\x80\xA6 and 19,980 more");
}

TEST_F(DropFileListTest, AStandardJsonWritersDocumentPastesLikeOurs) {
    // Backslashes escaped, a blank after each comma and colon, a line break before the end.
    std::string escaped = kReportE, photos = kPhotosE;
    for (std::string* path : {&escaped, &photos})
        for (size_t at = path->find('\\'); at != std::string::npos; at = path->find('\\', at + 2)) path->insert(at, 1, '\\');
    const std::string document = "{\"GUID\": \"" + kExampleGuid + "\", \"data\": [[\"" + escaped + "\", \"" + photos +
                                 "\" ]], \"formats\": [\"CF_HDROP\"]}\n";
    EXPECT_EQ(buildDropFileList(document, "F:\\"), buildDropFileList(kExampleDocument, "F:\\"));
    EXPECT_TRUE(buildDropFileList(document, "F:\\").has_value());
    // A leading "\\?\" is not read as an escape (and, naming no store drive path, is not pasted).
    const std::string longForm = "[[\"\\\\?\\" + kReportE + "\"]]";
    EXPECT_FALSE(buildDropFileList(documentWith(kExampleGuid, longForm, "[\"CF_HDROP\"]"), "F:\\").has_value());
    EXPECT_TRUE(trace.contains("Path outside the store ignored: F\\?\\E:"));
}

// Every name this system writes passes, commas and brackets included, under the local letter.
TEST_F(DropFileListTest, EveryDocumentThisSystemWritesPasses) {
    const std::string reportF = inStore('F', "2024_05_17_09_30_12\\report.txt");
    const std::string photosF = inStore('F', "2024_05_17_09_30_12\\photos");
    const auto block = buildDropFileList(kExampleDocument, "F:\\");
    EXPECT_EQ(block, narrowBlock({reportF, photosF}));
    // Bytes from the drive are printed escaped (a backslash too, so that escapes stay unambiguous).
    EXPECT_EQ(trace.out(), "url: " + traceText(kReportE, 260) + "\nurl: " + traceText(kPhotosE, 260) + "\n");
    const std::vector<std::string> names = {"a.txt", "..hidden", "a..b",     "with space", "x.y.z",
                                            "dir\\", "Report, final.txt", "Copy [2]", "a],[b"};
    std::vector<std::string> sent, expected;
    for (const std::string& name : names) {
        sent.push_back(inStore('E', "2024_01_02_03_04_05\\" + name));
        expected.push_back(inStore('G', "2024_01_02_03_04_05\\" + name));
    }
    EXPECT_EQ(buildDropFileList(fileListDocument(sent), "G:\\"), narrowBlock(expected));
    EXPECT_FALSE(trace.contains("ignored"));
    // Empty pieces are skipped, and the store folder's name is matched without case.
    const std::string a = inStore('E', "s\\a"), lower = "e:\\ab8d69fa-8873-42d3-bb0e-4d53da9b7a3f_STORAGE\\x";
    const std::string list = "[[,\"" + a + "\",,\"" + lower + "\",]]";
    EXPECT_EQ(buildDropFileList(documentWith(kExampleGuid, list, "[\"CF_HDROP\"]"), "F:\\"),
              narrowBlock({inStore('F', "s\\a"), "F" + lower.substr(1)}));
}

TEST_F(DropFileListTest, PathsOutsideTheStoreAreDropped) {
    const std::string kept = inStore('E', "2024_01_02_03_04_05\\kept.txt");
    const std::vector<std::string> hostile = {
        "E:\\Windows\\System32\\cmd.exe", "E:\\" + kStore, "E:\\" + kStore + "\\", "E:\\" + kStore + "X\\a.txt",
        "E:\\" + kStore + "\\..\\secret.txt", inStore('E', "2024\\..\\..\\Windows"), inStore('E', "2024/../../Windows"),
        inStore('E', "2024\\..."), inStore('E', "2024\\. .\\x"), inStore('E', ".\\x"), inStore('E', ".."),
        inStore('E', std::string("a\0C:\\Windows", 12)), inStore('E', "a\x01" "b"),
        "\\\\server\\share\\" + kStore + "\\a", "E:" + kStore + "\\a", "E", ""};
    std::string list = "[[\"" + kept + "\"";
    for (const std::string& path : hostile) list += ",\"" + path + "\"";
    list += "]]";
    TraceBudget everyLine(1000);
    const auto block = buildDropFileList(documentWith(kExampleGuid, list, "[\"CF_HDROP\"]"), "F:\\", everyLine);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(*block, narrowBlock({inStore('F', "2024_01_02_03_04_05\\kept.txt")}));
    size_t dropped = 0;
    for (const std::string& line : trace.lines()) dropped += line.rfind("Path outside the store ignored: ", 0) == 0;
    EXPECT_EQ(dropped, hostile.size());
}

// Non-ASCII paths make a wide list; a path not in UTF-8 is dropped, and the rest of an ASCII list stays narrow.
TEST_F(DropFileListTest, NonAsciiPathsMakeAWideList) {
    const std::string ascii = inStore('E', "s\\plain.txt");
    const std::string accented = inStore('E', "s\\caf\xC3\xA9.txt");
    const std::string emoji = inStore('E', "s\\\xF0\x9F\x98\x80");
    const auto block = buildDropFileList(fileListDocument({ascii, accented, emoji}), "F:\\");
    ASSERT_TRUE(block.has_value());
    const std::u16string root = u"F:\\AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage\\s\\";
    EXPECT_EQ(*block, wideBlock({root + u"plain.txt", root + u"caf\u00e9.txt", root + u"\U0001F600"}));
    const std::string broken = inStore('E', "s\\bad\xC3(");
    EXPECT_EQ(buildDropFileList(fileListDocument({broken, ascii}), "F:\\"), narrowBlock({inStore('F', "s\\plain.txt")}));
    EXPECT_TRUE(trace.contains("Path not in UTF-8 ignored: "));
}

}  // namespace
}  // namespace shuttle
