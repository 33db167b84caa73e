// The Linux store drives: the readers against a recorded machine (samples/), the letters and
// saved selections, and the host's own files read through the drive table.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/host_names.h"
#include "platform/device_watch_linux.h"
#include "platform/fat_attributes_linux.h"
#include "platform/store_drives_linux.h"
#include "support/test_drives.h"

namespace shuttle {
namespace {

namespace fs = std::filesystem;

const std::string kSamples = fs::path(__FILE__).parent_path().string() + "/samples";

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::string sample(const std::string& name) {
    std::ifstream file(kSamples + "/" + name);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The recorded machine's sysfs tree and label links, unpacked from samples/machine.manifest
// into a folder of their own, which goes when the tests end.
struct RecordedMachine {
    RecordedMachine() {
        std::ifstream manifest(kSamples + "/machine.manifest");
        for (std::string line; std::getline(manifest, line);) {
            const size_t arrow = line.find(" -> "), equals = line.find(" = \"");
            if (line.rfind("link ", 0) == 0 && arrow != std::string::npos) {
                const fs::path place = root / line.substr(5, arrow - 5);
                fs::create_directories(place.parent_path());
                fs::create_symlink(line.substr(arrow + 4), place);
            } else if (line.rfind("file ", 0) == 0 && equals != std::string::npos) {
                const fs::path place = root / line.substr(5, equals - 5);
                fs::create_directories(place.parent_path());
                std::ofstream(place) << line.substr(equals + 4, line.size() - equals - 5) << "\n";
            }
        }
    }
    ~RecordedMachine() { fs::remove_all(root); }
    const fs::path root = [] {
        std::string pattern = fs::temp_directory_path().string() + "/shuttle-machine-XXXXXX";
        return fs::path(::mkdtemp(pattern.data()));
    }();
};

std::string recorded(const std::string& folder) {
    static const RecordedMachine machine;
    return (machine.root / folder).string();
}

TEST(StoreVolumes, TheRecordedMachineOffersItsUsbFileSystemsByLabelOrModel) {
    const std::vector<MountEntry> mounts = parseMountInfo(sample("mountinfo.txt"));
    ASSERT_EQ(mounts.size(), 12u) << "the line that is no mount is skipped";
    EXPECT_EQ(mounts[8].mountPoint, "/media/anna/My Disk");
    EXPECT_EQ(mounts[8].type, "exfat");
    EXPECT_EQ(mounts[9].root, "/photos");
    EXPECT_EQ(mounts[10].source, "/dev/sdd");  // no optional fields before the separator

    const std::string sys = recorded("sys");
    EXPECT_EQ(usbDiskOf(sys, "8:17")->name, "sdb");
    EXPECT_EQ(usbDiskOf(sys, "8:17")->model, "SanDisk Cruzer Blade");
    EXPECT_EQ(usbDiskOf(sys, "8:48")->name, "sdd");  // a whole disk, no partition table
    for (const char* other : {"8:1", "0:39", "../../devices", "8:17/..", ""}) EXPECT_FALSE(usbDiskOf(sys, other)) << other;
    const auto labels = readLabels(recorded("by-label"));
    EXPECT_EQ(labels.at("sdc1"), "My Disk");

    const std::vector<StoreVolume> volumes = findStoreVolumes({kSamples + "/mountinfo.txt", sys, recorded("by-label")});
    ASSERT_EQ(volumes.size(), 3u) << "not the root, the EFI partition, a bind mount or a second mount of one disk";
    EXPECT_EQ(volumes[0].name + "|" + volumes[0].mountPoint, "STICK|/media/anna/STICK");
    EXPECT_EQ(volumes[1].name + "|" + volumes[1].mountPoint, "My Disk|/media/anna/My Disk");
    EXPECT_EQ(volumes[2].name + "|" + volumes[2].mountPoint, "WD Elements 2621|/mnt/backup");
}

class LinuxDrives : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* folder : {"STICK", "backup", "share"}) fs::create_directories(base + "/" + folder);
        mount(true);
    }
    void TearDown() override { fs::remove_all(base); }
    void mount(bool withBackup) {
        std::ofstream(base + "/mountinfo") << "401 28 8:17 / " << base << "/STICK rw - vfat /dev/sdb1 rw\n"
                                           << (withBackup ? "402 28 8:48 / " + base + "/backup rw - ext4 /dev/sdd rw\n" : "");
    }
    bool isFolder(char letter) {
        const uint32_t attributes = files.attributes(std::string{letter, ':', '\\'});
        return attributes != kInvalidAttributes && (attributes & kAttributeDirectory) != 0;
    }
    static std::vector<std::string> entries(const std::vector<LinuxStoreDrive>& drives) {
        std::vector<std::string> shown;
        for (const LinuxStoreDrive& drive : drives) shown.push_back(drive.name + " (" + drive.root().substr(0, 2) + ")");
        return shown;
    }
    std::string base = [] {
        std::string pattern = fs::temp_directory_path().string() + "/shuttle-mounts-XXXXXX";
        return std::string(::mkdtemp(pattern.data()));
    }();
    PosixFileSystem files;
    LinuxStoreDrives drives{files, {base + "/mountinfo", recorded("sys"), recorded("by-label")}};
};

TEST_F(LinuxDrives, TheSavedSelectionGetsItsLetterBackAndLettersFollowTheMounts) {
    const std::string saved = "STICK on " + base + "/STICK (G:)";
    drives.restore(wide(saved));
    EXPECT_TRUE(isFolder('G')) << "the saved drive is there before the first list";
    EXPECT_EQ(entries(drives.refresh()), (std::vector<std::string>{saved, "WD Elements 2621 on " + base + "/backup (D:)"}));
    const LinuxStoreDrive share = *drives.addFolder(base + "/share/");
    EXPECT_EQ(share.name + " " + share.root(), base + "/share E:\\");
    EXPECT_EQ(entries(drives.refresh()).back(), base + "/share (E:)");
    EXPECT_FALSE(drives.addFolder(base + "/missing"));
    EXPECT_FALSE(drives.addFolder("/"));

    mount(false);  // the backup disk is unmounted: its letter goes, and comes back with it
    EXPECT_EQ(entries(drives.refresh()).size(), 2u);
    EXPECT_FALSE(isFolder('D'));
    mount(true);
    EXPECT_EQ(entries(drives.refresh())[1], "WD Elements 2621 on " + base + "/backup (D:)");

    EXPECT_EQ(drives.hostPathOf("g:\\AB_storage\\x.txt"), base + "/STICK/AB_storage/x.txt");
    EXPECT_FALSE(drives.hostPathOf("G:\\AB_storage\\..\\..\\etc"));
    EXPECT_FALSE(drives.hostPathOf("Q:\\x"));
    EXPECT_EQ(drives.hostPathOf(*windowsPathOfHostPath("/tmp/a:b")), "/tmp/a:b");

    // After a restart a folder selection comes back too; what is no selection changes nothing.
    PosixFileSystem restarted;
    LinuxStoreDrives again{restarted, {base + "/mountinfo", recorded("sys"), recorded("by-label")}};
    for (const char* noSelection : {"COM5", "STICK (G:)", "x on /y (Z:)", "x on /y (C:)", ""}) again.restore(wide(noSelection));
    again.restore(wide(base + "/share (F:)"));
    EXPECT_EQ(entries(again.refresh()),
              (std::vector<std::string>{"STICK on " + base + "/STICK (D:)", "WD Elements 2621 on " + base + "/backup (E:)",
                                        base + "/share (F:)"}));
}

// The host's own files, whatever their names, are read through the host root's drive.
TEST(HostRootDrive, NamesWindowsCannotHoldAreListedAndReadInTheirWindowsSpelling) {
    testing::TestDrives drives;
    PosixFileSystem& files = static_cast<PosixFileSystem&>(drives.fs());
    const std::string store = drives.mount('E');
    std::string folder;
    ASSERT_TRUE(files.hostPath(store, folder));
    fs::create_directories(folder + "/src");
    std::ofstream(folder + "/src/a:b\\c?") << "odd";
    files.mapDrive(kHostRootLetter, "/", PosixFileSystem::DriveNames::Host);
    const std::string source = *windowsPathOfHostPath(folder + "/src");
    FindEntry entry;
    auto listing = files.findFirst(source + "\\*", entry);
    ASSERT_TRUE(listing);
    while (entry.isDotOrDotDot()) ASSERT_TRUE(listing->next(entry));
    EXPECT_EQ(entry.name, windowsNameOfHostName("a:b\\c?"));
    std::string bytes;
    ASSERT_TRUE(testing::readFile(files, source + "\\" + entry.name, bytes));
    EXPECT_EQ(bytes, "odd");
    EXPECT_FALSE(testing::readFile(files, store + "src\\" + entry.name, bytes)) << "a store drive holds Windows names";
    EXPECT_FALSE(files.open(source + "\\\xEF\x80\xAF" "etc", FileAccess::Read, kShareRead, FileDisposition::OpenExisting, 0));
    EXPECT_EQ(files.lastError(), kErrorInvalidName);
    // Only vfat keeps hidden and system in its directory entry; elsewhere the ioctl is refused.
    EXPECT_EQ(setFatAttributes(folder + "/src/a:b\\c?", kAttributeHidden), FatAttributesResult::NotFat);
    EXPECT_EQ(setFatAttributes(folder + "/missing", kAttributeHidden), FatAttributesResult::Failed);
}

// A mount in a mount namespace of its own is seen once; the system's table stays untouched.
TEST(MountWatch, AMountAndAnUnmountAreEachSeenOnce) {
    const std::string point = fs::temp_directory_path().string() + "/shuttle-watch-" + std::to_string(::getpid());
    fs::create_directories(point);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::unshare(CLONE_NEWNS) != 0 && ::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) ::_exit(77);
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) ::_exit(77);
        MountWatch watch;
        const bool quiet = !watch.changed();
        if (::mount("shuttle", point.c_str(), "tmpfs", 0, "size=64k") != 0) ::_exit(77);
        const bool mounted = watch.changed() && !watch.changed();
        ::umount(point.c_str());
        ::_exit(quiet && mounted && watch.changed() ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    fs::remove(point);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no mount namespace for this user";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace shuttle
