#include "support/replay_device_query.h"

namespace shuttle::testing {

class ReplaySet final : public DiskDeviceSet {
public:
    explicit ReplaySet(ReplayDeviceQuery& owner) : owner_(owner), machine_(owner.machine_) { ++owner_.openSets_; }
    ~ReplaySet() override { --owner_.openSets_; }

    bool hasInterface(uint32_t index) override { return index < machine_.interfaces.size(); }
    uint32_t interfaceDetailSize(uint32_t index) override {
        return hasInterface(index) ? machine_.interfaces[index].detailSize : 0;
    }
    bool interfaceDetail(uint32_t index, uint32_t detailSize, DiskInterfaceDetail& detail) override {
        if (!hasInterface(index) || detailSize < machine_.interfaces[index].detailSize) return false;
        detail.path = machine_.interfaces[index].path;
        detail.deviceInstance = machine_.interfaces[index].deviceInstance;
        return true;
    }
    bool parentInstanceId(uint32_t deviceInstance, std::string& id) override {
        auto found = machine_.parents.find(deviceInstance);
        if (found == machine_.parents.end()) return false;
        id = found->second;
        return true;
    }
    bool hasDevice(uint32_t index) override { return index < machine_.devices.size(); }
    bool deviceInstanceId(uint32_t index, std::string& id) override {
        if (!hasDevice(index) || !machine_.devices[index].instanceId) return false;
        id = *machine_.devices[index].instanceId;
        return true;
    }
    bool deviceProperty(uint32_t index, uint32_t property, std::string& text) override {
        if (!hasDevice(index)) return false;
        const RecordedDevice& device = machine_.devices[index];
        const std::optional<std::string>& value =
            property == kPropertyFriendlyName ? device.friendlyName
                                              : (property == kPropertyDeviceDescription ? device.description
                                                                                        : std::nullopt);
        if (!value) return false;
        text = *value;
        return true;
    }

private:
    ReplayDeviceQuery& owner_;
    const RecordedMachine& machine_;
};

uint32_t ReplayDeviceQuery::driveType(const std::string& root) {
    asked_.push_back("type " + root);
    auto found = machine_.driveTypes.find(root);
    return found == machine_.driveTypes.end() ? 1 : found->second;
}

DeviceNumberAnswer ReplayDeviceQuery::deviceNumber(const std::string& path) {
    asked_.push_back("number " + path);
    auto found = machine_.deviceNumbers.find(path);
    return found == machine_.deviceNumbers.end() ? DeviceNumberAnswer{} : found->second;
}

std::unique_ptr<DiskDeviceSet> ReplayDeviceQuery::openPresentDisks() {
    asked_.push_back("open set");
    if (machine_.setsFail) return nullptr;
    return std::make_unique<ReplaySet>(*this);
}

}  // namespace shuttle::testing
