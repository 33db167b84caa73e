#pragma once
// Reading JSON text from the shared drive. Two kinds of writer put documents there: a standard
// JSON writer, whose strings carry escapes ("\\", "\"", "\/", "\u00E9"), and JsonValue::writeTo,
// which writes every string verbatim, so that a Windows path keeps its single backslashes and
// "...\new.txt" names a file, not a line break. A text is read the standard way unless one of
// its backslashes starts no JSON escape, as the first backslash of every stored path does
// ("E:\AB8D..."); then each of its strings runs verbatim to the next quote.
//
// The whole text is checked once (grammar, nesting depth) without building anything; values are
// then views into the text, decoded only when asked for. So whatever the drive holds, a reading
// costs little memory beyond the text itself, and a hostile text is refused with its fault.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace shuttle {

// Deeper nesting is refused: the payload document needs three levels, and the limit keeps the
// check's recursion short.
constexpr size_t kMaxJsonDepth = 64;

enum class JsonStrings { Escaped, Verbatim };

// A value of a checked text, as it stands in that text (which must outlive it).
class JsonView {
public:
    enum class Kind { Null, Boolean, Number, String, Array, Object };

    JsonView(std::string_view raw, JsonStrings strings) : raw_(raw), strings_(strings) {}
    Kind kind() const;
    bool is(Kind kind) const { return this->kind() == kind; }
    std::string_view raw() const { return raw_; }

    // String: its text, escapes decoded, cut after `limit` bytes; "" for any other kind. A
    // "\uXXXX" is written in UTF-8 (a lone surrogate as its three bytes, which no UTF-8 check passes).
    std::string text(size_t limit = std::string::npos) const;
    // The same into `out`, whose capacity is reused.
    void textInto(std::string& out, size_t limit = std::string::npos) const;
    // String: whether its text is `wanted`, without decoding a long one.
    bool textIs(std::string_view wanted) const;
    // String: calls use(text) once and gives its result; a text without escapes is not copied.
    template <class Use>
    auto withText(Use&& use) const {
        if (isPlainString()) return use(content());
        const std::string decoded = text();
        return use(std::string_view(decoded));
    }

    // Array: visit(item) for each item in order while it returns true.
    template <class Visit>
    void forEachItem(Visit&& visit) const {
        if (!is(Kind::Array)) return;
        for (size_t at = firstInside(); at < raw_.size();) {
            const size_t end = endOfValue(at);
            if (!visit(JsonView(raw_.substr(at, end - at), strings_))) return;
            at = nextInside(end);
        }
    }
    // Object: visit(name, value) for each member in order while it returns true.
    template <class Visit>
    void forEachMember(Visit&& visit) const {
        if (!is(Kind::Object)) return;
        for (size_t at = firstInside(); at < raw_.size();) {
            const size_t nameEnd = endOfValue(at);
            const size_t valueAt = skipBlanks(skipBlanks(nameEnd) + 1);  // behind the colon
            const size_t valueEnd = endOfValue(valueAt);
            if (!visit(JsonView(raw_.substr(at, nameEnd - at), strings_),
                       JsonView(raw_.substr(valueAt, valueEnd - valueAt), strings_)))
                return;
            at = nextInside(valueEnd);
        }
    }
    // Object: the value of its first member named `name`.
    std::optional<JsonView> member(std::string_view name) const;

private:
    bool isPlainString() const;
    std::string_view content() const { return raw_.substr(1, raw_.size() - 2); }  // a string without its quotes
    size_t skipBlanks(size_t at) const;
    size_t endOfValue(size_t at) const;
    // Where the first value inside a container starts; npos for an empty one.
    size_t firstInside() const;
    // Behind a value inside a container: where the next one starts; npos behind the last.
    size_t nextInside(size_t end) const;

    std::string_view raw_;
    JsonStrings strings_;
};

struct JsonFault {
    enum class Kind {
        None,
        EndsEarly,   // the text ends inside a value: it may still be being written
        BadEscape,   // a backslash that starts no escape, in a text read the standard way
        Unexpected,  // a character that cannot stand where it stands
        TooDeep,     // nested deeper than kMaxJsonDepth
    };
    Kind kind = Kind::None;
    size_t at = 0;  // the byte where it was found
};

// "ends early", "unexpected character at byte 12"...
std::string describe(const JsonFault& fault);

struct JsonReading {
    std::optional<JsonView> value;  // the text's one value, when the text is JSON
    JsonFault fault;                // otherwise why not
};

// Checks `text` (one value between optional white space, after an optional UTF-8 byte-order
// mark) and gives a view of its value.
JsonReading readJson(std::string_view text);

}  // namespace shuttle
