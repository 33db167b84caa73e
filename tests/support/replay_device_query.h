#pragma once
// Drive discovery's platform answers, replayed from a machine described in code. Every question
// asked is logged, so a test can see what was (and was not) looked at.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/device_query.h"

namespace shuttle::testing {

struct RecordedInterface {
    uint32_t detailSize = 0;
    std::string path;
    uint32_t deviceInstance = 0;
};

struct RecordedDevice {
    std::optional<std::string> instanceId;
    std::optional<std::string> friendlyName;
    std::optional<std::string> description;
};

struct RecordedMachine {
    std::map<std::string, uint32_t> driveTypes;                // root -> type; missing: 1
    std::map<std::string, DeviceNumberAnswer> deviceNumbers;  // path -> answer; missing: open fails
    std::vector<RecordedInterface> interfaces;
    std::map<uint32_t, std::string> parents;                  // device instance -> parent ID
    std::vector<RecordedDevice> devices;
    bool setsFail = false;
    uint32_t setError = 0;

    // Shorthands for building a machine in a test.
    void drive(const std::string& root, uint32_t type) { driveTypes[root] = type; }
    void number(const std::string& path, int32_t value) { deviceNumbers[path] = DeviceNumberAnswer{true, value}; }
};

class ReplayDeviceQuery final : public DeviceQuery {
public:
    explicit ReplayDeviceQuery(RecordedMachine machine) : machine_(std::move(machine)) {}

    uint32_t driveType(const std::string& root) override;
    DeviceNumberAnswer deviceNumber(const std::string& path) override;
    std::unique_ptr<DiskDeviceSet> openPresentDisks() override;
    uint32_t lastError() override { return machine_.setError; }

    // "type E:\", "number \\.\E:", "open set", in order.
    const std::vector<std::string>& asked() const { return asked_; }
    int openSets() const { return openSets_; }

private:
    friend class ReplaySet;
    RecordedMachine machine_;
    std::vector<std::string> asked_;
    int openSets_ = 0;
};

}  // namespace shuttle::testing
