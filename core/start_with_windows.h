#pragma once
// "Start with Windows": Shuttle's value "Shuttle" in the current user's Run key holds the
// quoted path of the program that Windows starts at logon. The tray menu's item is checked
// when that value starts this very program; the installer writes the same value.

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

}  // namespace shuttle
