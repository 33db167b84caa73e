#pragma once
// The store drives of a Linux computer as the store logic sees them. Each folder that can serve
// as the store - a file system mounted from a USB disk, or a folder the user added (a mounted
// image, a network share) - gets a drive letter in the file system seam's table, so that the
// logic reaches it as "E:\". The entry the user picks is saved as the store selection ("Usb")
// and names the folder, so that after a restart the same folder gets the same letter before
// anything reads the drive:
//   a USB disk   "<label> on <mount point> (E:)"   (a label never holds "/")
//   a folder     "<folder> (E:)"                   (the text starts with "/")
// A disk's letter is mapped only while the disk is mounted, an added folder's while it is a
// folder. Letters go from D to Y (Z is the host's own files) and stay with their folder for
// the whole run.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system_posix.h"
#include "platform/store_drive_list.h"
#include "platform/store_volumes_linux.h"

namespace shuttle {

struct LinuxStoreDrive {
    std::string name;    // the entry without " (E:)"
    std::string folder;  // the host folder
    char letter = 0;

    std::string root() const { return {letter, ':', '\\'}; }  // "E:\"
};

class LinuxStoreDrives final : public StoreDriveList {
public:
    explicit LinuxStoreDrives(PosixFileSystem& files, VolumeSources sources = {});

    // Takes the saved store selection: its letter is kept for its folder, and mapped at once
    // when the folder is there. A selection of another form is ignored.
    void restore(const std::u16string& selection);
    // The drives to offer now: the mounted USB disks in mount order, then the added folders
    // that exist. Letters of disks no longer mounted, or of folders gone, are unmapped.
    std::vector<LinuxStoreDrive> refresh();
    // refresh(), as the link selector lists them.
    std::vector<OfferedDrive> offeredDrives() override;
    // Adds a folder the user chose (absolute, not "/"); nothing when it is no folder or no
    // letter is left.
    std::optional<LinuxStoreDrive> addFolder(const std::string& folder);
    // The host path of a Windows path on one of these drives, or on the host root's drive; nothing
    // for another drive or a path that would leave its drive.
    std::optional<std::string> hostPathOf(const std::string& windowsPath);

private:
    struct Assignment {
        std::string folder;
        bool added = false;   // a folder the user added, not a disk
        bool mapped = false;  // in the file system's table now
    };
    char letterFor(const std::string& folder, bool added);
    void setMapped(char letter, Assignment& assignment, bool mapped);

    std::mutex mutex_;
    PosixFileSystem& files_;
    const VolumeSources sources_;
    std::map<char, Assignment> letters_;
    char savedLetter_ = 0;  // never given to another folder
};

}  // namespace shuttle
