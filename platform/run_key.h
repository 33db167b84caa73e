#pragma once
// The programs Windows starts at logon: the key "Software\Microsoft\Windows\CurrentVersion\Run"
// of the current user's hive (what the tray menu changes) or of the machine's (what a per-machine
// installation writes, for every user), one text value (a command line) per program. What
// Shuttle's value holds is decided in core/start_with_windows.*; this is only the key.

#include <memory>
#include <optional>
#include <string>

namespace shuttle {

class RunKey {
public:
    virtual ~RunKey() = default;
    // The command line held by value `name`, with environment variables expanded; nothing when
    // the value is missing or not text.
    virtual std::optional<std::u16string> read(const std::u16string& name) = 0;
    // Sets value `name` (plain text); false when it could not be written.
    virtual bool write(const std::u16string& name, const std::u16string& command) = 0;
    // Deletes value `name`; true when it is gone afterwards, also when it was never there.
    virtual bool remove(const std::u16string& name) = 0;
};

enum class RunKeyHive { CurrentUser, LocalMachine };

// The registry's key in `hive` (Windows only). Changing the machine's key needs an
// administrator; a refused change reports false.
std::unique_ptr<RunKey> makeRegistryRunKey(RunKeyHive hive);

}  // namespace shuttle
