#include "support/replay_device_query.h"

#include <cstdlib>
#include <sstream>

namespace shuttle::testing {
namespace {

constexpr const char* kNone = "<none>";

// Every tab separates two fields, so empty fields (also a last one) are kept.
std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == '\t')
            fields.emplace_back();
        else
            fields.back().push_back(c);
    }
    return fields;
}

std::optional<std::string> optionalText(const std::string& field) {
    if (field == kNone) return std::nullopt;
    return field;
}

uint32_t unsignedOf(const std::string& text) { return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10)); }

}  // namespace

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

RecordedMachine parseRecording(const std::string& text) {
    RecordedMachine machine;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f = fieldsOf(line);
        if (f[0] == "drive" && f.size() == 3) {
            machine.driveTypes[f[1]] = unsignedOf(f[2]);
        } else if (f[0] == "number" && f.size() == 3) {
            machine.deviceNumbers[f[1]] = DeviceNumberAnswer{true, static_cast<int32_t>(std::atol(f[2].c_str()))};
        } else if (f[0] == "interface" && f.size() == 4) {
            machine.interfaces.push_back(RecordedInterface{unsignedOf(f[1]), f[3], unsignedOf(f[2])});
        } else if (f[0] == "parent" && f.size() == 3) {
            machine.parents[unsignedOf(f[1])] = f[2];
        } else if (f[0] == "device" && f.size() == 4) {
            machine.devices.push_back(RecordedDevice{optionalText(f[1]), optionalText(f[2]), optionalText(f[3])});
        } else if (f[0] == "sets" && f.size() == 3 && f[1] == "fail") {
            machine.setsFail = true;
            machine.setError = unsignedOf(f[2]);
        }
    }
    return machine;
}

}  // namespace shuttle::testing
