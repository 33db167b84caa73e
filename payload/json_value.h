#pragma once
// The value tree of the payload document: null, string, array and object, written as compact
// text. Strings are written verbatim (nothing escaped), as peers read them; the document reader
// (json_reader.h) takes that form as well as standard JSON.

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace shuttle {

// Byte-wise key order: unsigned bytes, a prefix before its extensions ("GUID" < "data" < "formats").
struct JsonKeyLess {
    bool operator()(const std::string& a, const std::string& b) const { return compareBytes(a, b) < 0; }
    static int compareBytes(const std::string& a, const std::string& b);
};

class JsonValue {
public:
    enum class Kind : uint32_t { Null = 0, String = 1, Array = 2, Object = 3 };

    JsonValue() = default;
    explicit JsonValue(Kind kind) : kind_(kind) {}
    explicit JsonValue(std::string text) : kind_(Kind::String), text_(std::move(text)) {}
    explicit JsonValue(const char* text) : JsonValue(std::string(text)) {}

    JsonValue(const JsonValue&) = default;
    // Copies the whole source before replacing anything, so a value may be assigned one of its
    // own descendants or ancestors (root = root["child"], node["self"] = node).
    JsonValue& operator=(const JsonValue& other);
    // Moving takes the whole subtree and leaves the source an empty Null.
    JsonValue(JsonValue&& other) noexcept;
    JsonValue& operator=(JsonValue&& other) noexcept;

    Kind kind() const { return kind_; }
    const std::string& text() const { return text_; }
    const std::vector<JsonValue>& items() const { return items_; }
    const std::map<std::string, JsonValue, JsonKeyLess>& members() const { return members_; }

    // Array only; throws std::runtime_error("JsonValue is not an array.") otherwise.
    void append(const JsonValue& value);
    void append(const std::string& text);
    // Object only; throws std::runtime_error("JsonValue is not an object.") otherwise. Inserts a
    // Null member when the key is new.
    JsonValue& operator[](const std::string& key);

    void writeTo(std::ostream& out) const;

private:
    Kind kind_ = Kind::Null;
    std::string text_;
    std::vector<JsonValue> items_;
    std::map<std::string, JsonValue, JsonKeyLess> members_;
};

}  // namespace shuttle
