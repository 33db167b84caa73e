#include "payload/json_value.h"

#include <cstring>
#include <stdexcept>

namespace shuttle {

int JsonKeyLess::compareBytes(const std::string& a, const std::string& b) {
    const size_t common = a.size() < b.size() ? a.size() : b.size();
    int order = common == 0 ? 0 : std::memcmp(a.data(), b.data(), common);  // memcmp compares unsigned bytes
    if (order != 0) return order;
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

JsonValue::JsonValue(JsonValue&& other) noexcept
    : kind_(other.kind_),
      text_(std::move(other.text_)),
      items_(std::move(other.items_)),
      members_(std::move(other.members_)) {
    other.kind_ = Kind::Null;
    other.text_.clear();
    other.items_.clear();
    other.members_.clear();
}

JsonValue& JsonValue::operator=(const JsonValue& other) {
    if (this != &other) {
        JsonValue copy(other);
        *this = std::move(copy);
    }
    return *this;
}

JsonValue& JsonValue::operator=(JsonValue&& other) noexcept {
    if (this != &other) {
        JsonValue taken(std::move(other));
        kind_ = taken.kind_;
        text_ = std::move(taken.text_);
        items_ = std::move(taken.items_);
        members_ = std::move(taken.members_);
    }
    return *this;
}

void JsonValue::append(const JsonValue& value) {
    if (kind_ != Kind::Array) throw std::runtime_error("JsonValue is not an array.");
    JsonValue copy(value);  // complete before items_ grows: the value may be this array itself
    items_.push_back(std::move(copy));
}

void JsonValue::append(const std::string& text) {
    if (kind_ != Kind::Array) throw std::runtime_error("JsonValue is not an array.");
    items_.emplace_back(text);
}

JsonValue& JsonValue::operator[](const std::string& key) {
    if (kind_ != Kind::Object) throw std::runtime_error("JsonValue is not an object.");
    return members_[key];
}

void JsonValue::writeTo(std::ostream& out) const {
    switch (kind_) {
    case Kind::Null:
        out << "null";
        break;
    case Kind::String:
        out << '"' << text_ << '"';
        break;
    case Kind::Array: {
        out << '[';
        bool first = true;
        for (const JsonValue& item : items_) {
            if (!first) out << ',';
            first = false;
            item.writeTo(out);
        }
        out << ']';
        break;
    }
    case Kind::Object: {
        out << '{';
        bool first = true;
        for (const auto& member : members_) {
            if (!first) out << ',';
            first = false;
            out << '"' << member.first << "\":";
            member.second.writeTo(out);
        }
        out << '}';
        break;
    }
    }
}

}  // namespace shuttle
