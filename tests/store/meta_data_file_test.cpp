#include <gtest/gtest.h>

#include "store/meta_data_file.h"
#include "store/store_layout.h"
#include "support/faulty_file_system.h"

namespace shuttle {
namespace {

using testing::FsOp;

constexpr uint32_t kHiddenSystem = kAttributeHidden | kAttributeSystem;
const std::string kMeta = "E:\\AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_meta";

class MetaDataFile : public testing::FaultyDrives {
protected:
    std::string root = drives.mount('E');
};

TEST_F(MetaDataFile, EveryWriteEndsHiddenAndSystemAndAFailedOneLeavesTheOldFileWhole) {
    ASSERT_TRUE(writeMetaDataFile(fs, root, "first, and longer"));
    EXPECT_EQ(trace.out(), "strFullPath=" + kMeta + "\n");
    EXPECT_EQ(content(kMeta), "first, and longer");
    EXPECT_EQ(special(kMeta), kHiddenSystem);
    ASSERT_TRUE(writeMetaDataFile(fs, root, "second"));
    EXPECT_EQ(content(kMeta), "second");
    EXPECT_EQ(special(kMeta), kHiddenSystem);
    ASSERT_TRUE(fs.setAttributes(kMeta, kHiddenSystem | kAttributeReadOnly));
    ASSERT_TRUE(writeMetaDataFile(fs, root, "third"));
    EXPECT_EQ(content(kMeta), "third");
    EXPECT_EQ(special(kMeta), kHiddenSystem);
    EXPECT_FALSE(testing::exists(fs, metaDataTempPath(root)));
    ASSERT_TRUE(writeMetaDataFile(fs, root, "old payload"));
    const std::string temp = kMeta + ".tmp";
    struct Case {
        FsOp op;
        int nth;
        uint32_t error;
        std::string line;
    };
    for (const Case& c : std::vector<Case>{
             {FsOp::Open, 1, kErrorWriteProtect, "Cannot write META data  file: " + temp},
             {FsOp::Write, 1, kErrorDiskFull, "Failed to write all data to file: " + temp},
             {FsOp::SetAttributes, 1, kErrorAccessDenied, "Failed to set attribute for file: " + temp},
             {FsOp::MoveFile, 1, kErrorSharingViolation, "Cannot replace META data file: " + kMeta + "\t!!! Error: 32"},
         }) {
        trace.clear();
        fs.failCall(c.op, c.nth, c.error);
        EXPECT_FALSE(writeMetaDataFile(fs, root, "new payload, cut short"));
        EXPECT_EQ(trace.out(), "strFullPath=" + kMeta + "\n" + c.line + "\n");
        EXPECT_EQ(content(kMeta), "old payload") << c.line;
        EXPECT_EQ(special(kMeta), kHiddenSystem) << c.line;
    }
    // A half-written file left by an interrupted write never gets in the way of the next.
    ASSERT_TRUE(testing::writeFile(fs, temp, "half"));
    ASSERT_TRUE(fs.setAttributes(temp, kHiddenSystem | kAttributeReadOnly));
    ASSERT_TRUE(writeMetaDataFile(fs, root, "next"));
    EXPECT_EQ(content(kMeta), "next");
    trace.clear();
    ASSERT_TRUE(fs.setAttributes(kMeta, 0));
    ASSERT_TRUE(fs.deleteFile(kMeta));
    ASSERT_TRUE(fs.createDirectory(kMeta));
    EXPECT_FALSE(writeMetaDataFile(fs, root, "x"));
    EXPECT_NE(trace.out().find("Cannot replace META data file: "), std::string::npos);
}

TEST_F(MetaDataFile, ReadGivesTheWholeFileOrNothing) {
    std::string out = "untouched";
    EXPECT_FALSE(readMetaDataFile(fs, root, out));               // no file
    EXPECT_FALSE(readMetaDataFile(fs, "Q:\\", out));             // no drive
    ASSERT_TRUE(testing::writeFile(fs, root + "file", "x"));
    EXPECT_FALSE(readMetaDataFile(fs, root + "file\\", out));    // root is a file
    ASSERT_TRUE(fs.createDirectory(kMeta));
    EXPECT_FALSE(readMetaDataFile(fs, root, out));               // a folder of that name
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(trace.out(), "");
    ASSERT_TRUE(fs.removeDirectory(kMeta));
    ASSERT_TRUE(writeMetaDataFile(fs, root, std::string("a\0b\xFF", 4)));
    ASSERT_TRUE(readMetaDataFile(fs, root, out));
    EXPECT_EQ(out, std::string("a\0b\xFF", 4));
    ASSERT_TRUE(writeMetaDataFile(fs, root, ""));
    ASSERT_TRUE(readMetaDataFile(fs, root, out));
    EXPECT_EQ(out, "");
    // A file held open elsewhere is reported; a read or size that fails is quiet.
    trace.clear();
    fs.failCall(FsOp::Open, 1, kErrorSharingViolation);
    EXPECT_FALSE(readMetaDataFile(fs, root, out));
    EXPECT_EQ(trace.out(), "Cannot READ data file: " + kMeta + " !!! Error: 32\n");
    trace.clear();
    fs.failCall(FsOp::Read, 1, kErrorIoDevice);
    EXPECT_FALSE(readMetaDataFile(fs, root, out));
    fs.failCall(FsOp::Size, 1, kErrorIoDevice);
    EXPECT_FALSE(readMetaDataFile(fs, root, out));
    EXPECT_EQ(trace.out(), "");
    EXPECT_EQ(out, "");
}

TEST_F(MetaDataFile, AKnownVersionIsNotReadAgainAndAnOversizedFileIsIgnoredWithoutReadingIt) {
    ASSERT_TRUE(writeMetaDataFile(fs, root, "payload"));
    trace.clear();
    MetaDataVersion version;
    std::string out;
    ASSERT_EQ(readMetaDataFileIfChanged(fs, root, MetaDataVersion{}, version, out), MetaDataRead::Read);
    EXPECT_EQ(out, "payload");
    EXPECT_EQ(version.size, 7);
    fs.reset();
    MetaDataVersion again;
    out.clear();
    EXPECT_EQ(readMetaDataFileIfChanged(fs, root, version, again, out), MetaDataRead::Unchanged);
    EXPECT_EQ(again, version);
    EXPECT_EQ(fs.calls(FsOp::Read), 0);
    EXPECT_EQ(out, "");
    // Another size is another version; so is a version whose time could not be told.
    MetaDataVersion other = version;
    other.size = 8;
    EXPECT_EQ(readMetaDataFileIfChanged(fs, root, other, again, out), MetaDataRead::Read);
    fs.failCall(FsOp::LastWriteTime, 1, kErrorIoDevice);
    EXPECT_EQ(readMetaDataFileIfChanged(fs, root, version, again, out), MetaDataRead::Read);
    EXPECT_FALSE(again.known());
    EXPECT_EQ(trace.out(), "");
    ASSERT_TRUE(testing::writeFile(fs, kMeta, std::string(static_cast<size_t>(kMaxMetaDataFileSize) + 1, '{')));
    fs.reset();
    EXPECT_FALSE(readMetaDataFile(fs, root, out));
    EXPECT_EQ(fs.calls(FsOp::Read), 0);
    EXPECT_EQ(trace.out(), "META data file " + kMeta + " is too large: 16777217 bytes (max 16777216 bytes), ignored\n");
    // Its version is known all the same, so that a poll can leave it alone from then on.
    EXPECT_EQ(readMetaDataFileIfChanged(fs, root, MetaDataVersion{}, version, out), MetaDataRead::Nothing);
    EXPECT_EQ(version.size, kMaxMetaDataFileSize + 1);
    trace.clear();
    EXPECT_EQ(readMetaDataFileIfChanged(fs, root, version, again, out), MetaDataRead::Unchanged);
    EXPECT_EQ(trace.out(), "");
    ASSERT_TRUE(testing::writeFile(fs, kMeta, std::string(static_cast<size_t>(kMaxMetaDataFileSize), '{')));
    EXPECT_TRUE(readMetaDataFile(fs, root, out));
    EXPECT_EQ(out.size(), static_cast<size_t>(kMaxMetaDataFileSize));
}

TEST(StoreLayout, DriveLetterAndLeafNames) {
    // The drive letter is the third character from the end.
    EXPECT_EQ(storeDriveLetter(u"Generic Flash Disk (E:)"), 'E');
    EXPECT_EQ(storeDriveLetter(u"(z:)"), 'z');
    EXPECT_EQ(storeDriveLetter(u"E:)"), 'E');
    EXPECT_EQ(storeDriveLetter(u":)"), 0);
    EXPECT_EQ(storeDriveLetter(u""), 0);
    EXPECT_EQ(storeDriveLetter(u"Disk (1:)"), 0);
    EXPECT_EQ(storeDriveLetter(u"Disk (\u0145:)"), 0);  // its low byte is 'E', but it is no ASCII letter
    // A leaf name is what follows the last backslash.
    EXPECT_EQ(leafName(std::string("C:\\a\\b.txt")), "b.txt");
    EXPECT_EQ(leafName(std::string("plain")), "plain");
    EXPECT_EQ(leafName(std::string("D:\\")), "");
    EXPECT_EQ(leafName(std::u16string(u"C:\\x\\\u00e9")), u"\u00e9");
}

}  // namespace
}  // namespace shuttle
