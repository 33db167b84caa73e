#pragma once
// The file systems that can serve as the store on a Linux computer: those mounted from disks
// attached through USB, found in the mount table and sysfs and named by their labels. Every
// reader takes the file or folder it reads, so that recorded samples can stand in for the system.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace shuttle {

// One line of a mountinfo table (proc(5)), escapes undone.
struct MountEntry {
    std::string device;      // "major:minor"
    std::string root;        // the part of the file system mounted: "/" for all of it
    std::string mountPoint;  // "/media/me/STICK"
    std::string type;        // "vfat"
    std::string source;      // "/dev/sdb1"
};

// The entries of a mountinfo text in its order; lines that do not parse are skipped.
std::vector<MountEntry> parseMountInfo(std::string_view text);

// The USB disk that holds block device `device` ("8:17"), as sysfs under `sysFolder` ("/sys")
// tells: its kernel name ("sdb") and its vendor and model. Nothing unless the device's place in
// the device tree passes a USB device. A USB hard disk counts as much as a stick, although only
// the stick calls itself removable: it comes and goes the same way, and Windows offers both.
struct UsbDisk {
    std::string name;
    std::string model;  // vendor and model, "" when sysfs names none
};
std::optional<UsbDisk> usbDiskOf(const std::string& sysFolder, const std::string& device);

// File system labels from udev's folder of label links (`labelFolder`, "/dev/disk/by-label"):
// kernel name of the device ("sdb1") -> label, udev's \xHH escapes undone.
std::map<std::string, std::string> readLabels(const std::string& labelFolder);

// Where the readers read.
struct VolumeSources {
    std::string mountTable = "/proc/self/mountinfo";
    std::string sysFolder = "/sys";
    std::string labelFolder = "/dev/disk/by-label";
};

// One file system to offer: its name (label, else the disk's model, else the device's name;
// never holding "/") and where it is mounted.
struct StoreVolume {
    std::string name;
    std::string mountPoint;
};

// The whole file systems mounted from USB disks, in mount order, one per device; the root
// file system is never one of them.
std::vector<StoreVolume> findStoreVolumes(const VolumeSources& sources);

}  // namespace shuttle
