#include <gtest/gtest.h>

#include "payload/json_reader.h"

namespace shuttle {
namespace {

using Kind = JsonView::Kind;
using Fault = JsonFault::Kind;
using Texts = std::vector<std::string>;

Texts stringsOf(const JsonView& array) {
    Texts texts;
    array.forEachItem([&](const JsonView& item) {
        texts.push_back(item.text());
        return true;
    });
    return texts;
}

Texts stringsOf(const std::string& text) {
    const JsonReading reading = readJson(text);
    EXPECT_TRUE(reading.value) << text << ": " << describe(reading.fault);
    return reading.value ? stringsOf(*reading.value) : Texts{};
}

// A standard writer's escapes are decoded; a text holding a backslash that starts no escape is
// read verbatim throughout, as this program writes it ("\new.txt" then names a file).
TEST(JsonReader, EscapedTextIsDecodedAndThisProgramsVerbatimPathsStayAsWritten) {
    EXPECT_EQ(stringsOf(R"(["a\"b", "c\\d\/e", "\b\f\n\r\t", "\u00e9\u4E2D", "\ud83d\ude00", "\ud83d", "\u0000"])"),
              (Texts{"a\"b", "c\\d/e", "\b\f\n\r\t", "\xC3\xA9\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\xED\xA0\xBD",
                     std::string(1, '\0')}));
    EXPECT_EQ(stringsOf(R"(["E:\AB8D\2026_05_17\new.txt", "C:\x\", "\\?\E:\a", "\u12G4"])"),
              (Texts{R"(E:\AB8D\2026_05_17\new.txt)", R"(C:\x\)", R"(\\?\E:\a)", R"(\u12G4)"}));
    EXPECT_EQ(stringsOf("\xEF\xBB\xBF [ \"a\" ,\r\n\t\"b\" ] \n"), (Texts{"a", "b"})) << "a byte-order mark and blanks";
    const JsonView escaped = *readJson(R"(["\u0047UID", "GUID"])").value;
    escaped.forEachItem([](const JsonView& item) {
        EXPECT_TRUE(item.textIs("GUID") && !item.textIs("GUI") && !item.textIs("GUIDE"));
        return true;
    });
    EXPECT_EQ(escaped.text(), "") << "an array has no text";
    EXPECT_EQ(JsonView(R"("abc\u00e9")", JsonStrings::Escaped).text(4), "abc\xC3");
    EXPECT_EQ(JsonView(R"("abc\u00e9")", JsonStrings::Escaped).withText([](std::string_view t) { return t.size(); }), 5u);
}

TEST(JsonReader, MembersValuesAndNestingAreWalkedAsWritten) {
    const std::string text = R"({"n": -12.5e+3, "t": true, "f": false, "z": null, "o": {"x": [1, [2]], "s": "}"},
                                 "a": ["]", {}, []], "n": 0})";
    const JsonView object = *readJson(text).value;
    std::vector<std::pair<std::string, Kind>> seen;
    object.forEachMember([&](const JsonView& name, const JsonView& value) {
        seen.emplace_back(name.text(), value.kind());
        return true;
    });
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, Kind>>{{"n", Kind::Number}, {"t", Kind::Boolean},
        {"f", Kind::Boolean}, {"z", Kind::Null}, {"o", Kind::Object}, {"a", Kind::Array}, {"n", Kind::Number}}));
    EXPECT_EQ(object.member("n")->raw(), "-12.5e+3") << "the first of two";
    EXPECT_EQ(object.member("o")->member("s")->text(), "}");
    EXPECT_EQ(object.member("a")->raw(), R"(["]", {}, []])");
    EXPECT_FALSE(object.member("missing"));
    EXPECT_EQ(stringsOf(*object.member("a")), (Texts{"]", "", ""}));
}

// Every fault is found, told with its place, and a text cut anywhere "ends early".
TEST(JsonReader, HostileTextsAreRefusedWithTheirFault) {
    struct Case {
        std::string text;
        Fault fault;
        size_t at;
    };
    const std::string deep = std::string(kMaxJsonDepth + 1, '[') + std::string(kMaxJsonDepth + 1, ']');
    for (const Case& c : std::vector<Case>{{"", Fault::EndsEarly, 0}, {"[1,]", Fault::Unexpected, 3},
             {"[,1]", Fault::Unexpected, 1}, {"{\"a\" 1}", Fault::Unexpected, 5}, {"{1:2}", Fault::Unexpected, 1},
             {"[01]", Fault::Unexpected, 2}, {"[1.]", Fault::Unexpected, 3}, {"[-]", Fault::Unexpected, 2},
             {"[tru]", Fault::Unexpected, 1}, {"[] []", Fault::Unexpected, 3},
             {"[\"a\" \"b\"]", Fault::Unexpected, 5}, {deep, Fault::TooDeep, kMaxJsonDepth},
             {"[\"E:\\AB\" x]", Fault::Unexpected, 9}, {"{\"a\":[\"x\"}", Fault::Unexpected, 9}}) {
        const JsonReading reading = readJson(c.text);
        EXPECT_FALSE(reading.value) << c.text;
        EXPECT_EQ(reading.fault.kind, c.fault) << c.text << ": " << describe(reading.fault);
        EXPECT_EQ(reading.fault.at, c.at) << c.text;
    }
    EXPECT_TRUE(readJson(std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']')).value);
    EXPECT_EQ(describe({Fault::TooDeep, 7}), "nested deeper than 64 levels at byte 7");
    const std::string whole = R"({"a":[true,false,null,-1.5E-2,"x\"y",{"b":"c"}]})";
    for (size_t length = 0; length < whole.size(); ++length)
        EXPECT_EQ(readJson(whole.substr(0, length)).fault.kind, Fault::EndsEarly) << whole.substr(0, length);
    EXPECT_TRUE(readJson(whole).value);
}

}  // namespace
}  // namespace shuttle
