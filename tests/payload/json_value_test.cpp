#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "payload/json_value.h"

namespace shuttle {
namespace {

std::string written(const JsonValue& value) {
    std::ostringstream out;
    value.writeTo(out);
    return out.str();
}

std::string messageOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "(nothing thrown)";
}

TEST(JsonValue, WritesEachKindCompactlyTextVerbatimMembersInKeyOrderAndRefusesWrongKinds) {
    EXPECT_EQ(written(JsonValue()), "null");
    EXPECT_EQ(written(JsonValue(JsonValue::Kind::Object)), "{}");
    EXPECT_EQ(written(JsonValue(JsonValue::Kind::Array)), "[]");
    EXPECT_EQ(written(JsonValue("")), "\"\"");
    EXPECT_EQ(written(JsonValue(static_cast<JsonValue::Kind>(7))), "");
    JsonValue inner(JsonValue::Kind::Array);
    inner.append("a");
    inner.append(std::string("b"));
    JsonValue outer(JsonValue::Kind::Array);
    outer.append(inner);
    outer.append(JsonValue());
    EXPECT_EQ(written(outer), "[[\"a\",\"b\"],null]");
    // Text is written verbatim: the document reader depends on single backslashes in paths.
    EXPECT_EQ(written(JsonValue("E:\\dir\\file.txt")), "\"E:\\dir\\file.txt\"");
    EXPECT_EQ(written(JsonValue("ends with \"")), "\"ends with \"\"");
    EXPECT_EQ(written(JsonValue(std::string("a\0\n\xC3\xA9", 5))), std::string("\"a\0\n\xC3\xA9\"", 7));
    // Object members follow the byte order of their keys.
    JsonValue document(JsonValue::Kind::Object);
    document["formats"] = JsonValue("f");
    document["data"] = JsonValue("d");
    document["GUID"] = JsonValue("g");
    EXPECT_EQ(written(document), "{\"GUID\":\"g\",\"data\":\"d\",\"formats\":\"f\"}");
    // A key set twice is held once, with the second value; reading a new key inserts Null.
    document["GUID"] = JsonValue("second");
    EXPECT_EQ(document.members().size(), 3u);
    EXPECT_EQ(written(document), "{\"GUID\":\"second\",\"data\":\"d\",\"formats\":\"f\"}");
    EXPECT_EQ(written(document["new"]), "null");
    EXPECT_EQ(document.members().size(), 4u);
    // A call for the wrong kind throws and leaves the value unchanged.
    JsonValue null;
    JsonValue object(JsonValue::Kind::Object);
    object["k"] = JsonValue("v");
    JsonValue array(JsonValue::Kind::Array);
    JsonValue text("t");
    for (JsonValue* value : {&null, &object, &text}) {
        EXPECT_EQ(messageOf([&] { value->append("x"); }), "JsonValue is not an array.");
        EXPECT_EQ(messageOf([&] { value->append(JsonValue()); }), "JsonValue is not an array.");
    }
    for (JsonValue* value : {&array, &null, &text})
        EXPECT_EQ(messageOf([&] { (*value)["k"]; }), "JsonValue is not an object.");
    EXPECT_EQ(written(null) + written(object) + written(array) + written(text), "null{\"k\":\"v\"}[]\"t\"");
}

TEST(JsonValue, CopiesAreDeepMovesLeaveTheSourceNullAndOwnPartsMayBeAssigned) {
    JsonValue list(JsonValue::Kind::Array);
    list.append("p");
    JsonValue original(JsonValue::Kind::Object);
    original["list"] = list;
    const std::string before = written(original);
    JsonValue copy(original);
    copy["list"].append("q");
    copy["extra"] = JsonValue("e");
    JsonValue assigned;
    assigned = original;
    assigned["list"] = JsonValue();
    list.append("r");  // the member holds its own copy too
    EXPECT_EQ(written(original), before);
    EXPECT_EQ(written(copy), "{\"extra\":\"e\",\"list\":[\"p\",\"q\"]}");
    EXPECT_EQ(written(assigned), "{\"list\":null}");
    // A move takes the subtree and leaves the source null.
    JsonValue taken(std::move(copy));
    JsonValue text("t");
    assigned = std::move(text);
    EXPECT_EQ(written(taken), "{\"extra\":\"e\",\"list\":[\"p\",\"q\"]}");
    EXPECT_EQ(written(assigned), "\"t\"");
    EXPECT_EQ(copy.kind(), JsonValue::Kind::Null);  // NOLINT(bugprone-use-after-move)
    EXPECT_TRUE(copy.items().empty() && copy.members().empty());
    EXPECT_EQ(text.kind(), JsonValue::Kind::Null);  // NOLINT(bugprone-use-after-move)
    EXPECT_TRUE(text.text().empty());
    // Copying or moving a value's own parts over it, or into it, is safe.
    JsonValue root(JsonValue::Kind::Object);
    JsonValue child(JsonValue::Kind::Object);
    child["leaf"] = JsonValue("x");
    root["child"] = child;
    root = root["child"];  // a descendant replaces its ancestor
    EXPECT_EQ(written(root), "{\"leaf\":\"x\"}");
    root["self"] = root;  // an ancestor copied into its own member
    EXPECT_EQ(written(root), "{\"leaf\":\"x\",\"self\":{\"leaf\":\"x\",\"self\":null}}");
    JsonValue array(JsonValue::Kind::Array);
    array.append("a");
    array.append(array);
    EXPECT_EQ(written(array), "[\"a\",[\"a\"]]");
    JsonValue parent(JsonValue::Kind::Object);
    parent["k"] = JsonValue("v");
    parent = std::move(parent["k"]);  // a member moved over its own parent
    EXPECT_EQ(written(parent), "\"v\"");
}

}  // namespace
}  // namespace shuttle
