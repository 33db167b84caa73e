#pragma once
// The programs a Linux desktop starts at login: desktop entries in the user's autostart folder
// ("$XDG_CONFIG_HOME/autostart"). Behind the Run key seam, value "Shuttle" is the entry
// "shuttle.desktop" and its command line is the entry's Exec line, so the start-at-login logic of
// core/start_with_windows.* holds here unchanged. An entry that is hidden or disabled counts as
// missing.

#include <string>

#include "platform/run_key.h"
#include "platform/user_folders_linux.h"

namespace shuttle {

class AutostartFolder final : public RunKey {
public:
    explicit AutostartFolder(std::string folder) : folder_(std::move(folder)) {}

    std::optional<std::u16string> read(const std::u16string& name) override;
    // Writes the whole entry (the folder made when missing), replacing one there.
    bool write(const std::u16string& name, const std::u16string& command) override;
    bool remove(const std::u16string& name) override;

private:
    std::string entryPath(const std::u16string& name) const;
    const std::string folder_;
};

// "<config home>/autostart"; "" when no home is known.
std::string autostartFolder(const EnvironmentLookup& environment = processEnvironment);

// The Exec value of a desktop entry for a command line and back: "%" doubled, and inside
// double quotes ` $ \ escaped with "\", then the backslashes of the string value doubled.
std::string execValueOf(const std::string& command);
std::string commandOfExecValue(const std::string& value);

}  // namespace shuttle
