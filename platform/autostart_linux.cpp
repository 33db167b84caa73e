#include "platform/autostart_linux.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "base/utf8.h"

namespace shuttle {
namespace {

constexpr const char* kEntryGroup = "[Desktop Entry]";

// Each key of the entry's main group, as written (escapes not undone).
std::optional<std::string> entryKey(const std::string& entry, const std::string& key) {
    std::istringstream lines(entry);
    bool inGroup = false;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] == '[') inGroup = line == kEntryGroup;
        if (inGroup && line.compare(0, key.size() + 1, key + "=") == 0) return line.substr(key.size() + 1);
    }
    return std::nullopt;
}

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

std::string execValueOf(const std::string& command) {
    std::string exec;
    bool quoted = false;
    for (char c : command) {
        if (c == '"') quoted = !quoted;
        if (c == '%') exec += '%';
        if (quoted && (c == '`' || c == '$' || c == '\\')) exec += '\\';
        exec += c;
    }
    std::string value;
    for (char c : exec) value += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return value;
}

std::string commandOfExecValue(const std::string& value) {
    std::string exec;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            exec += value[i];
            continue;
        }
        const char next = value[++i];
        exec += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
    }
    std::string command;
    bool quoted = false;
    for (size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c == '"') quoted = !quoted;
        if (quoted && c == '\\' && i + 1 < exec.size() && std::strchr("`$\\\"", exec[i + 1]) != nullptr) {
            command += exec[++i];
            continue;
        }
        if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') ++i;
        command += c;
    }
    return command;
}

std::string AutostartFolder::entryPath(const std::u16string& name) const {
    return folder_ + "/" + lowerAscii(toUtf8(name)) + ".desktop";
}

std::optional<std::u16string> AutostartFolder::read(const std::u16string& name) {
    std::ifstream file(entryPath(name));
    if (!file.is_open()) return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    const std::string entry = text.str();
    if (entryKey(entry, "Hidden") == std::string("true") ||
        entryKey(entry, "X-GNOME-Autostart-enabled") == std::string("false"))
        return std::nullopt;
    const std::optional<std::string> exec = entryKey(entry, "Exec");
    std::u16string command;
    if (!exec || !tryFromUtf8(commandOfExecValue(*exec), command)) return std::nullopt;
    return command;
}

bool AutostartFolder::write(const std::u16string& name, const std::u16string& command) {
    std::string commandText;
    if (folder_.empty() || !tryToUtf8(command, commandText) || !makeFolders(folder_)) return false;
    const std::string path = entryPath(name);
    std::ofstream file(path + ".new", std::ios::trunc);
    file << kEntryGroup << "\nType=Application\nName=" << toUtf8(name)
         << "\nComment=Carries the clipboard to another computer\nExec=" << execValueOf(commandText)
         << "\nIcon=shuttle\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
    file.close();
    if (!file || ::rename((path + ".new").c_str(), path.c_str()) != 0) {
        ::unlink((path + ".new").c_str());
        return false;
    }
    return true;
}

bool AutostartFolder::remove(const std::u16string& name) {
    return ::unlink(entryPath(name).c_str()) == 0 || errno == ENOENT;
}

std::string autostartFolder(const EnvironmentLookup& environment) {
    const std::string config = configHome(environment);
    return config.empty() ? std::string() : config + "/autostart";
}

}  // namespace shuttle
