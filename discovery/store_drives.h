#pragma once
// Finding the volumes that can serve as the store drive: every lettered volume on a disk
// attached through USB mass storage whose USB parent device carries a vendor and product id.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/device_query.h"

namespace shuttle {

// One candidate volume. All texts are UTF-8.
struct StoreDrive {
    std::string rootPath;          // "E:\"
    std::string name;              // friendly name, else device description, else empty
    std::string parentInstanceId;  // e.g. USB\VID_1234&PID_ABCD\0123456789AB
    std::string interfacePath;     // the disk's GUID_DEVINTERFACE_DISK path
    std::string instanceId;        // derived from interfacePath for USBSTOR disks, else empty
    std::string vendorId;          // 1234 in the example above
    std::string productId;         // ABCD in the example above
    bool isUsbStorage = false;     // a present disk device with this instanceId was found
};

// The qualifying volumes in drive-letter order (`drives` is emptied first). False only when
// the set of present disks could not be opened for naming (then "SetupDiGetClassDevs failed
// with error code : N" is printed and the list stays empty).
bool findStoreDrives(DeviceQuery& query, std::vector<StoreDrive>& drives);

// The steps, each usable on its own.
// Every removable or fixed volume C: to Z: with a device number, with its disk interface.
void collectVolumes(DeviceQuery& query, std::vector<StoreDrive>& volumes);
// Fills parentInstanceId and interfacePath from the first disk interface with `deviceNumber`.
bool findDiskInterface(DeviceQuery& query, int32_t deviceNumber, StoreDrive& record);
// \\?\usbstor#disk&ven_x#serial&0#{guid} -> USBSTOR\DISK&VEN_X\SERIAL&0; "" when not USBSTOR.
std::string interfacePathToInstanceId(const std::string& interfacePath);
// Names and marks every volume whose instanceId is a present disk; false when the set fails.
bool nameAndMarkDisks(DeviceQuery& query, std::vector<StoreDrive>& volumes);
// vendorId and productId from parentInstanceId (USB\VID_1234&PID_ABCD\...), else both empty.
void readVendorAndProduct(StoreDrive& record);

}  // namespace shuttle
