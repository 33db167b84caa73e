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
    Lines formats, data;  // a data entry as text when it is a string, else as written
};

class PayloadDocumentTest : public ::testing::Test {
protected:
    Reading read(const std::string& text) {
        Reading reading;
        PayloadDocument document{"stale", {"stale"}, {}};
        reading.isNew = readPayloadDocument(memory, "Shared (F:)", text, document);
        reading.guid = document.guid;
        reading.formats = document.formats;
        for (const JsonView& entry : document.data)
            reading.data.push_back(entry.is(JsonView::Kind::String) ? entry.text() : std::string(entry.raw()));
        return reading;
    }
    // A fresh memory: the same GUID is new again.
    Reading readAfresh(const std::string& text) {
        memory.recordReceived("");
        return read(text);
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
    std::vector<uint8_t> picture;  // every byte value
    for (int value = 0; value < 256; ++value) picture.push_back(static_cast<uint8_t>(value));
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
    EXPECT_EQ(first.data, (Lines{"[\"" + kReportE + "\",\"" + kPhotosE + "\"]"}));
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

// Another writer's document: members in any order, blanks anywhere, members this program does
// not know, escapes; entries line up with their formats, whatever kind they are.
TEST_F(PayloadDocumentTest, MembersAreTakenByNameInAnyOrderWithAnyBlanks) {
    std::string escaped = kReportE;
    for (size_t at = escaped.find('\\'); at != std::string::npos; at = escaped.find('\\', at + 2)) escaped.insert(at, 1, '\\');
    const std::string foreign = "\xEF\xBB\xBF {\r\n \"formats\" : [ \"CF_HDROP\" , \"CF_\\u0054EXT\", 7, \"CF_RTF\" ] ,\n"
                                "\t\"extra\": {\"nested\": [1, true, null, \"x\"]}, \"data\": [ [ \"" + escaped +
                                "\" ], \"YQ==\", \"\\/\" ] , \"GUID\" : \"" + kExampleGuid + "\", \"n\": -1e3 }\r\n";
    const Reading reading = read(foreign);
    EXPECT_TRUE(reading.isNew) << trace.out();
    EXPECT_EQ(reading.formats, (Lines{"CF_HDROP", "CF_TEXT", "", "CF_RTF"}));
    EXPECT_EQ(reading.data, (Lines{"[ \"" + escaped + "\" ]", "YQ==", "/"})) << "three entries for four formats";
    EXPECT_EQ(readAfresh(documentWith(kExampleGuid, "[\"YQ==\",\"Yg==\",\"Yw==\"]", "[\"CF_TEXT\"]")).data,
              Lines{"YQ=="}) << "entries behind the last format belong to none";
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
             {with(kExampleGuid + std::string(10000, 'B')), kExampleGuid + "B", longer},
             {with("{\x1B[2J\x07}"), "{\x1B[2J\x07}", "{\\x1B[2J\\x07}"},
         }) {
        trace.clear();
        const Reading reading = read(c.text);
        EXPECT_FALSE(reading.isNew) << c.guid;
        EXPECT_EQ(reading.guid, c.guid) << "no more than a GUID's length and one more is kept";
        EXPECT_EQ(trace.lines(), (Lines{"GUID=" + (c.traced.empty() ? c.guid : c.traced), "Shared (F:) old data"}));
    }
    memory.recordSent(kExampleGuid);
    EXPECT_FALSE(read(kExampleDocument).isNew);
    EXPECT_TRUE(!memory.hasReceived());
}

TEST_F(PayloadDocumentTest, AHostileListCostsAFewLinesAndNoMoreThanAHundredFormats) {
    std::string pieces;
    for (int i = 0; i < 100000; ++i) pieces += "\"a\",";
    const Reading reading = read(documentWith(kExampleGuid, "[" + pieces + "\"a\"]", "[" + pieces + "\"a\"]"));
    EXPECT_TRUE(reading.isNew);
    EXPECT_EQ(reading.formats.size(), kMaxPayloadFormats);
    EXPECT_EQ(reading.data.size(), kMaxPayloadFormats);
    const Lines lines = trace.lines();
    ASSERT_EQ(lines.size(), kTraceLinesPerPoll + 1);
    EXPECT_EQ(lines[1], "Shared (F:) NEW DATA!");
    EXPECT_EQ(lines.back(), "\xE2\x80\xA6 and 83 more");  // 100 format lines and one note, 18 of them shown
}

// What cannot be a payload document says why in one line and is never remembered: a document
// without its lists may be a writer's first step, so its GUID stays new.
TEST_F(PayloadDocumentTest, AnythingButAWholeDocumentIsRefusedWithItsReasonAndNotRemembered) {
    const std::string guid = "\"GUID\":\"" + kExampleGuid + "\"";
    const std::string deep = std::string(100, '[') + std::string(100, ']');
    for (const auto& [text, why] : std::vector<std::pair<std::string, std::string>>{
             {"[]", "it is not a JSON object"},
             {"{}", "it holds no \"GUID\" text"},
             {"{\"guid\":\"" + kExampleGuid + "\"}", "it holds no \"GUID\" text"},
             {"{\"GUID\":7}", "it holds no \"GUID\" text"},
             {"{" + guid + "," + guid + "}", "it holds \"GUID\" twice"},
             {"{" + guid + ",\"data\":[[]]}", "it holds no \"formats\" list"},
             {"{" + guid + ",\"formats\":[\"CF_TEXT\"]}", "it holds no \"data\" list"},
             {"{" + guid + ",\"data\":\"x\",\"formats\":[]}", "it holds no \"data\" list"},
             {"{" + guid + ",\"data\":[],\"formats\":[],\"data\":[]}", "it holds \"data\" twice"},
             {"{" + guid + ",\"x\":" + deep + ",\"data\":[],\"formats\":[]}", "it is not JSON: nested deeper than 64 levels at byte 116"},
             {"{" + guid + ",\"data\":[,\"a\"],\"formats\":[\"CF_TEXT\"]}", "it is not JSON: unexpected character at byte 57"},
             {"\"GUID\" :\"x\"", "it is not JSON: unexpected character at byte 7"}}) {
        trace.clear();
        EXPECT_FALSE(read(text).isNew) << text;
        EXPECT_TRUE(trace.contains("Shared (F:) unreadable data: " + why + "\n")) << trace.out();
        EXPECT_FALSE(memory.hasReceived()) << text;
    }
    EXPECT_TRUE(read(kExampleDocument).isNew) << "the whole document with the same GUID is new";
}

TEST_F(PayloadDocumentTest, DocumentStillBeingWrittenIsNotRemembered) {
    const std::string braced = "E:\\" + kStore + "\\2024_05_17_09_30_12\\notes {draft}";
    const std::string whole = documentWith(kExampleGuid, "[[\"" + braced + "\"]]", "[\"CF_HDROP\"]");
    for (const std::string& text : {kExampleDocument, whole, std::string("{\"GUID\":\"") + kExampleGuid + std::string(100000, 'A')}) {
        for (size_t length = 0; length < text.size(); length += 1 + length / 64) {
            trace.clear();
            EXPECT_FALSE(read(text.substr(0, length)).isNew) << length;
            EXPECT_EQ(trace.lines(), Lines{"Shared (F:) incomplete data"}) << text.substr(0, length);
            ASSERT_TRUE(!memory.hasReceived()) << length;
        }
    }
    EXPECT_TRUE(read(whole).isNew);
    EXPECT_TRUE(readAfresh(kExampleDocument + "\r\n").isNew) << "another writer's line break at the end";
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

TEST(PayloadText, Base64DecodeSkipsForeignBytesAndVectorsRoundTrip) {
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
}

}  // namespace
}  // namespace shuttle
