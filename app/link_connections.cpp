#include "app/link_connections.h"

#include "base/utf8.h"
#include "discovery/store_drives.h"
#include "serial/link_port.h"

namespace shuttle {

void LinkConnections::openSelectedLink(const std::u16string& selectedText) {
    shuttle::openSelectedLink(settings_, link_, ports_, clock_, selectedText);
}

void LinkConnections::closePort() { shuttle::closePort(link_); }

std::vector<LinkDrive> LinkConnections::findStoreDrives() {
    std::vector<StoreDrive> found;
    shuttle::findStoreDrives(devices_, found);
    std::vector<LinkDrive> drives;
    for (const StoreDrive& drive : found) drives.push_back(LinkDrive{drive.name, drive.rootPath});
    return drives;
}

bool LinkConnections::isDirectory(const std::u16string& path) {
    std::string narrow;
    if (!tryToUtf8(path, narrow)) return false;
    const uint32_t attributes = files_.attributes(narrow);
    return attributes != kInvalidAttributes && (attributes & kAttributeDirectory) != 0;
}

}  // namespace shuttle
