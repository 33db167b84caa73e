#include "platform/device_query.h"

namespace shuttle {
namespace {

// No drive letters and no disks: store drives are found only on Windows.
class NoDevices final : public DeviceQuery {
public:
    uint32_t driveType(const std::string&) override { return 1; }  // DRIVE_NO_ROOT_DIR
    DeviceNumberAnswer deviceNumber(const std::string&) override { return DeviceNumberAnswer{}; }
    std::unique_ptr<DiskDeviceSet> openPresentDisks() override { return std::make_unique<EmptySet>(); }
    uint32_t lastError() override { return 0; }

private:
    class EmptySet final : public DiskDeviceSet {
    public:
        bool hasInterface(uint32_t) override { return false; }
        uint32_t interfaceDetailSize(uint32_t) override { return 0; }
        bool interfaceDetail(uint32_t, uint32_t, DiskInterfaceDetail&) override { return false; }
        bool parentInstanceId(uint32_t, std::string&) override { return false; }
        bool hasDevice(uint32_t) override { return false; }
        bool deviceInstanceId(uint32_t, std::string&) override { return false; }
        bool deviceProperty(uint32_t, uint32_t, std::string&) override { return false; }
    };
};

}  // namespace

DeviceQuery& systemDeviceQuery() {
    static NoDevices query;
    return query;
}

}  // namespace shuttle
