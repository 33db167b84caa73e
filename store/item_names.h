#pragma once
// Names of the items in one payload folder. Windows tells names apart without regard to case,
// so two dropped items "Notes.txt" and "notes.TXT" would land on one file; each item gets a
// name of its own instead.

#include <map>
#include <set>
#include <string>
#include <vector>

namespace shuttle {

// The case-folded form of a UTF-8 name, as Windows compares names: ASCII, Latin-1 and Latin
// Extended-A and Additional, Greek, Cyrillic, Armenian and fullwidth Latin letters fold
// to one case. Folding a little more than Windows does only costs an unneeded " (2)"; folding
// less could let one item replace another, so the table leans to more. Invalid UTF-8 is kept
// byte for byte.
std::u16string foldedName(const std::string& name);

// Whether two UTF-8 names are one name to Windows.
bool sameName(const std::string& a, const std::string& b);

struct ItemName {
    std::string leaf;  // UTF-8
    bool folder = false;
};

// The names under which the items are stored, in their order: each keeps its leaf name unless an
// earlier one took it; then it becomes "x (2).txt", "x (3).txt"... ("photos (2)" for a folder,
// whose dots are no extension), the first number whose name is still free.
std::vector<std::string> distinctNames(const std::vector<ItemName>& items);

// The same rule for the names of one folder handed out one at a time.
class DistinctNames {
public:
    std::string claim(const ItemName& item);

private:
    std::set<std::u16string> taken_;
    std::map<std::u16string, unsigned> nextNumber_;  // per leaf name: where the search goes on
};

}  // namespace shuttle
