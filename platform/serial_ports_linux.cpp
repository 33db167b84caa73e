#include "platform/serial_ports_linux.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <utility>

#include "platform/tty_serial_ports.h"

namespace shuttle {
namespace {

// Bounds the table when something keeps naming new paths.
constexpr size_t kMaxPorts = 4096;

thread_local SerialOpenFailure lastFailure = SerialOpenFailure::None;

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) return names;
    while (const dirent* item = ::readdir(listing)) {
        const std::string name = item->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(listing);
    return names;
}

bool isUsbSerialName(const std::string& name) {
    return name.compare(0, 6, "ttyUSB") == 0 || name.compare(0, 6, "ttyACM") == 0;
}

// What a path leads to, links followed: one entry per device.
using DeviceKey = std::pair<dev_t, ino_t>;

}  // namespace

// A path to offer, with the weight of its name: a named path before a by-id name before the
// kernel's.
struct LinuxSerialPorts::Candidate {
    std::string path;
    int rank;
};

LinuxSerialPorts::LinuxSerialPorts(std::string deviceFolder) : deviceFolder_(std::move(deviceFolder)) {}

std::vector<LinuxSerialPorts::Candidate> LinuxSerialPorts::candidates() {
    std::vector<Candidate> found;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Entry& entry : entries_)
            if (entry.named) found.push_back({entry.path, 0});
    }
    const std::string byId = deviceFolder_ + "/serial/by-id";
    for (const std::string& name : namesIn(byId)) found.push_back({byId + "/" + name, 1});
    for (const std::string& name : namesIn(deviceFolder_))
        if (isUsbSerialName(name)) found.push_back({deviceFolder_ + "/" + name, 2});
    return found;
}

std::vector<uint32_t> LinuxSerialPorts::presentPorts() {
    std::map<DeviceKey, Candidate> chosen;
    for (Candidate& candidate : candidates()) {
        struct stat info {};
        if (::stat(candidate.path.c_str(), &info) != 0) continue;
        auto [place, added] = chosen.emplace(DeviceKey{info.st_dev, info.st_ino}, candidate);
        const bool better = candidate.rank < place->second.rank ||
                            (candidate.rank == place->second.rank && candidate.path < place->second.path);
        if (!added && better) place->second = std::move(candidate);
    }
    std::vector<std::string> paths;
    for (const auto& [key, candidate] : chosen) paths.push_back(candidate.path);
    std::sort(paths.begin(), paths.end());
    std::vector<uint32_t> numbers;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& path : paths) {
        const uint32_t number = numberOf(path, false);
        if (number != kNoComPort) numbers.push_back(number);
    }
    return numbers;
}

uint32_t LinuxSerialPorts::numberOf(const std::string& path, bool named) {
    for (size_t index = 0; index < entries_.size(); ++index) {
        if (entries_[index].path != path) continue;
        entries_[index].named = entries_[index].named || named;
        return static_cast<uint32_t>(index + 1);
    }
    if (entries_.size() >= kMaxPorts) return kNoComPort;
    entries_.push_back({path, named});
    return static_cast<uint32_t>(entries_.size());
}

std::string LinuxSerialPorts::pathOf(uint32_t number) {
    std::lock_guard<std::mutex> lock(mutex_);
    return number >= 1 && number <= entries_.size() ? entries_[number - 1].path : std::string();
}

std::string LinuxSerialPorts::portName(uint32_t number) { return pathOf(number); }

std::optional<uint32_t> LinuxSerialPorts::portNumber(const std::string& name) {
    if (name.empty() || name[0] != '/' || name.find('\0') != std::string::npos) return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t number = numberOf(name, true);
    if (number == kNoComPort) return std::nullopt;
    return number;
}

bool LinuxSerialPorts::exists(uint32_t number) {
    const std::string path = pathOf(number);
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

std::shared_ptr<SerialPort> LinuxSerialPorts::open(uint32_t number, const SerialPortSettings& settings) {
    const std::string path = pathOf(number);
    if (path.empty()) {
        lastFailure = SerialOpenFailure::Absent;
        return nullptr;
    }
    return openTty(path, settings, &lastFailure);
}

SerialOpenFailure LinuxSerialPorts::lastOpenFailure() { return lastFailure; }

std::unique_ptr<SerialPorts> makeSystemSerialPorts() { return std::make_unique<LinuxSerialPorts>(); }

}  // namespace shuttle
