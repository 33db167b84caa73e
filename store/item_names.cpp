#include "store/item_names.h"

#include <map>
#include <set>

#include "base/utf8.h"

namespace shuttle {
namespace {

// In a block of alternating capitals and small letters, the small letter's capital.
char16_t pairedCapital(char16_t unit, bool capitalsEven) {
    const bool even = unit % 2 == 0;
    return even == capitalsEven ? unit : static_cast<char16_t>(unit - 1);
}

char16_t latinCapital(char16_t unit) {
    if (unit >= u'a' && unit <= u'z') return static_cast<char16_t>(unit - 0x20);
    if (unit == 0xB5) return 0x39C;                                        // micro sign: Greek Mu
    if (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7) return static_cast<char16_t>(unit - 0x20);
    if (unit == 0xFF) return 0x178;
    if (unit == 0x131) return u'I';                                        // dotless i
    if (unit == 0x17F) return u'S';                                        // long s
    if (unit >= 0x100 && unit <= 0x137) return pairedCapital(unit, true);
    if (unit >= 0x139 && unit <= 0x148) return pairedCapital(unit, false);
    if (unit >= 0x14A && unit <= 0x177) return pairedCapital(unit, true);
    if (unit >= 0x179 && unit <= 0x17E) return pairedCapital(unit, false);
    if ((unit >= 0x1E00 && unit <= 0x1E95) || (unit >= 0x1EA0 && unit <= 0x1EFF)) return pairedCapital(unit, true);
    if (unit >= 0xFF41 && unit <= 0xFF5A) return static_cast<char16_t>(unit - 0x20);  // fullwidth
    return unit;
}

char16_t greekCapital(char16_t unit) {
    if (unit == 0x3C2) return 0x3A3;  // final sigma
    if (unit >= 0x3B1 && unit <= 0x3CB) return static_cast<char16_t>(unit - 0x20);
    if (unit == 0x3AC) return 0x386;
    if (unit >= 0x3AD && unit <= 0x3AF) return static_cast<char16_t>(unit - 0x25);
    if (unit == 0x3CC) return 0x38C;
    if (unit == 0x3CD || unit == 0x3CE) return static_cast<char16_t>(unit - 0x3F);
    return unit;
}

char16_t cyrillicOrArmenianCapital(char16_t unit) {
    if (unit >= 0x430 && unit <= 0x44F) return static_cast<char16_t>(unit - 0x20);
    if (unit >= 0x450 && unit <= 0x45F) return static_cast<char16_t>(unit - 0x50);
    if (unit >= 0x460 && unit <= 0x481) return pairedCapital(unit, true);
    if (unit >= 0x48A && unit <= 0x4BF) return pairedCapital(unit, true);
    if (unit >= 0x4C1 && unit <= 0x4CE) return pairedCapital(unit, false);
    if (unit == 0x4CF) return 0x4C0;
    if (unit >= 0x4D0 && unit <= 0x52F) return pairedCapital(unit, true);
    if (unit >= 0x561 && unit <= 0x586) return static_cast<char16_t>(unit - 0x30);
    return unit;
}

char16_t capital(char16_t unit) {
    if (unit < 0x370 || unit >= 0x1E00) return latinCapital(unit);
    if (unit < 0x400) return greekCapital(unit);
    return cyrillicOrArmenianCapital(unit);
}

// "x.txt" with number 2: "x (2).txt"; a folder, or a name whose only dot leads it, takes the
// number at its end.
std::string numbered(const ItemName& item, unsigned number) {
    const std::string suffix = " (" + std::to_string(number) + ")";
    const size_t dot = item.leaf.rfind('.');
    if (item.folder || dot == std::string::npos || dot == 0) return item.leaf + suffix;
    return item.leaf.substr(0, dot) + suffix + item.leaf.substr(dot);
}

}  // namespace

std::u16string foldedName(const std::string& name) {
    std::u16string wide;
    if (!tryFromUtf8(name, wide)) return std::u16string(name.begin(), name.end());
    for (char16_t& unit : wide) unit = capital(unit);
    return wide;
}

bool sameName(const std::string& a, const std::string& b) { return foldedName(a) == foldedName(b); }

std::string DistinctNames::claim(const ItemName& item) {
    std::u16string folded = foldedName(item.leaf);
    if (taken_.insert(folded).second) return item.leaf;  // as nearly always: a name of its own
    unsigned& number = nextNumber_.emplace(std::move(folded), 2).first->second;
    std::string name;
    do {
        name = numbered(item, number++);
    } while (!taken_.insert(foldedName(name)).second);
    return name;
}

std::vector<std::string> distinctNames(const std::vector<ItemName>& items) {
    DistinctNames claims;
    std::vector<std::string> names;
    names.reserve(items.size());
    for (const ItemName& item : items) names.push_back(claims.claim(item));
    return names;
}

}  // namespace shuttle
