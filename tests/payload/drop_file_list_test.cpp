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

// The JSON text of a list of paths, as this program writes it (verbatim).
std::string listOf(const std::vector<std::string>& paths) {
    JsonValue list(JsonValue::Kind::Array);
    for (const std::string& path : paths) list.append(path);
    return textOf(list);
}

DropFileList build(const std::string& list, const std::string& root, TraceBudget& trace) {
    const JsonReading reading = readJson(list);
    EXPECT_TRUE(reading.value) << list << ": " << describe(reading.fault);
    return reading.value ? buildDropFileList(*reading.value, root, trace) : DropFileList{};
}
std::optional<Bytes> blockOf(const std::string& list, const std::string& root = "F:\\") {
    TraceBudget trace;
    return build(list, root, trace).block;
}

class DropFileListTest : public ::testing::Test {
protected:
    testing::TraceCapture trace;
};

std::string inStore(char drive, const std::string& rest) { return std::string(1, drive) + ":\\" + kStore + "\\" + rest; }

TEST_F(DropFileListTest, AListWithoutAnAcceptedPathSaysWhyAndALongOnePrintsTwentyLines) {
    TraceBudget budget;
    auto refusal = [&](const std::string& list, const std::string& root = "F:\\") { return build(list, root, budget).refusal; };
    EXPECT_EQ(refusal("[]"), "no path of the file list can be pasted (0 refused)");
    EXPECT_EQ(refusal("[[[[]]], 7, {}, null]"), "no path of the file list can be pasted (4 refused)");
    EXPECT_TRUE(trace.contains("Entry that is no path ignored: [[[]]]\n")) << trace.out();
    for (const std::string& notAList : {"\"" + kReportE + "\"", std::string("{}"), std::string("1")})
        EXPECT_EQ(refusal(notAList), "the file list is not a list");
    EXPECT_EQ(refusal(listOf({kReportE}), ""), "this computer has no store drive");
    // Twenty thousand entries print twenty lines and a summary.
    trace.clear();
    std::vector<std::string> many(20000, kReportE);
    const auto block = blockOf(listOf(many));
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->size(), 20 + 20000 * (kReportE.size() + 1) + 1);
    const std::vector<std::string> lines = trace.lines();
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines.back(), "\xE2\x80\xA6 and 19,980 more");
}

// Backslashes escaped, blanks around the items, "\/" and "\u00XX": the same list as ours. A
// leading "\\?\" is no store path, escaped or not.
TEST_F(DropFileListTest, AStandardJsonWritersListPastesLikeOurs) {
    std::string escaped = kReportE, photos = kPhotosE;
    for (std::string* path : {&escaped, &photos})
        for (size_t at = path->find('\\'); at != std::string::npos; at = path->find('\\', at + 2)) path->insert(at, 1, '\\');
    photos.replace(photos.find("photos"), 6, "ph\\u006fto\\/s");
    const std::string list = "[ \"" + escaped + "\",\r\n \"" + photos + "\" ]";
    EXPECT_EQ(blockOf(list), blockOf(listOf({kReportE, kPhotosE.substr(0, kPhotosE.size() - 6) + "photo/s"})));
    EXPECT_TRUE(blockOf(list).has_value());
    EXPECT_FALSE(blockOf("[\"\\\\\\\\?\\\\" + escaped + "\"]").has_value());
    EXPECT_FALSE(blockOf(listOf({"\\\\?\\" + kReportE})).has_value());
    EXPECT_TRUE(trace.contains("Path outside the store ignored: F\\?\\E:")) << trace.out();
}

// Every name this system writes passes, commas, brackets, braces and a closing backslash
// included, under the local letter.
TEST_F(DropFileListTest, EveryListThisSystemWritesPasses) {
    const std::string reportF = inStore('F', "2024_05_17_09_30_12\\report.txt");
    const std::string photosF = inStore('F', "2024_05_17_09_30_12\\photos");
    EXPECT_EQ(blockOf(listOf({kReportE, kPhotosE})), narrowBlock({reportF, photosF}));
    // Bytes from the drive are printed escaped (a backslash too, so that escapes stay unambiguous).
    EXPECT_EQ(trace.out(), "url: " + traceText(kReportE, 260) + "\nurl: " + traceText(kPhotosE, 260) + "\n");
    const std::vector<std::string> names = {"a.txt", "..hidden", "a..b", "with space", "x.y.z", "new.txt", "dir\\",
                                            "Report, final.txt", "Copy [2]", "a],[b", "{x}", "\\u0041"};
    std::vector<std::string> sent, expected;
    for (const std::string& name : names) {
        sent.push_back(inStore('E', "2024_01_02_03_04_05\\" + name));
        expected.push_back(inStore('G', "2024_01_02_03_04_05\\" + name));
    }
    EXPECT_EQ(blockOf(listOf(sent), "G:\\"), narrowBlock(expected));
    EXPECT_FALSE(trace.contains("ignored"));
    // The store folder's name is matched without case.
    const std::string lower = "e:\\ab8d69fa-8873-42d3-bb0e-4d53da9b7a3f_STORAGE\\x";
    EXPECT_EQ(blockOf(listOf({lower})), narrowBlock({"F" + lower.substr(1)}));
}

TEST_F(DropFileListTest, PathsOutsideTheStoreAreDropped) {
    const std::string kept = inStore('E', "2024_01_02_03_04_05\\kept.txt");
    const std::vector<std::string> hostile = {
        "E:\\Windows\\System32\\cmd.exe", "E:\\" + kStore, "E:\\" + kStore + "\\", "E:\\" + kStore + "X\\a.txt",
        "E:\\" + kStore + "\\..\\secret.txt", inStore('E', "2024\\..\\..\\Windows"), inStore('E', "2024/../../Windows"),
        inStore('E', "2024\\..."), inStore('E', "2024\\. .\\x"), inStore('E', ".\\x"), inStore('E', ".."),
        inStore('E', std::string("a\0C:\\Windows", 12)), inStore('E', "a\x01" "b"),
        "\\\\server\\share\\" + kStore + "\\a", "E:" + kStore + "\\a", "E", ""};
    std::vector<std::string> list{kept};
    list.insert(list.end(), hostile.begin(), hostile.end());
    TraceBudget everyLine(1000);
    const DropFileList built = build(listOf(list), "F:\\", everyLine);
    ASSERT_TRUE(built.block.has_value());
    EXPECT_EQ(*built.block, narrowBlock({inStore('F', "2024_01_02_03_04_05\\kept.txt")}));
    size_t dropped = 0;
    for (const std::string& line : trace.lines()) dropped += line.rfind("Path outside the store ignored: ", 0) == 0;
    EXPECT_EQ(dropped, hostile.size());
}

// Non-ASCII paths make a wide list; a path not in UTF-8 is dropped, and the rest of an ASCII list stays narrow.
TEST_F(DropFileListTest, NonAsciiPathsMakeAWideList) {
    const std::string ascii = inStore('E', "s\\plain.txt");
    const std::string accented = inStore('E', "s\\caf\xC3\xA9.txt");
    const std::string emoji = inStore('E', "s\\\xF0\x9F\x98\x80");
    const auto block = blockOf(listOf({ascii, accented, emoji}));
    ASSERT_TRUE(block.has_value());
    const std::u16string root = u"F:\\AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage\\s\\";
    EXPECT_EQ(*block, wideBlock({root + u"plain.txt", root + u"caf\u00e9.txt", root + u"\U0001F600"}));
    const std::string broken = inStore('E', "s\\bad\xC3(");
    EXPECT_EQ(blockOf(listOf({broken, ascii})), narrowBlock({inStore('F', "s\\plain.txt")}));
    EXPECT_TRUE(trace.contains("Path not in UTF-8 ignored: "));
}

}  // namespace
}  // namespace shuttle
