#pragma once
// POSIX side of the serial seam (not built for Windows): COM port numbers are mapped to tty
// paths by a table, so that COM5 can be /dev/ttyUSB0 or the pseudo-terminal of the link
// simulator.

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/serial_port.h"

namespace shuttle {

// Opens the tty at `path` in raw mode with `settings` (the rate is not applied to a
// pseudo-terminal, which has none); null when it is absent, locked by another open, not to be
// opened by this user, or refuses the settings, with the reason in `why` when given.
std::shared_ptr<SerialPort> openTty(const std::string& path, const SerialPortSettings& settings,
                                    SerialOpenFailure* why = nullptr);

class TtySerialPorts final : public SerialPorts {
public:
    // Makes COMn name `path` (an empty path removes the entry).
    void mapPort(uint32_t number, const std::string& path);
    std::shared_ptr<SerialPort> open(uint32_t number, const SerialPortSettings& settings) override;
    // COMn exists when it is mapped and its path names something.
    bool exists(uint32_t number) override;
    SerialOpenFailure lastOpenFailure() override;

private:
    std::string pathOf(uint32_t number);
    std::mutex mutex_;
    std::map<uint32_t, std::string> paths_;
};

}  // namespace shuttle
