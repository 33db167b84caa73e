#pragma once
// The user's own folders as the XDG base directories name them, from the environment:
// a variable that is unset, empty or relative falls back to its default under the home folder.

#include <functional>
#include <string>

namespace shuttle {

// Looks up an environment variable: its value, or null when unset (std::getenv by default).
using EnvironmentLookup = std::function<const char*(const char* name)>;
const char* processEnvironment(const char* name);

// $HOME, else the home folder of the user's account; "" when neither is known.
std::string homeFolder(const EnvironmentLookup& environment = processEnvironment);
// $XDG_CONFIG_HOME, else ~/.config; "" when no home is known.
std::string configHome(const EnvironmentLookup& environment = processEnvironment);
// $XDG_STATE_HOME, else ~/.local/state; "" when no home is known.
std::string stateHome(const EnvironmentLookup& environment = processEnvironment);
// $XDG_RUNTIME_DIR; "" when unset.
std::string runtimeFolder(const EnvironmentLookup& environment = processEnvironment);

// Creates `folder` with the levels above it that are missing (mode 0700: these folders are the
// user's alone); true when it is a folder afterwards.
bool makeFolders(const std::string& folder);

}  // namespace shuttle
