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
    // The call failed and left `code` as the last error.
    template <class Result>
    ::testing::AssertionResult failsWith(const Result& result, uint32_t code) {
        if (static_cast<bool>(result)) return ::testing::AssertionFailure() << "succeeded";
        const uint32_t error = fs.lastError();
        if (error != code) return ::testing::AssertionFailure() << "error " << error << ", not " << code;
        return ::testing::AssertionSuccess();
    }
    std::unique_ptr<OpenFile> openToRead(const std::string& path) {
        return fs.open(path, FileAccess::Read, kShareRead, FileDisposition::OpenExisting, kAttributeNormal);
    }
};

TEST_F(FileSystemSeam, ErrorsComeBackAsWin32Codes) {
    EXPECT_TRUE(failsWith(openToRead(root + "missing.txt"), kErrorFileNotFound));
    EXPECT_TRUE(failsWith(fs.attributes(root + "no\\such.txt") != kInvalidAttributes, kErrorPathNotFound));
    EXPECT_TRUE(failsWith(fs.deleteFile(root + "missing.txt"), kErrorFileNotFound));
    ASSERT_TRUE(fs.createDirectory(root + "d"));
    EXPECT_TRUE(failsWith(fs.createDirectory(root + "d"), kErrorAlreadyExists));
    EXPECT_TRUE(failsWith(fs.createDirectory(root + "x\\y"), kErrorPathNotFound));
    ASSERT_TRUE(testing::writeFile(fs, root + "d\\f.txt", "x"));
    EXPECT_TRUE(failsWith(fs.removeDirectory(root + "d"), kErrorDirNotEmpty));
    EXPECT_TRUE(failsWith(fs.deleteFile(root + "d"), kErrorAccessDenied));
    EXPECT_TRUE(failsWith(openToRead(root + "d"), kErrorAccessDenied));
}

TEST_F(FileSystemSeam, AttributesAreKeptAndCopiedAndAReadOnlyFileCannotBeDeletedOrRewritten) {
    const std::string path = root + "ro.txt";
    ASSERT_TRUE(testing::writeFile(fs, path, "keep"));
    EXPECT_EQ(fs.attributes(path) & (kAttributeHidden | kAttributeSystem | kAttributeReadOnly), 0u);
    ASSERT_TRUE(fs.setAttributes(path, kAttributeHidden | kAttributeSystem));
    EXPECT_EQ(fs.attributes(path) & (kAttributeHidden | kAttributeSystem), kAttributeHidden | kAttributeSystem);
    EXPECT_TRUE(fs.attributes(root) & kAttributeDirectory);
    ASSERT_TRUE(fs.setAttributes(path, kAttributeReadOnly));  // hidden and system cleared
    EXPECT_EQ(fs.attributes(path) & (kAttributeHidden | kAttributeSystem | kAttributeReadOnly), kAttributeReadOnly);
    if (testing::readOnlyIsEnforced()) {
        auto rewrite = fs.open(path, FileAccess::Write, kShareNone, FileDisposition::CreateAlways, kAttributeNormal);
        EXPECT_TRUE(failsWith(rewrite, kErrorAccessDenied));
        EXPECT_TRUE(failsWith(fs.deleteFile(path), kErrorAccessDenied));
    }
    std::string bytes;
    ASSERT_TRUE(testing::readFile(fs, path, bytes));
    EXPECT_EQ(bytes, "keep");
    ASSERT_TRUE(fs.setAttributes(path, kAttributeNormal));
    EXPECT_TRUE(fs.deleteFile(path));
    // A copy keeps content and attributes.
    bytes = testing::patternBytes(200000, 3);
    ASSERT_TRUE(testing::writeFile(fs, root + "a.bin", bytes));
    ASSERT_TRUE(fs.setAttributes(root + "a.bin", kAttributeHidden));
    ASSERT_TRUE(fs.copyFile(root + "a.bin", root + "b.bin", false));
    std::string copied;
    ASSERT_TRUE(testing::readFile(fs, root + "b.bin", copied));
    EXPECT_EQ(copied, bytes);
    EXPECT_TRUE(fs.attributes(root + "b.bin") & kAttributeHidden);
    ASSERT_TRUE(testing::writeFile(fs, root + "c.bin", "old"));
    EXPECT_FALSE(fs.copyFile(root + "a.bin", root + "c.bin", true));
    ASSERT_TRUE(fs.copyFile(root + "a.bin", root + "c.bin", false));
    ASSERT_TRUE(testing::readFile(fs, root + "c.bin", copied));
    EXPECT_EQ(copied, bytes);
}

TEST_F(FileSystemSeam, ListingGivesEveryEntryWithSizeAndKindAndPathsBeyondMaxPathWork) {
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
    EXPECT_TRUE(failsWith(fs.findFirst(root + "nothing\\*", entry), kErrorPathNotFound));
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
        auto file = openToRead(root + "t.bin");
        EXPECT_TRUE(file && file->lastWriteTime(time));
        return time;
    };
    const uint64_t first = stamp();
    EXPECT_GT(first, 116444736000000000ULL) << "a FILETIME after 1970";
    std::string bytes;
    ASSERT_TRUE(testing::readFile(fs, root + "t.bin", bytes));
    EXPECT_EQ(stamp(), first) << "reading changes nothing";
}

}  // namespace
}  // namespace shuttle
