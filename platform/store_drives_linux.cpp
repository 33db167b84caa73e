#include "platform/store_drives_linux.h"

#include <sys/stat.h>

#include <set>

#include "base/host_names.h"
#include "base/utf8.h"

namespace shuttle {
namespace {

constexpr char kFirstLetter = 'D';
constexpr char kLastLetter = 'Y';
constexpr const char* kDiskSeparator = " on /";

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

LinuxStoreDrives::LinuxStoreDrives(PosixFileSystem& files, VolumeSources sources)
    : files_(files), sources_(std::move(sources)) {}

void LinuxStoreDrives::setMapped(char letter, Assignment& assignment, bool mapped) {
    if (mapped)
        files_.mapDrive(letter, assignment.folder);
    else if (assignment.mapped)
        files_.unmapDrive(letter);
    assignment.mapped = mapped;
}

// The folder's letter, given now when it has none: a free one, else one of a disk not mounted.
char LinuxStoreDrives::letterFor(const std::string& folder, bool added) {
    for (auto& [letter, assignment] : letters_) {
        if (assignment.folder != folder) continue;
        assignment.added = assignment.added || added;
        return letter;
    }
    char chosen = 0;
    for (char letter = kFirstLetter; letter <= kLastLetter && chosen == 0; ++letter)
        if (letters_.count(letter) == 0) chosen = letter;
    for (auto& [letter, assignment] : letters_)
        if (chosen == 0 && !assignment.added && !assignment.mapped && letter != savedLetter_) chosen = letter;
    if (chosen != 0) letters_[chosen] = Assignment{folder, added, false};
    return chosen;
}

void LinuxStoreDrives::restore(const std::u16string& selection) {
    std::string text;
    if (!tryToUtf8(selection, text) || text.size() < 6) return;
    const size_t suffix = text.size() - 5;  // " (E:)"
    const char letter = upper(text[suffix + 2]);
    if (text.compare(suffix, 2, " (") != 0 || text.compare(suffix + 3, 2, ":)") != 0 || letter < kFirstLetter ||
        letter > kLastLetter)
        return;
    const std::string body = text.substr(0, suffix);
    const size_t on = body.find(kDiskSeparator);
    const bool added = !body.empty() && body[0] == '/';
    if (!added && on == std::string::npos) return;
    const std::string folder = withoutTrailingSlashes(added ? body : body.substr(on + 4));
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto place = letters_.begin(); place != letters_.end();) {
            if (place->second.folder != folder && place->first != letter) {
                ++place;
                continue;
            }
            setMapped(place->first, place->second, false);
            place = letters_.erase(place);
        }
        letters_[letter] = Assignment{folder, added, false};
        savedLetter_ = letter;
    }
    refresh();
}

std::vector<LinuxStoreDrive> LinuxStoreDrives::refresh() {
    const std::vector<StoreVolume> volumes = findStoreVolumes(sources_);
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<LinuxStoreDrive> drives;
    std::set<char> mounted;
    for (const StoreVolume& volume : volumes) {
        const char letter = letterFor(volume.mountPoint, false);
        if (letter == 0) continue;
        mounted.insert(letter);
        if (!letters_[letter].added) drives.push_back({volume.name + " on " + volume.mountPoint, volume.mountPoint, letter});
    }
    for (auto& [letter, assignment] : letters_) {
        const bool present = assignment.added ? isFolder(assignment.folder) : mounted.count(letter) != 0;
        setMapped(letter, assignment, present);
        if (present && assignment.added) drives.push_back({assignment.folder, assignment.folder, letter});
    }
    return drives;
}

std::vector<OfferedDrive> LinuxStoreDrives::offeredDrives() {
    std::vector<OfferedDrive> offered;
    for (const LinuxStoreDrive& drive : refresh()) offered.push_back({drive.name, drive.root()});
    return offered;
}

std::optional<LinuxStoreDrive> LinuxStoreDrives::addFolder(const std::string& folder) {
    const std::string path = withoutTrailingSlashes(folder);
    if (path.size() < 2 || path[0] != '/' || !isFolder(path)) return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    const char letter = letterFor(path, true);
    if (letter == 0) return std::nullopt;
    setMapped(letter, letters_[letter], true);
    return LinuxStoreDrive{path, path, letter};
}

std::optional<std::string> LinuxStoreDrives::hostPathOf(const std::string& windowsPath) {
    if (windowsPath.size() < 2) return std::nullopt;
    const char letter = upper(windowsPath[0]);
    if (letter == kHostRootLetter) return hostPathInFolder(windowsPath, "/", true);
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = letters_.find(letter);
    if (found == letters_.end() || !found->second.mapped) return std::nullopt;
    return hostPathInFolder(windowsPath, found->second.folder);
}

}  // namespace shuttle
