#include "platform/store_volumes_linux.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

namespace shuttle {
namespace {

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    while (start < line.size()) {
        size_t end = line.find(' ', start);
        if (end == std::string_view::npos) end = line.size();
        if (end > start) fields.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

bool isOctal(char c) { return c >= '0' && c <= '7'; }

// The kernel writes space, tab, newline and backslash in mount paths as \ooo.
std::string unescapeOctal(std::string_view field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) && isOctal(field[i + 2]) &&
            isOctal(field[i + 3])) {
            out.push_back(static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(field[i]);
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// udev writes unsafe bytes of a link name as \xHH.
std::string unescapeHex(std::string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && hexValue(name[i + 2]) >= 0 &&
            hexValue(name[i + 3]) >= 0) {
            out.push_back(static_cast<char>(hexValue(name[i + 2]) * 16 + hexValue(name[i + 3])));
            i += 3;
        } else {
            out.push_back(name[i]);
        }
    }
    return out;
}

bool isDeviceNumber(const std::string& device) {
    const size_t colon = device.find(':');
    return colon != std::string::npos && colon > 0 && colon + 1 < device.size() &&
           device.find_first_not_of("0123456789:") == std::string::npos && device.find(':', colon + 1) == std::string::npos;
}

std::string readText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string trimmed(std::string text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string leafOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// A USB device's place in the device tree: a component "usb<bus>" (the root hub) on the way.
bool passesUsb(const std::string& devicePath) {
    std::istringstream components(devicePath);
    std::string component;
    while (std::getline(components, component, '/'))
        if (component.size() > 3 && component.compare(0, 3, "usb") == 0 &&
            component.find_first_not_of("0123456789", 3) == std::string::npos)
            return true;
    return false;
}

std::string shownName(std::string name) {
    for (char& c : name)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20) c = '_';
    return trimmed(std::move(name));
}

}  // namespace

std::vector<MountEntry> parseMountInfo(std::string_view text) {
    std::vector<MountEntry> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::vector<std::string_view> fields = splitFields(text.substr(start, end - start));
        start = end + 1;
        size_t separator = 6;
        while (separator < fields.size() && fields[separator] != "-") ++separator;
        if (separator + 2 >= fields.size()) continue;
        entries.push_back(MountEntry{std::string(fields[2]), unescapeOctal(fields[3]), unescapeOctal(fields[4]),
                                     std::string(fields[separator + 1]), unescapeOctal(fields[separator + 2])});
    }
    return entries;
}

std::optional<UsbDisk> usbDiskOf(const std::string& sysFolder, const std::string& device) {
    if (!isDeviceNumber(device)) return std::nullopt;
    char resolved[PATH_MAX];
    if (::realpath((sysFolder + "/dev/block/" + device).c_str(), resolved) == nullptr) return std::nullopt;
    std::string place = resolved;
    if (!passesUsb(place)) return std::nullopt;
    if (exists(place + "/partition")) place = place.substr(0, place.rfind('/'));
    const std::string vendor = trimmed(readText(place + "/device/vendor"));
    const std::string model = trimmed(readText(place + "/device/model"));
    return UsbDisk{leafOf(place), trimmed(vendor + " " + model)};
}

std::map<std::string, std::string> readLabels(const std::string& labelFolder) {
    std::map<std::string, std::string> labels;
    DIR* listing = ::opendir(labelFolder.c_str());
    if (listing == nullptr) return labels;
    while (const dirent* item = ::readdir(listing)) {
        const std::string link = labelFolder + "/" + item->d_name;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
        if (length <= 0) continue;
        labels[leafOf(std::string(target, static_cast<size_t>(length)))] = unescapeHex(item->d_name);
    }
    ::closedir(listing);
    return labels;
}

std::vector<StoreVolume> findStoreVolumes(const VolumeSources& sources) {
    const std::map<std::string, std::string> labels = readLabels(sources.labelFolder);
    std::vector<StoreVolume> volumes;
    std::set<std::string> devices;
    for (const MountEntry& entry : parseMountInfo(readText(sources.mountTable))) {
        if (entry.root != "/" || entry.mountPoint == "/" || devices.count(entry.device) != 0) continue;
        const std::optional<UsbDisk> disk = usbDiskOf(sources.sysFolder, entry.device);
        if (!disk) continue;
        devices.insert(entry.device);
        const auto label = labels.find(leafOf(entry.source));
        std::string name = label != labels.end() ? label->second : !disk->model.empty() ? disk->model : leafOf(entry.source);
        name = shownName(std::move(name));
        volumes.push_back(StoreVolume{name.empty() ? disk->name : name, entry.mountPoint});
    }
    return volumes;
}

}  // namespace shuttle
