#include "platform/user_folders_linux.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace shuttle {
namespace {

std::string absoluteVariable(const EnvironmentLookup& environment, const char* name) {
    const char* value = environment(name);
    return value != nullptr && value[0] == '/' ? std::string(value) : std::string();
}

std::string underHome(const EnvironmentLookup& environment, const char* variable, const char* fallback) {
    std::string folder = absoluteVariable(environment, variable);
    if (!folder.empty()) return folder;
    const std::string home = homeFolder(environment);
    return home.empty() ? std::string() : home + fallback;
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

const char* processEnvironment(const char* name) { return std::getenv(name); }

std::string homeFolder(const EnvironmentLookup& environment) {
    std::string home = absoluteVariable(environment, "HOME");
    if (!home.empty()) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr || found->pw_dir[0] != '/')
        return std::string();
    return found->pw_dir;
}

std::string configHome(const EnvironmentLookup& environment) {
    return underHome(environment, "XDG_CONFIG_HOME", "/.config");
}

std::string stateHome(const EnvironmentLookup& environment) {
    return underHome(environment, "XDG_STATE_HOME", "/.local/state");
}

std::string runtimeFolder(const EnvironmentLookup& environment) {
    return absoluteVariable(environment, "XDG_RUNTIME_DIR");
}

bool makeFolders(const std::string& folder) {
    if (folder.empty() || folder[0] != '/') return false;
    for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        ::mkdir(folder.substr(0, slash).c_str(), 0700);
    ::mkdir(folder.c_str(), 0700);
    return isFolder(folder);
}

}  // namespace shuttle
