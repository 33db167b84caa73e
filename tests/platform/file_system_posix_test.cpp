// The POSIX side of the seam: drive table, path rules and the Windows checks Wine cannot show.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/file_system_posix.h"
#include "support/test_drives.h"

namespace shuttle {
namespace {

class PosixDrives : public ::testing::Test {
protected:
    testing::TestDrives drives;
    FileSystem& fs = drives.fs();
    std::string root = drives.mount('E');
    PosixFileSystem& posix = static_cast<PosixFileSystem&>(fs);
};

TEST_F(PosixDrives, PathsResolveThroughTheDriveTableAndACopyRefusesAHiddenTargetOrItself) {
    std::string host, base;
    ASSERT_TRUE(posix.hostPath("e:", base));
    ASSERT_TRUE(posix.hostPath("E:\\a\\b.txt", host));
    EXPECT_EQ(host, base + "/a/b.txt");
    ASSERT_TRUE(posix.hostPath("E:\\a\\..\\..\\..\\etc\\.\\passwd", host));
    EXPECT_EQ(host, base + "/etc/passwd");
    ASSERT_TRUE(posix.hostPath("E:/a//b\\", host));
    EXPECT_EQ(host, base + "/a/b");
    EXPECT_FALSE(posix.hostPath("Q:\\a", host));
    EXPECT_EQ(fs.lastError(), kErrorPathNotFound);
    EXPECT_FALSE(posix.hostPath("relative\\a", host));
    EXPECT_EQ(fs.lastError(), kErrorPathNotFound);
    EXPECT_FALSE(posix.hostPath("E:\\a*b", host));
    EXPECT_EQ(fs.lastError(), kErrorInvalidName);
    EXPECT_FALSE(posix.hostPath("E:\\a:b", host));
    EXPECT_EQ(fs.lastError(), kErrorInvalidName);
    ASSERT_TRUE(testing::writeFile(fs, root + "a", "aaa"));
    ASSERT_TRUE(testing::writeFile(fs, root + "b", "bbb"));
    ASSERT_TRUE(fs.setAttributes(root + "b", kAttributeHidden));
    EXPECT_FALSE(fs.copyFile(root + "a", root + "b", false));
    EXPECT_EQ(fs.lastError(), kErrorAccessDenied);
    EXPECT_FALSE(fs.copyFile(root + "a", root + "A\\..\\a", false));
    EXPECT_EQ(fs.lastError(), kErrorSharingViolation);
    std::string bytes;
    ASSERT_TRUE(testing::readFile(fs, root + "a", bytes));
    EXPECT_EQ(bytes, "aaa");
}

// Attributes follow Wine's convention; like Windows, a hidden or system file is not recreated as normal.
TEST_F(PosixDrives, AttributesUseWinesConventionAndWindowsRules) {
    const std::string path = root + "meta";
    ASSERT_TRUE(testing::writeFile(fs, path, "x"));
    ASSERT_TRUE(fs.setAttributes(path, kAttributeHidden | kAttributeSystem));
    EXPECT_FALSE(fs.open(path, FileAccess::Write, kShareNone, FileDisposition::CreateAlways, kAttributeNormal));
    EXPECT_EQ(fs.lastError(), kErrorAccessDenied);
    EXPECT_TRUE(fs.open(path, FileAccess::Write, kShareNone, FileDisposition::CreateAlways,
                        kAttributeHidden | kAttributeSystem));
    ASSERT_TRUE(fs.setAttributes(path, kAttributeHidden | kAttributeSystem | kAttributeReadOnly));
    std::string host;
    ASSERT_TRUE(posix.hostPath(path, host));
    char text[16] = {};
    ssize_t length = ::getxattr(host.c_str(), "user.DOSATTRIB", text, sizeof text);
    if (length >= 0) {
        EXPECT_EQ(std::string(text, static_cast<size_t>(length)), "0x6");
    }
    struct stat info {};
    ASSERT_EQ(::stat(host.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0222, 0u);
}

TEST_F(PosixDrives, LastWriteTimeIsTheModificationTimeAsAFileTime) {
    const std::string path = root + "t";
    ASSERT_TRUE(testing::writeFile(fs, path, "x"));
    std::string host;
    ASSERT_TRUE(posix.hostPath(path, host));
    const struct timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, host.c_str(), times, 0), 0);
    auto file = fs.open(path, FileAccess::Read, kShareRead, FileDisposition::OpenExisting, kAttributeNormal);
    ASSERT_TRUE(file);
    uint64_t time = 0;
    ASSERT_TRUE(file->lastWriteTime(time));
    EXPECT_EQ(time, (1700000000ULL + 11644473600ULL) * 10000000ULL + 1234567ULL);
}

// The copy inside the system moves at most the bytes asked for, from where each file stands,
// and follows a file that grows or shrinks meanwhile; between file systems it declines, moving
// nothing, and CopyFile copies all the same.
TEST_F(PosixDrives, CopyInsideTheSystemGoesChunkByChunkAndDeclinesBetweenFileSystems) {
    const std::string data = testing::patternBytes(300000, 3);
    std::string source, bytes;
    ASSERT_TRUE(testing::writeFile(fs, root + "src", data));
    ASSERT_TRUE(posix.hostPath(root + "src", source));
    auto copyOf = [&](const std::string& target, const std::vector<std::function<void()>>& between) {
        auto in = fs.open(root + "src", FileAccess::Read, kShareRead, FileDisposition::OpenExisting, kAttributeNormal);
        auto out = fs.open(target, FileAccess::Write, kShareNone, FileDisposition::CreateAlways, kAttributeNormal);
        std::vector<uint32_t> chunks;
        uint32_t copied = 0;
        while (in && out && in->copyTo(*out, 100000, copied) && copied > 0) {
            chunks.push_back(copied);
            if (chunks.size() <= between.size()) between[chunks.size() - 1]();
        }
        EXPECT_EQ(copied, 0u) << "ends at the end of the file, not at a failure";
        return chunks;
    };
    EXPECT_EQ(copyOf(root + "same", {}), (std::vector<uint32_t>{100000, 100000, 100000}));
    ASSERT_TRUE(testing::readFile(fs, root + "same", bytes));
    EXPECT_EQ(bytes, data);
    const std::string tail = testing::patternBytes(150000, 9);
    auto grow = [&] { std::ofstream(source, std::ios::app | std::ios::binary) << tail; };
    EXPECT_EQ(copyOf(root + "grown", {grow}), (std::vector<uint32_t>{100000, 100000, 100000, 100000, 50000}));
    ASSERT_TRUE(testing::readFile(fs, root + "grown", bytes));
    EXPECT_EQ(bytes, data + tail);
    EXPECT_EQ(copyOf(root + "shrunk", {[&] { ::truncate(source.c_str(), 150000); }}),
              (std::vector<uint32_t>{100000, 50000}));
    ASSERT_TRUE(testing::readFile(fs, root + "shrunk", bytes));
    EXPECT_EQ(bytes, data.substr(0, 150000));

    char memoryFolder[] = "/dev/shm/shuttle-other-fs-XXXXXX";
    struct stat here {}, there {};
    if (::mkdtemp(memoryFolder) == nullptr) GTEST_SKIP() << "no /dev/shm";
    if (::stat(memoryFolder, &there) != 0 || ::stat(source.c_str(), &here) != 0 || here.st_dev == there.st_dev) {
        ::rmdir(memoryFolder);
        GTEST_SKIP() << "/dev/shm is on the drives' own file system";
    }
    posix.mapDrive('S', memoryFolder);
    auto in = fs.open(root + "src", FileAccess::Read, kShareRead, FileDisposition::OpenExisting, kAttributeNormal);
    auto out = fs.open("S:\\copy", FileAccess::Write, kShareNone, FileDisposition::CreateAlways, kAttributeNormal);
    uint32_t copied = 7;
    EXPECT_FALSE(in && out && in->copyTo(*out, 100000, copied));
    EXPECT_EQ(fs.lastError(), kErrorNotSupported);
    EXPECT_EQ(copied, 0u);
    char first[3] = {};
    uint32_t got = 0;
    EXPECT_TRUE(in && in->read(first, 3, got) && std::string(first, 3) == data.substr(0, 3)) << "nothing was taken";
    EXPECT_TRUE(fs.copyFile(root + "src", "S:\\whole", false));
    ASSERT_TRUE(testing::readFile(fs, "S:\\whole", bytes));
    EXPECT_EQ(bytes, data.substr(0, 150000));
    std::filesystem::remove_all(memoryFolder);
}

TEST_F(PosixDrives, DriveRootIsListedWithoutDotsAndNeverRemoved) {
    ASSERT_TRUE(testing::writeFile(fs, root + "only", "x"));
    FindEntry entry;
    auto listing = fs.findFirst(root + "*", entry);
    ASSERT_TRUE(listing);
    EXPECT_EQ(entry.name, "only");
    EXPECT_FALSE(listing->next(entry));
    ASSERT_TRUE(fs.deleteFile(root + "only"));
    EXPECT_FALSE(fs.findFirst(root + "*", entry));
    EXPECT_EQ(fs.lastError(), kErrorFileNotFound);
    EXPECT_FALSE(fs.removeDirectory(root));
    EXPECT_TRUE(testing::isFolderAt(fs, root));
}

}  // namespace
}  // namespace shuttle
