#include "payload/json_reader.h"

#include <algorithm>

#include "base/print.h"
#include "base/utf8.h"

namespace shuttle {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The four hexadecimal digits at `at`; -1 when they are not.
int32_t hex4(std::string_view text, size_t at) {
    if (at + 4 > text.size()) return -1;
    int32_t value = 0;
    for (size_t i = at; i < at + 4; ++i) {
        const int digit = hexValue(text[i]);
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

bool isHighSurrogate(int32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(int32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Where the string starting with the quote at `at` ends (behind its closing quote); npos when
// the text ends first. Only for a checked text, or while checking one.
size_t endOfString(std::string_view text, size_t at, JsonStrings strings) {
    if (strings == JsonStrings::Verbatim) {
        const size_t close = text.find('"', at + 1);
        return close == std::string_view::npos ? close : close + 1;
    }
    for (size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == '"') return i + 1;
        if (text[i] == '\\') ++i;
    }
    return std::string_view::npos;
}

// The grammar of one JSON value, by recursive descent no deeper than kMaxJsonDepth; it keeps
// nothing but its position.
class Checker {
public:
    Checker(std::string_view text, JsonStrings strings) : text_(text), strings_(strings) {}

    // The one value of the text, white space around it; false with fault() set otherwise.
    bool whole(size_t& start, size_t& end) {
        if (text_.substr(0, kByteOrderMark.size()) == kByteOrderMark) at_ = kByteOrderMark.size();
        skipBlanks();
        start = at_;
        if (!value(1)) return false;
        end = at_;
        skipBlanks();
        return at_ == text_.size() || fail(JsonFault::Kind::Unexpected);
    }
    const JsonFault& fault() const { return fault_; }

private:
    bool fail(JsonFault::Kind kind) {
        fault_ = {at_ >= text_.size() ? JsonFault::Kind::EndsEarly : kind, at_};
        return false;
    }
    void skipBlanks() {
        while (at_ < text_.size() && isBlank(text_[at_])) ++at_;
    }
    bool take(char wanted) {
        if (at_ >= text_.size() || text_[at_] != wanted) return fail(JsonFault::Kind::Unexpected);
        ++at_;
        return true;
    }

    bool value(size_t depth) {
        if (at_ >= text_.size()) return fail(JsonFault::Kind::EndsEarly);
        switch (text_[at_]) {
            case '"': return string();
            case '[': return container(depth, ']');
            case '{': return container(depth, '}');
            case 't': return literal("true");
            case 'f': return literal("false");
            case 'n': return literal("null");
            default: return number();
        }
    }

    bool container(size_t depth, char close) {
        if (depth > kMaxJsonDepth) return fail(JsonFault::Kind::TooDeep);
        ++at_;
        skipBlanks();
        if (at_ < text_.size() && text_[at_] == close) {
            ++at_;
            return true;
        }
        for (;;) {
            if (!(close == '}' ? member(depth) : value(depth + 1))) return false;
            skipBlanks();
            if (at_ < text_.size() && text_[at_] == ',') {
                ++at_;
                skipBlanks();
                continue;
            }
            return take(close);
        }
    }

    bool member(size_t depth) {
        if (at_ >= text_.size() || text_[at_] != '"') return fail(JsonFault::Kind::Unexpected);
        if (!string()) return false;
        skipBlanks();
        if (!take(':')) return false;
        skipBlanks();
        return value(depth + 1);
    }

    bool string() {
        if (strings_ == JsonStrings::Escaped) return escapedString();
        const size_t end = endOfString(text_, at_, strings_);
        if (end == std::string_view::npos) {
            at_ = text_.size();
            return fail(JsonFault::Kind::EndsEarly);
        }
        at_ = end;
        return true;
    }

    bool escapedString() {
        for (++at_; at_ < text_.size(); ++at_) {
            const char c = text_[at_];
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c != '\\') continue;
            ++at_;
            if (at_ >= text_.size()) break;
            const char escape = text_[at_];
            if (escape == 'u') {
                if (at_ + 5 > text_.size()) break;
                if (hex4(text_, at_ + 1) < 0) {
                    --at_;  // the fault is the backslash
                    return fail(JsonFault::Kind::BadEscape);
                }
                at_ += 4;
            } else if (std::string_view("\"\\/bfnrt").find(escape) == std::string_view::npos) {
                --at_;  // the fault is the backslash
                return fail(JsonFault::Kind::BadEscape);
            }
        }
        at_ = text_.size();
        return fail(JsonFault::Kind::EndsEarly);
    }

    bool literal(std::string_view word) {
        const std::string_view here = text_.substr(at_, word.size());
        if (here != word) {
            // A cut word at the very end may still be being written.
            if (word.substr(0, here.size()) == here) at_ = text_.size();
            return fail(JsonFault::Kind::Unexpected);
        }
        at_ += word.size();
        return true;
    }

    // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
    bool number() {
        if (at_ < text_.size() && text_[at_] == '-') ++at_;
        if (at_ < text_.size() && text_[at_] == '0')
            ++at_;
        else if (!digits())
            return false;
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            if (!digits()) return false;
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
            if (!digits()) return false;
        }
        return true;
    }
    bool digits() {
        if (at_ >= text_.size() || !isDigit(text_[at_])) return fail(JsonFault::Kind::Unexpected);
        while (at_ < text_.size() && isDigit(text_[at_])) ++at_;
        return true;
    }

    std::string_view text_;
    JsonStrings strings_;
    size_t at_ = 0;
    JsonFault fault_;
};

JsonReading readAs(std::string_view text, JsonStrings strings) {
    Checker checker(text, strings);
    size_t start = 0, end = 0;
    if (!checker.whole(start, end)) return {std::nullopt, checker.fault()};
    return {JsonView(text.substr(start, end - start), strings), {}};
}

// One escape behind the backslash at `at` of a checked string, written to `out`; gives where
// the text goes on.
size_t decodeEscape(std::string_view text, size_t at, std::string& out) {
    const char escape = text[at + 1];
    if (escape != 'u') {
        constexpr std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
        const size_t which = kFrom.find(escape);
        out.push_back(which == std::string_view::npos ? escape : kTo[which]);
        return at + 2;
    }
    const int32_t unit = hex4(text, at + 2);
    if (unit < 0) return at + 2;  // never in a checked text
    if (isHighSurrogate(unit) && text.substr(at + 6, 2) == "\\u") {
        const int32_t low = hex4(text, at + 8);
        if (isLowSurrogate(low)) {
            appendUtf8(out, 0x10000 + ((static_cast<uint32_t>(unit) - 0xD800) << 10) + (static_cast<uint32_t>(low) - 0xDC00));
            return at + 12;
        }
    }
    appendUtf8(out, static_cast<uint32_t>(unit));
    return at + 6;
}

}  // namespace

JsonView::Kind JsonView::kind() const {
    if (raw_.empty()) return Kind::Null;
    switch (raw_[0]) {
        case '"': return Kind::String;
        case '[': return Kind::Array;
        case '{': return Kind::Object;
        case 't':
        case 'f': return Kind::Boolean;
        case 'n': return Kind::Null;
        default: return Kind::Number;
    }
}

bool JsonView::isPlainString() const {
    return is(Kind::String) && (strings_ == JsonStrings::Verbatim || content().find('\\') == std::string_view::npos);
}

void JsonView::textInto(std::string& out, size_t limit) const {
    out.clear();
    if (!is(Kind::String)) return;
    const std::string_view inner = content();
    if (isPlainString()) {
        out.assign(inner.substr(0, limit));
        return;
    }
    for (size_t at = 0; at < inner.size() && out.size() < limit;) {
        if (inner[at] == '\\' && at + 1 < inner.size()) {
            at = decodeEscape(inner, at, out);
        } else {
            out.push_back(inner[at]);
            ++at;
        }
    }
    if (out.size() > limit) out.resize(limit);
}

std::string JsonView::text(size_t limit) const {
    std::string out;
    textInto(out, limit);
    return out;
}

bool JsonView::textIs(std::string_view wanted) const {
    if (!is(Kind::String)) return false;
    if (isPlainString()) return content() == wanted;
    // An escape stands for at least one byte and takes at most six.
    if (content().size() > wanted.size() * 6) return false;
    return text() == wanted;
}

std::optional<JsonView> JsonView::member(std::string_view name) const {
    std::optional<JsonView> found;
    forEachMember([&](const JsonView& key, const JsonView& value) {
        if (key.textIs(name)) found = value;
        return !found;
    });
    return found;
}

size_t JsonView::skipBlanks(size_t at) const {
    while (at < raw_.size() && isBlank(raw_[at])) ++at;
    return at;
}

size_t JsonView::endOfValue(size_t at) const {
    if (at >= raw_.size()) return raw_.size();
    const char first = raw_[at];
    if (first == '"') return std::min(endOfString(raw_, at, strings_), raw_.size());
    if (first != '[' && first != '{') {
        while (at < raw_.size() && !isBlank(raw_[at]) && raw_[at] != ',' && raw_[at] != ']' && raw_[at] != '}') ++at;
        return at;
    }
    size_t depth = 0;
    while (at < raw_.size()) {
        const char c = raw_[at];
        if (c == '"') {
            at = std::min(endOfString(raw_, at, strings_), raw_.size());
            continue;
        }
        if (c == '[' || c == '{') ++depth;
        if ((c == ']' || c == '}') && --depth == 0) return at + 1;
        ++at;
    }
    return raw_.size();
}

size_t JsonView::firstInside() const {
    const size_t at = skipBlanks(1);
    return at + 1 >= raw_.size() ? std::string_view::npos : at;  // only the closing bracket is left
}

size_t JsonView::nextInside(size_t end) const {
    const size_t at = skipBlanks(end);
    return at < raw_.size() && raw_[at] == ',' ? skipBlanks(at + 1) : std::string_view::npos;
}

std::string describe(const JsonFault& fault) {
    switch (fault.kind) {
        case JsonFault::Kind::None: return "no fault";
        case JsonFault::Kind::EndsEarly: return "it ends early";
        case JsonFault::Kind::BadEscape: break;
        case JsonFault::Kind::Unexpected:
            return formatText("unexpected character at byte %llu", static_cast<unsigned long long>(fault.at));
        case JsonFault::Kind::TooDeep:
            return formatText("nested deeper than %lu levels at byte %llu", static_cast<unsigned long>(kMaxJsonDepth),
                              static_cast<unsigned long long>(fault.at));
    }
    return formatText("bad escape at byte %llu", static_cast<unsigned long long>(fault.at));
}

JsonReading readJson(std::string_view text) {
    JsonReading reading = readAs(text, JsonStrings::Escaped);
    if (reading.fault.kind != JsonFault::Kind::BadEscape) return reading;
    return readAs(text, JsonStrings::Verbatim);
}

}  // namespace shuttle
