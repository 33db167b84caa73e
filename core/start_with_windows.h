#pragma once
// "Start with Windows": Shuttle's value "Shuttle" in a Run key holds the quoted path of the
// program that Windows starts at logon. The tray menu changes the current user's value; a
// per-machine installation writes the machine's, for every user. The item is checked when
// either starts this very program.

#include <string>

#include "platform/run_key.h"

namespace shuttle {

inline constexpr char16_t kRunValueName[] = u"Shuttle";

// The command line that starts `program` (a full path): the path in double quotes.
std::u16string startCommand(const std::u16string& program);

// Whether the command line `command` starts `program`. Quotes around the path are optional
// and arguments after it do not matter; paths compare without regard to case, as Windows
// compares file names.
bool commandStarts(const std::u16string& command, const std::u16string& program);

// Whether Shuttle's Run value exists and starts `program`.
bool startsWithWindows(RunKey& key, const std::u16string& program);

// On: Shuttle's value is set to start `program`. Off: the value is removed when it starts
// `program`; one that starts another copy of Shuttle is that copy's and stays. Gives whether
// the key now says what was asked.
bool setStartWithWindows(RunKey& key, const std::u16string& program, bool on);

// What a click on the tray item did: the user's value now says `on` (unless `failed`), and
// `machineStillOn` when the machine's value keeps starting the program, which only an
// administrator (or uninstalling) can change.
struct StartToggle {
    bool on = false;
    bool failed = false;
    bool machineStillOn = false;
};

// Whether the user's or the machine's value starts `program`: what the tray item shows.
bool startsAtLogon(RunKey& user, RunKey& machine, const std::u16string& program);

// Flips the tray item from what the keys say now, changing only the user's value.
StartToggle toggleStartAtLogon(RunKey& user, RunKey& machine, const std::u16string& program);

}  // namespace shuttle
