#include "discovery/store_drives.h"

#include <memory>

#include "base/print.h"
#include "base/text_pieces.h"

namespace shuttle {
namespace {

constexpr uint32_t kMaxInterfaceDetailSize = 1024;

std::string afterUnderscore(const std::string& piece, bool& ok) {
    std::vector<std::string> parts = splitString(piece, '_');
    ok = parts.size() == 2;
    return ok ? parts[1] : std::string();
}

void nameDisk(DiskDeviceSet& set, uint32_t index, StoreDrive& record) {
    std::string text;
    if (set.deviceProperty(index, kPropertyFriendlyName, text) ||
        set.deviceProperty(index, kPropertyDeviceDescription, text))
        record.name = text;
    record.isUsbStorage = true;
}

}  // namespace

void collectVolumes(DeviceQuery& query, std::vector<StoreDrive>& volumes) {
    volumes.clear();
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        const std::string root = std::string(1, letter) + ":\\";
        uint32_t type = query.driveType(root);
        if (type != kDriveRemovable && type != kDriveFixed) continue;
        DeviceNumberAnswer volume = query.deviceNumber(std::string("\\\\.\\") + letter + ":");
        if (!volume.opened || volume.number < 0) continue;
        StoreDrive record;
        record.rootPath = root;
        findDiskInterface(query, volume.number, record);
        volumes.push_back(record);
    }
}

bool findDiskInterface(DeviceQuery& query, int32_t deviceNumber, StoreDrive& record) {
    std::unique_ptr<DiskDeviceSet> set = query.openPresentDisks();
    if (!set) return false;
    for (uint32_t index = 0; set->hasInterface(index); ++index) {
        uint32_t size = set->interfaceDetailSize(index);
        if (size == 0 || size > kMaxInterfaceDetailSize) continue;
        DiskInterfaceDetail detail;
        if (!set->interfaceDetail(index, size, detail)) continue;
        std::string parent;
        if (!set->parentInstanceId(detail.deviceInstance, parent)) parent.clear();
        DeviceNumberAnswer disk = query.deviceNumber(detail.path);
        if (!disk.opened || disk.number != deviceNumber) continue;
        record.parentInstanceId = parent;
        record.interfacePath = detail.path;
        return true;
    }
    return false;
}

std::string interfacePathToInstanceId(const std::string& interfacePath) {
    std::string text;
    bool questionMarkRemoved = false;
    for (char c : interfacePath) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c == '\\') continue;
        if (c == '?' && !questionMarkRemoved) {
            questionMarkRemoved = true;
            continue;
        }
        text.push_back(c == '#' ? '\\' : c);
    }
    size_t brace = text.rfind('{');
    if (brace != std::string::npos) text = brace == 0 ? std::string() : text.substr(0, brace - 1);
    return text.compare(0, 7, "USBSTOR") == 0 ? text : std::string();
}

bool nameAndMarkDisks(DeviceQuery& query, std::vector<StoreDrive>& volumes) {
    std::unique_ptr<DiskDeviceSet> set = query.openPresentDisks();
    if (!set) {
        printOut("SetupDiGetClassDevs failed with error code : %lu\n", static_cast<unsigned long>(query.lastError()));
        return false;
    }
    for (uint32_t index = 0; set->hasDevice(index); ++index) {
        std::string id;
        if (!set->deviceInstanceId(index, id) || id.empty()) continue;
        for (StoreDrive& record : volumes) {
            if (record.instanceId == id) nameDisk(*set, index, record);
        }
    }
    return true;
}

void readVendorAndProduct(StoreDrive& record) {
    record.vendorId.clear();
    record.productId.clear();
    std::vector<std::string> levels = splitString(record.parentInstanceId, '\\');
    if (levels.size() < 2) return;
    std::vector<std::string> ids = splitString(levels[1], '&');
    if (ids.size() < 2 || ids[0].empty() || ids[1].empty()) return;
    bool vendorOk = false;
    bool productOk = false;
    std::string vendor = afterUnderscore(ids[0], vendorOk);
    std::string product = afterUnderscore(ids[1], productOk);
    if (!vendorOk || !productOk) return;
    record.vendorId = vendor;
    record.productId = product;
}

bool findStoreDrives(DeviceQuery& query, std::vector<StoreDrive>& drives) {
    drives.clear();
    std::vector<StoreDrive> volumes;
    collectVolumes(query, volumes);
    for (StoreDrive& record : volumes) record.instanceId = interfacePathToInstanceId(record.interfacePath);
    if (!nameAndMarkDisks(query, volumes)) return false;
    for (StoreDrive& record : volumes) {
        if (!record.isUsbStorage) continue;
        readVendorAndProduct(record);
        if (!record.productId.empty()) drives.push_back(record);
    }
    return true;
}

}  // namespace shuttle
