#include "platform/serial_port.h"

namespace shuttle {
namespace {

constexpr uint32_t kLastComPort = 255;

}  // namespace

const char* serialOpenFailureText(SerialOpenFailure failure) {
    switch (failure) {
        case SerialOpenFailure::None: return "";
        case SerialOpenFailure::Absent: return "The port is not there";
        case SerialOpenFailure::Busy: return "The port is in use by another program";
        case SerialOpenFailure::NoPermission:
            return "No permission to open the port. Add yourself to the dialout group "
                   "(sudo usermod -aG dialout $USER), then log out and in again";
        case SerialOpenFailure::Refused: return "The port is no serial line or refused its settings";
        default: return "The port could not be opened";
    }
}

std::string windowsPortName(uint32_t number) { return "COM" + std::to_string(number); }

std::optional<uint32_t> parseWindowsPortName(const std::string& name) {
    if (name.size() < 4 || name.size() > 13 || name.compare(0, 3, "COM") != 0) return std::nullopt;
    uint64_t number = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return std::nullopt;
        number = number * 10 + static_cast<uint64_t>(name[i] - '0');
    }
    if (number >= kNoComPort) return std::nullopt;
    return static_cast<uint32_t>(number);
}

std::vector<uint32_t> SerialPorts::presentPorts() {
    std::vector<uint32_t> present;
    for (uint32_t number = 1; number <= kLastComPort; ++number)
        if (exists(number)) present.push_back(number);
    return present;
}

std::string SerialPorts::portName(uint32_t number) { return windowsPortName(number); }

std::optional<uint32_t> SerialPorts::portNumber(const std::string& name) { return parseWindowsPortName(name); }

}  // namespace shuttle
