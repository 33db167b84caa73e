#pragma once
// The serial ports of a Linux computer: the USB serial devices (ttyUSB*, ttyACM*), each shown by
// its stable name under serial/by-id when udev gave it one, and every path named to the table
// (the saved port, or one the user adds, such as a pseudo-terminal of the link simulator). A
// path gets its number the first time it is seen and keeps it for the rest of the run; the
// settings keep the path.

#include <mutex>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace shuttle {

class LinuxSerialPorts final : public SerialPorts {
public:
    // `deviceFolder` holds the devices: "/dev" (tests give a folder of their own).
    explicit LinuxSerialPorts(std::string deviceFolder = "/dev");

    std::shared_ptr<SerialPort> open(uint32_t number, const SerialPortSettings& settings) override;
    bool exists(uint32_t number) override;
    // The devices found now and the named paths that exist, one entry per device (a named path
    // as named, else the by-id name, else the kernel's), sorted by name.
    std::vector<uint32_t> presentPorts() override;
    // The path; "" for a number the table never gave.
    std::string portName(uint32_t number) override;
    // An absolute path gets a number (a new one the first time) and counts as named from then
    // on; any other text names no port.
    std::optional<uint32_t> portNumber(const std::string& name) override;
    SerialOpenFailure lastOpenFailure() override;

private:
    struct Entry {
        std::string path;
        bool named;
    };
    struct Candidate;
    std::vector<Candidate> candidates();
    // The number of `path`, given now when new; kNoComPort when the table is full.
    uint32_t numberOf(const std::string& path, bool named);
    std::string pathOf(uint32_t number);

    std::mutex mutex_;
    const std::string deviceFolder_;
    std::vector<Entry> entries_;  // port number n is entries_[n - 1]
};

}  // namespace shuttle
