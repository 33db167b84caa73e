#include "app/link_connections.h"

#include "base/utf8.h"
#include "discovery/store_drives.h"
#include "serial/link_port.h"

namespace shuttle {

std::vector<std::u16string> LinkConnections::presentPortNames() {
    std::vector<std::u16string> names;
    for (const uint32_t number : ports_.presentPorts()) {
        std::u16string name = portName(number);
        if (!name.empty()) names.push_back(std::move(name));
    }
    return names;
}

std::u16string LinkConnections::portName(uint32_t number) {
    std::u16string name;
    return tryFromUtf8(ports_.portName(number), name) ? name : std::u16string();
}

void LinkConnections::openSelectedLink(const std::u16string& selectedText) {
    shuttle::openSelectedLink(settings_, link_, ports_, clock_, selectedText);
}

void LinkConnections::closePort() { shuttle::closePort(link_); }

std::vector<LinkDrive> LinkConnections::findStoreDrives() {
    std::vector<LinkDrive> drives;
    if (drives_.list != nullptr) {
        for (const OfferedDrive& drive : drives_.list->offeredDrives()) drives.push_back(LinkDrive{drive.name, drive.rootPath});
        return drives;
    }
    std::vector<StoreDrive> found;
    shuttle::findStoreDrives(drives_.devices, found);
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
