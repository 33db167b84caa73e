#include <gtest/gtest.h>

#include "payload/format_catalogue.h"
#include "payload/payload_document.h"
#include "payload_fixtures.h"
#include "support/trace_capture.h"

namespace shuttle {
namespace {

using namespace testing;
using Lines = std::vector<std::string>;

const std::string kOtherGuid = "{0123ABCD-4567-89EF-0123-456789ABCDEF}";

struct Reading {
    bool isNew = false;
    std::string guid;
    std::vector<std::string> formats, data;
};

class PayloadDocumentTest : public ::testing::Test {
protected:
    Reading read(const std::string& text) {
        Reading reading;
        reading.isNew = readPayloadDocument(memory, "Shared (F:)", text, reading.guid, reading.formats, reading.data);
        return reading;
    }
    GuidMemory memory;
    testing::TraceCapture trace;
};

TEST(PayloadAssembly, AnEmptyListIsStillAListAndOnlyAnObjectIsFilled) {
    JsonValue empty(JsonValue::Kind::Object);
    assemblePayloadDocument(empty, kExampleGuid, {});
    EXPECT_EQ(textOf(empty), documentWith(kExampleGuid, "[[]]", "[\"CF_HDROP\"]"));
    JsonValue array(JsonValue::Kind::Array);
    EXPECT_THROW(assemblePayloadDocument(array, kExampleGuid, {kReportE}), std::runtime_error);
}

TEST_F(PayloadDocumentTest, TheReaderTakesAnInlineDocumentBackWhole) {
    // Every byte value, and a block whose base64 ends in padding: nothing in base64 is a quote,
    // comma or bracket, which the reader's text search would take for the document's own.
    std::vector<uint8_t> picture;
    for (int value = 0; value < 256; ++value) picture.push_back(static_cast<uint8_t>(value));
    picture.push_back(0x5D);  // "]"
    JsonValue document(JsonValue::Kind::Object);
    assembleInlineDocument(document, kExampleGuid, {{"CF_DIB", picture}, {"CF_HTML", {'<', 'b', '>', ',', '"', 0}}});
    const Reading reading = read(textOf(document));
    ASSERT_TRUE(reading.isNew);
    EXPECT_EQ(reading.formats, (Lines{"CF_DIB", "CF_HTML"}));
    ASSERT_EQ(reading.data.size(), 2u);
    EXPECT_EQ(base64Decode(reading.data[0]), std::string(picture.begin(), picture.end()));
    EXPECT_EQ(base64Decode(reading.data[1]), std::string("<b>,\"\0", 6));
}

// Right after start both memories are empty: a file left by an earlier run is taken, once.
TEST_F(PayloadDocumentTest, NewDocumentIsTakenOnceThenOld) {
    const Reading first = read(kExampleDocument);
    EXPECT_TRUE(first.isNew);
    EXPECT_EQ(first.guid, kExampleGuid);
    EXPECT_EQ(first.formats, Lines{"CF_HDROP"});
    // A plain list reader cuts a file list's inner quotes unevenly; buildDropFileList rebuilds it.
    EXPECT_EQ(first.data, (Lines{"\"" + kReportE}));
    EXPECT_EQ(memory.lastReceived(), kExampleGuid);
    EXPECT_EQ(trace.lines(), (Lines{"GUID=" + kExampleGuid, "Shared (F:) NEW DATA!", "format=CF_HDROP"}));
    trace.clear();
    const Reading second = read(kExampleDocument);
    EXPECT_FALSE(second.isNew);
    EXPECT_EQ(second.guid, kExampleGuid);
    EXPECT_TRUE(second.formats.empty());
    EXPECT_EQ(trace.lines(), (Lines{"GUID=" + kExampleGuid, "Shared (F:) old data"}));
    memory.recordSent(kOtherGuid);  // any other valid GUID is new; only the last received is kept
    const std::string next = documentWith("{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}", "[[]]", "[\"CF_HDROP\"]");
    EXPECT_TRUE(read(next).isNew);
    EXPECT_EQ(memory.lastReceived(), "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}");
    EXPECT_TRUE(read(kExampleDocument).isNew);
}

// An invalid GUID is old and not remembered; one longer than a GUID is traced cut short, drive
// bytes escaped. A computer's own document is old to it even on first reading.
TEST_F(PayloadDocumentTest, InvalidGuidOrOwnDocumentIsOldAndNotRemembered) {
    const std::string longer = kExampleGuid + "\xE2\x80\xA6 (longer than 38 characters)";
    auto with = [](const std::string& guid) { return documentWith(guid, "[[]]", "[\"CF_HDROP\"]"); };
    struct Case {
        std::string text, guid, traced;
    };
    for (const Case& c : std::vector<Case>{
             {with("{6f1c2a4e-93b7-4d58-a0e2-7c4b19d8e305}"), "{6f1c2a4e-93b7-4d58-a0e2-7c4b19d8e305}", ""},
             {with("6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E305"), "6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E305", ""},
             {with("{6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E30}"), "{6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E30}", ""},
             {with(""), "", ""},
             // Never closed, or closed only far behind: the first 38 characters form a valid GUID.
             {"{\"GUID\":\"" + kExampleGuid + std::string(100000, 'A'), kExampleGuid, longer},
             {with(kExampleGuid + std::string(10000, 'B')), kExampleGuid, longer},
             {with("{\x1B[2J\x07}"), "{\x1B[2J\x07}", "{\\x1B[2J\\x07}"},
         }) {
        trace.clear();
        const Reading reading = read(c.text);
        EXPECT_FALSE(reading.isNew) << c.guid;
        EXPECT_EQ(reading.guid, c.guid) << "only a GUID's length is kept";
        EXPECT_EQ(trace.lines(), (Lines{"GUID=" + (c.traced.empty() ? c.guid : c.traced), "Shared (F:) old data"}));
    }
    memory.recordSent(kExampleGuid);
    EXPECT_FALSE(read(kExampleDocument).isNew);
    EXPECT_TRUE(!memory.hasReceived());
}

TEST_F(PayloadDocumentTest, AHostileListCostsAFewLinesAndNoMoreThanAHundredFormats) {
    std::string pieces;
    for (int i = 0; i < 100000; ++i) pieces += "a,";
    const Reading reading = read(documentWith(kExampleGuid, "[" + pieces + "a]", "[" + pieces + "a]"));
    EXPECT_TRUE(reading.isNew);
    EXPECT_EQ(reading.formats.size(), kMaxPayloadFormats);
    EXPECT_EQ(reading.data.size(), kMaxPayloadFormats);
    const Lines lines = trace.lines();
    ASSERT_EQ(lines.size(), kTraceLinesPerPoll + 1);
    EXPECT_EQ(lines[1], "Shared (F:) NEW DATA!");
    EXPECT_EQ(lines.back(), "\xE2\x80\xA6 and 83 more");  // 100 format lines and one note, 18 of them shown
}

TEST_F(PayloadDocumentTest, NoGuidMarkerIsNoDocumentAndMissingListsLoseThePayloadButRememberIt) {
    for (const char* text : {"", "{}", "{\"guid\":\"{6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E305}\"}", "\"GUID\" :\"x\""}) {
        Reading reading{true, "stale", {"stale"}, {"stale"}};
        reading.isNew = readPayloadDocument(memory, "Shared (F:)", text, reading.guid, reading.formats, reading.data);
        EXPECT_FALSE(reading.isNew) << text;
        EXPECT_TRUE(reading.guid.empty() && reading.formats.empty() && reading.data.empty()) << text;
    }
    EXPECT_EQ(trace.out(), "");
    const std::string noFormats = "{\"GUID\":\"" + kExampleGuid + "\",\"data\":[[\"" + kReportE + "\"]]}";
    EXPECT_FALSE(read(noFormats).isNew);
    EXPECT_EQ(memory.lastReceived(), kExampleGuid);
    EXPECT_TRUE(trace.contains("NEW DATA!"));
    EXPECT_FALSE(read(kExampleDocument).isNew);  // the complete document is not offered again
    const Reading noData = read("{\"GUID\":\"" + kOtherGuid + "\",\"formats\":[\"CF_TEXT\"]}");
    EXPECT_FALSE(noData.isNew);
    EXPECT_EQ(noData.formats, Lines{"CF_TEXT"});
    EXPECT_EQ(memory.lastReceived(), kOtherGuid);
    memory.recordReceived("");
    EXPECT_FALSE(read(documentWith(kExampleGuid, "[[]]", "\"CF_HDROP\"")).isNew);  // no bracket
    EXPECT_EQ(memory.lastReceived(), kExampleGuid);
    memory.recordReceived("");
    EXPECT_FALSE(read(documentWith(kExampleGuid, "[[]]", "[\"CF_HDROP\"")).isNew);
    EXPECT_EQ(memory.lastReceived(), kExampleGuid);
}

// The lists line up entry for entry; empty pieces are skipped, and a blank after a comma keeps
// the quote on the name, which then names no format.
TEST_F(PayloadDocumentTest, TextPayloadListsLineUp) {
    struct Case {
        std::string data, formats;
        Lines dataRead, formatsRead;
    };
    for (const Case& c : {Case{"[\"AAEC\",\"YWJj\"]", "[\"CF_BITMAP\",\"CF_UNICODETEXT\"]", {"AAEC", "YWJj"},
                               {"CF_BITMAP", "CF_UNICODETEXT"}},
                          Case{"[\"x\", \"YWJj\"]", "[\"CF_BITMAP\", \"CF_TEXT\"]", {"x", "\"YWJj"}, {"CF_BITMAP", "\"CF_TEXT"}},
                          Case{"[\"YQ==\",,\"Yg==\",]", "[,\"CF_TEXT\",,\"CF_OEMTEXT\",]", {"YQ==", "Yg=="},
                               {"CF_TEXT", "CF_OEMTEXT"}},
                          Case{"[]", "[]", {}, {}}}) {
        memory.recordReceived("");
        const Reading reading = read(documentWith(kExampleGuid, c.data, c.formats));
        EXPECT_TRUE(reading.isNew) << c.formats;
        EXPECT_EQ(reading.formats, c.formatsRead);
        EXPECT_EQ(reading.data, c.dataRead);
    }
    EXPECT_TRUE(trace.contains("format=CF_BITMAP\nformat=CF_UNICODETEXT\n"));
    EXPECT_EQ(formatIdFromName("\"CF_TEXT", ClipboardFormatIds()), 0u);
}

TEST_F(PayloadDocumentTest, DocumentStillBeingWrittenIsNotRemembered) {
    for (size_t length = 0; length < kExampleDocument.size(); ++length) {
        EXPECT_FALSE(read(kExampleDocument.substr(0, length)).isNew) << length;
        ASSERT_TRUE(!memory.hasReceived()) << length;
    }
    // Cut right behind the GUID's closing brace: a valid GUID, but no closing quote yet.
    trace.clear();
    EXPECT_FALSE(read("{\"GUID\":\"" + kExampleGuid).isNew);
    EXPECT_EQ(trace.lines(), (Lines{"GUID=" + kExampleGuid, "Shared (F:) incomplete data"}));
    EXPECT_TRUE(read(kExampleDocument).isNew);
    // A name holding a brace: a file cut just behind it ends in a brace, yet is not whole.
    memory.recordReceived("");
    const std::string braced = "E:\\AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage\\2024_05_17_09_30_12\\notes {draft}";
    const std::string whole = documentWith(kExampleGuid, "[[\"" + braced + "\"]]", "[\"CF_HDROP\"]");
    const size_t cut = whole.find("{draft}") + 7;
    EXPECT_FALSE(read(whole.substr(0, cut)).isNew);
    EXPECT_TRUE(!memory.hasReceived());
    EXPECT_TRUE(read(whole).isNew);
    // Another writer's line break after the closing brace is still a whole document.
    memory.recordReceived("");
    EXPECT_TRUE(read(kExampleDocument + "\r\n").isNew);
}

TEST(GuidText, AcceptsOnlyUpperCaseRegistryForm) {
    EXPECT_TRUE(isValidGuidText(kExampleGuid));
    EXPECT_TRUE(isValidGuidText("{00000000-0000-0000-0000-000000000000}"));
    EXPECT_TRUE(isValidGuidText("{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}"));
    for (const std::string& bad :
         {std::string("{6f1c2a4e-93b7-4d58-a0e2-7c4b19d8e305}"), std::string("{6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E30f}"),
          std::string("6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E305"), std::string("{6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E30}"),
          std::string("{6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E3055}"), std::string("(6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E305)"),
          std::string("{6F1C2A4E93B7-4D58-A0E2-7C4B19D8E3050}"), std::string("{6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E30G}"),
          std::string("{6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E3 5}"), std::string("{6F1C2A4E-93B7-4D58-A0E2-7C4B19D8E30\0}", 38),
          std::string(""), std::string(38, '{'), std::string(100000, 'A')})
        EXPECT_FALSE(isValidGuidText(bad)) << bad.substr(0, 40);
}

using Pieces = std::vector<std::string>;

TEST(PayloadText, Base64DecodeSkipsForeignBytesVectorsRoundTripAndSplitFollowsTheLineRule) {
    EXPECT_EQ(base64Decode("YW\r\nJj\n"), "abc");
    EXPECT_EQ(base64Decode("YWJj===="), "abc");
    EXPECT_EQ(base64Decode("YQ"), "a");
    EXPECT_EQ(base64Decode("YWI"), "ab");
    EXPECT_EQ(base64Decode("Y"), "");  // six bits make no byte
    EXPECT_EQ(base64Decode("Y=W=\xFF-_!J\tj "), "abc");
    EXPECT_EQ(base64Decode(""), "");
    EXPECT_EQ(base64Decode("===="), "");
    EXPECT_EQ(base64Decode("\r\n\t -_"), "");
    // RFC 4648 section 10, both ways.
    const std::pair<const char*, const char*> vectors[] = {{"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
                                                           {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : vectors) {
        const std::string bytes(plain);
        EXPECT_EQ(base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), encoded) << plain;
        EXPECT_EQ(base64Length(bytes.size()), std::string(encoded).size());
        EXPECT_EQ(base64Decode(encoded), bytes);
    }
    const uint8_t high[] = {0x00, 0x01, 0x02, 0xFF, 0xFF, 0xBF};
    EXPECT_EQ(base64Encode(high, sizeof high), "AAEC//+/");
    EXPECT_EQ(base64Decode("AAEC//+/"), std::string("\0\1\2\xFF\xFF\xBF", 6));
    // A split follows the line-reading rule.
    EXPECT_EQ(splitString("a,b", ','), (Pieces{"a", "b"}));
    EXPECT_EQ(splitString("a,", ','), (Pieces{"a"}));
    EXPECT_EQ(splitString("a,,b", ','), (Pieces{"a", "", "b"}));
    EXPECT_EQ(splitString(",a", ','), (Pieces{"", "a"}));
    EXPECT_EQ(splitString(",", ','), (Pieces{""}));
    EXPECT_EQ(splitString(",,", ','), (Pieces{"", ""}));
    EXPECT_EQ(splitString("", ','), Pieces{});
    EXPECT_EQ(splitString("USB\\VID_1234&PID_ABCD\\5&1A2B", '\\'), (Pieces{"USB", "VID_1234&PID_ABCD", "5&1A2B"}));
    EXPECT_EQ(splitString(std::string("a\0b", 3), '\0'), (Pieces{"a", "b"}));
}

}  // namespace
}  // namespace shuttle
