#pragma once
// What drive discovery asks the platform: drive types, storage device numbers, and the set of
// present disk devices with their interfaces (SetupAPI and the configuration manager on
// Windows). All texts are UTF-8, converted from the platform's UTF-16 at the boundary.

#include <cstdint>
#include <memory>
#include <string>

namespace shuttle {

// GetDriveTypeW results that qualify a drive.
constexpr uint32_t kDriveRemovable = 2;
constexpr uint32_t kDriveFixed = 3;

// SetupDiGetDeviceRegistryPropertyW properties.
constexpr uint32_t kPropertyDeviceDescription = 0;  // SPDRP_DEVICEDESC
constexpr uint32_t kPropertyFriendlyName = 12;      // SPDRP_FRIENDLYNAME

// The answer to "open this path and ask IOCTL_STORAGE_GET_DEVICE_NUMBER".
struct DeviceNumberAnswer {
    bool opened = false;      // CreateFileW (no access rights, shared read and write) succeeded
    int32_t number = -1;      // STORAGE_DEVICE_NUMBER.DeviceNumber; -1 when the control call failed
};

// The detail of one disk interface.
struct DiskInterfaceDetail {
    std::string path;             // the device interface path
    uint32_t deviceInstance = 0;  // the device's instance handle (DEVINST)
};

// One SetupAPI set of present disks (GUID_DEVINTERFACE_DISK, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
// destroying it releases the set. Interfaces and devices are addressed by index from 0.
class DiskDeviceSet {
public:
    virtual ~DiskDeviceSet() = default;
    // SetupDiEnumDeviceInterfaces: false when there is no interface at `index`.
    virtual bool hasInterface(uint32_t index) = 0;
    // The buffer size SetupDiGetDeviceInterfaceDetailW asks for; 0 when it gives none.
    virtual uint32_t interfaceDetailSize(uint32_t index) = 0;
    // The detail, read into a buffer of `detailSize` bytes.
    virtual bool interfaceDetail(uint32_t index, uint32_t detailSize, DiskInterfaceDetail& detail) = 0;
    // CM_Get_Parent, then CM_Get_Device_IDW of the parent (at most 260 characters).
    virtual bool parentInstanceId(uint32_t deviceInstance, std::string& id) = 0;
    // SetupDiEnumDeviceInfo: false when there is no device at `index`.
    virtual bool hasDevice(uint32_t index) = 0;
    // SetupDiGetDeviceInstanceIdW (at most 260 characters).
    virtual bool deviceInstanceId(uint32_t index, std::string& id) = 0;
    // SetupDiGetDeviceRegistryPropertyW into a buffer of 520 bytes.
    virtual bool deviceProperty(uint32_t index, uint32_t property, std::string& text) = 0;
};

class DeviceQuery {
public:
    virtual ~DeviceQuery() = default;
    // GetDriveTypeW of a root such as "E:\".
    virtual uint32_t driveType(const std::string& root) = 0;
    // Opens `path` (a volume "\\.\E:" or a disk interface path), asks its device number, closes it.
    virtual DeviceNumberAnswer deviceNumber(const std::string& path) = 0;
    // SetupDiGetClassDevsW for present disks; null on failure (then see lastError()).
    virtual std::unique_ptr<DiskDeviceSet> openPresentDisks() = 0;
    virtual uint32_t lastError() = 0;
};

// The devices of this machine (on POSIX: no drives and no disks).
DeviceQuery& systemDeviceQuery();

}  // namespace shuttle
