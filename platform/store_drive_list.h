#pragma once
// The folders a computer offers as the store drive, each reached through a drive letter of the
// file system seam. Where the system does not list such drives itself (Linux), the program
// keeps this list; elsewhere drive discovery finds them through the device query.

#include <string>
#include <vector>

namespace shuttle {

struct OfferedDrive {
    std::string name;      // shown to the user (UTF-8)
    std::string rootPath;  // "E:\"
};

class StoreDriveList {
public:
    virtual ~StoreDriveList() = default;
    // The drives to offer now, in the order to show them.
    virtual std::vector<OfferedDrive> offeredDrives() = 0;
};

}  // namespace shuttle
