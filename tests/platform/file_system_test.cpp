// The file system seam keeps the Windows rules the store relies on, on every platform.
#include <gtest/gtest.h>

#include <map>

#include "support/test_drives.h"

namespace shuttle {
namespace {

using testing::TestDrives;

class FileSystemSeam : public ::testing::Test {
protected:
    TestDrives drives;
    FileSystem& fs = drives.fs();
    std::string root = drives.mount('E');
};

TEST_F(FileSystemSeam, ErrorsComeBackAsWin32Codes) {
    EXPECT_FALSE(fs.open(root + "missing.txt", FileAccess::Read, kShareRead, FileDisposition::OpenExisting,
                         kAttributeNormal));
    EXPECT_EQ(fs.lastError(), kErrorFileNotFound);
    EXPECT_EQ(fs.attributes(root + "no\\such.txt"), kInvalidAttributes);
    EXPECT_EQ(fs.lastError(), kErrorPathNotFound);
    EXPECT_FALSE(fs.deleteFile(root + "missing.txt"));
    EXPECT_EQ(fs.lastError(), kErrorFileNotFound);

    ASSERT_TRUE(fs.createDirectory(root + "d"));
    EXPECT_FALSE(fs.createDirectory(root + "d"));
    EXPECT_EQ(fs.lastError(), kErrorAlreadyExists);
    EXPECT_FALSE(fs.createDirectory(root + "x\\y"));
    EXPECT_EQ(fs.lastError(), kErrorPathNotFound);

    ASSERT_TRUE(testing::writeFile(fs, root + "d\\f.txt", "x"));
    EXPECT_FALSE(fs.removeDirectory(root + "d"));
    EXPECT_EQ(fs.lastError(), kErrorDirNotEmpty);
    EXPECT_FALSE(fs.deleteFile(root + "d"));
    EXPECT_EQ(fs.lastError(), kErrorAccessDenied);
    EXPECT_FALSE(fs.open(root + "d", FileAccess::Read, kShareRead, FileDisposition::OpenExisting, kAttributeNormal));
    EXPECT_EQ(fs.lastError(), kErrorAccessDenied);
}

TEST_F(FileSystemSeam, AttributesAreKeptAndAReadOnlyFileCannotBeDeletedOrRewritten) {
    const std::string path = root + "ro.txt";
    ASSERT_TRUE(testing::writeFile(fs, path, "keep"));
    EXPECT_EQ(fs.attributes(path) & (kAttributeHidden | kAttributeSystem | kAttributeReadOnly), 0u);
    ASSERT_TRUE(fs.setAttributes(path, kAttributeHidden | kAttributeSystem));
    EXPECT_EQ(fs.attributes(path) & (kAttributeHidden | kAttributeSystem), kAttributeHidden | kAttributeSystem);
    EXPECT_TRUE(fs.attributes(root) & kAttributeDirectory);
    ASSERT_TRUE(fs.setAttributes(path, kAttributeReadOnly));  // hidden and system cleared
    EXPECT_EQ(fs.attributes(path) & (kAttributeHidden | kAttributeSystem | kAttributeReadOnly), kAttributeReadOnly);

    if (testing::readOnlyIsEnforced()) {
        EXPECT_FALSE(fs.open(path, FileAccess::Write, kShareNone, FileDisposition::CreateAlways, kAttributeNormal));
        EXPECT_EQ(fs.lastError(), kErrorAccessDenied);
        EXPECT_FALSE(fs.deleteFile(path));
        EXPECT_EQ(fs.lastError(), kErrorAccessDenied);
    }
    std::string bytes;
    ASSERT_TRUE(testing::readFile(fs, path, bytes));
    EXPECT_EQ(bytes, "keep");

    ASSERT_TRUE(fs.setAttributes(path, kAttributeNormal));
    EXPECT_TRUE(fs.deleteFile(path));
}

TEST_F(FileSystemSeam, CopyKeepsContentAndAttributes) {
    const std::string bytes = testing::patternBytes(200000, 3);
    ASSERT_TRUE(testing::writeFile(fs, root + "a.bin", bytes));
    ASSERT_TRUE(fs.setAttributes(root + "a.bin", kAttributeHidden));
    ASSERT_TRUE(fs.copyFile(root + "a.bin", root + "b.bin", false));
    std::string copied;
    ASSERT_TRUE(testing::readFile(fs, root + "b.bin", copied));
    EXPECT_EQ(copied, bytes);
    EXPECT_TRUE(fs.attributes(root + "b.bin") & kAttributeHidden);

    ASSERT_TRUE(testing::writeFile(fs, root + "c.bin", "old"));
    EXPECT_FALSE(fs.copyFile(root + "a.bin", root + "c.bin", true));
    EXPECT_TRUE(fs.copyFile(root + "a.bin", root + "c.bin", false));
    ASSERT_TRUE(testing::readFile(fs, root + "c.bin", copied));
    EXPECT_EQ(copied, bytes);
}

TEST_F(FileSystemSeam, ListingGivesEveryEntryWithSizeAndKind) {
    ASSERT_TRUE(fs.createDirectory(root + "top"));
    ASSERT_TRUE(fs.createDirectory(root + "top\\sub"));
    ASSERT_TRUE(testing::writeFile(fs, root + "top\\\xC3\xA9t\xC3\xA9.txt", "12345"));
    FindEntry entry;
    auto listing = fs.findFirst(root + "top\\*", entry);
    ASSERT_TRUE(listing);
    std::map<std::string, FindEntry> seen;
    do {
        seen[entry.name] = entry;
    } while (listing->next(entry));
    EXPECT_EQ(fs.lastError(), kErrorNoMoreFiles);
    EXPECT_EQ(seen.size(), 4u);  // ".", "..", "sub", "été.txt"
    EXPECT_TRUE(seen["sub"].isDirectory());
    EXPECT_FALSE(seen["\xC3\xA9t\xC3\xA9.txt"].isDirectory());
    EXPECT_EQ(seen["\xC3\xA9t\xC3\xA9.txt"].size, 5u);
    EXPECT_TRUE(seen["."].isDotOrDotDot());

    EXPECT_FALSE(fs.findFirst(root + "nothing\\*", entry));
    EXPECT_EQ(fs.lastError(), kErrorPathNotFound);
}

TEST_F(FileSystemSeam, PathsBeyondMaxPathWork) {
    std::string folder = root;
    for (int level = 0; level < 4; ++level) {
        folder += std::string(90, char('a' + level)) + "\\";
        ASSERT_TRUE(fs.createDirectory(folder)) << folder.size();
    }
    const std::string file = folder + "deep.txt";
    ASSERT_GT(file.size(), 360u);
    ASSERT_TRUE(testing::writeFile(fs, file, "deep"));
    ASSERT_TRUE(fs.copyFile(file, folder + "copy.txt", true));
    std::string bytes;
    ASSERT_TRUE(testing::readFile(fs, folder + "copy.txt", bytes));
    EXPECT_EQ(bytes, "deep");
    EXPECT_EQ(testing::namesIn(fs, folder), (std::vector<std::string>{"copy.txt", "deep.txt"}));
    testing::wipeTree(fs, root + std::string(90, 'a'));
    EXPECT_EQ(fs.attributes(root + std::string(90, 'a')), kInvalidAttributes);
}

TEST_F(FileSystemSeam, LastWriteTimeStaysUntilTheFileIsWritten) {
    ASSERT_TRUE(testing::writeFile(fs, root + "t.bin", "first"));
    auto stamp = [&] {
        uint64_t time = 0;
        auto file = fs.open(root + "t.bin", FileAccess::Read, kShareRead, FileDisposition::OpenExisting, kAttributeNormal);
        EXPECT_TRUE(file && file->lastWriteTime(time));
        return time;
    };
    const uint64_t first = stamp();
    EXPECT_GT(first, 116444736000000000ULL) << "a FILETIME after 1970";
    std::string bytes;
    ASSERT_TRUE(testing::readFile(fs, root + "t.bin", bytes));
    EXPECT_EQ(stamp(), first) << "reading changes nothing";
}

TEST_F(FileSystemSeam, ReadStopsAtTheEndOfTheFile) {
    ASSERT_TRUE(testing::writeFile(fs, root + "r.bin", std::string(100, 'r')));
    auto file = fs.open(root + "r.bin", FileAccess::Read, kShareRead, FileDisposition::OpenExisting, kAttributeNormal);
    ASSERT_TRUE(file);
    char buffer[64];
    for (uint32_t expected : {64u, 36u, 0u}) {
        uint32_t got = 0;
        ASSERT_TRUE(file->read(buffer, sizeof buffer, got));
        EXPECT_EQ(got, expected);
    }
}

}  // namespace
}  // namespace shuttle
