// The POSIX side of the seam: drive table, path rules and the Windows checks Wine cannot show.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <gtest/gtest.h>

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
