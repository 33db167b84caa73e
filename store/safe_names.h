#pragma once
// Names the store drive and a Windows peer can hold. A source on Linux may be named anything,
// but the copy on the drive (vfat or exFAT) and the path a Windows peer pastes follow Windows'
// rules, so an item whose name breaks them is stored under a safe name instead.

#include <string>
#include <string_view>

namespace shuttle {

struct StoreName {
    std::string name;      // UTF-8
    bool changed = false;  // differs from the item's own name: the user is to be told
};

// The name an item called `name` is stored under. `name` is UTF-8 and may spell host bytes as
// base/host_names.h does. Each character Windows refuses (\ / : * ? " < > |, control
// characters), each byte that is not UTF-8, and a trailing dot or space becomes "_"; a reserved
// device name (CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9, also with the digits ¹ ² ³, in any
// case, alone or before an extension) gets "_" after it ("CON_.txt"); an empty name becomes "_".
StoreName safeStoreName(std::string_view name);

}  // namespace shuttle
