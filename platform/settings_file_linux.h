#pragma once
// The settings key on Linux: the text file "$XDG_CONFIG_HOME/shuttle/shuttle.conf" with the
// registry key's four values, one "Name=value" line each. Numbers are decimal; text is UTF-8
// with "\" and line breaks written as \\, \n and \r. "Com" holds the chosen port's name (its
// device path, "" for none), turned into the program's port number and back through the serial
// ports seam. Lines of other names are kept as they are. Written values reach the file when the
// key is closed, in one step (a new file renamed over the old one).

#include <memory>
#include <string>

#include "platform/serial_port.h"
#include "platform/settings_store.h"
#include "platform/user_folders_linux.h"

namespace shuttle {

class SettingsFile final : public SettingsStore {
public:
    SettingsFile(std::string path, SerialPorts& ports) : path_(std::move(path)), ports_(ports) {}
    // Opens the file's values; `existed` tells whether the file was there. Null when neither
    // the file can be read nor its folder made.
    std::unique_ptr<SettingsKey> openOrCreate(bool& existed) override;

private:
    const std::string path_;
    SerialPorts& ports_;
};

// "<config home>/shuttle/shuttle.conf"; "" when no home is known.
std::string settingsFilePath(const EnvironmentLookup& environment = processEnvironment);

}  // namespace shuttle
