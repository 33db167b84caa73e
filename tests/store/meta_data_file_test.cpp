#include <gtest/gtest.h>

#include "store/meta_data_file.h"
#include "store/store_layout.h"
#include "support/faulty_file_system.h"
#include "support/test_drives.h"
#include "support/trace_capture.h"

namespace shuttle {
namespace {

using testing::FsOp;

constexpr uint32_t kHiddenSystem = kAttributeHidden | kAttributeSystem;
const std::string kMeta = "E:\\AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_meta";

class MetaDataFile : public ::testing::Test {
protected:
    testing::TestDrives drives;
    testing::FaultyFileSystem fs{drives.fs()};
    std::string root = drives.mount('E');
    testing::TraceCapture trace;

    uint32_t special() { return fs.attributes(kMeta) & (kHiddenSystem | kAttributeReadOnly); }
    std::string content() {
        std::string bytes;
        EXPECT_TRUE(testing::readFile(fs, kMeta, bytes));
        return bytes;
    }
};

TEST_F(MetaDataFile, WriteLeavesTheBytesHiddenAndSystem) {
    ASSERT_TRUE(writeMetaDataFile(fs, root, "{\"GUID\":\"1\"}"));
    EXPECT_EQ(trace.out(), "strFullPath=" + kMeta + "\n");
    EXPECT_EQ(content(), "{\"GUID\":\"1\"}");
    EXPECT_EQ(special(), kHiddenSystem);
}

TEST_F(MetaDataFile, EveryRewriteEndsHiddenAndSystemAgain) {
    ASSERT_TRUE(writeMetaDataFile(fs, root, "first, and longer"));
    ASSERT_TRUE(writeMetaDataFile(fs, root, "second"));
    EXPECT_EQ(content(), "second");
    EXPECT_EQ(special(), kHiddenSystem);

    ASSERT_TRUE(fs.setAttributes(kMeta, kHiddenSystem | kAttributeReadOnly));
    ASSERT_TRUE(writeMetaDataFile(fs, root, "third"));
    EXPECT_EQ(content(), "third");
    EXPECT_EQ(special(), kHiddenSystem);
    EXPECT_EQ(fs.calls(FsOp::SetAttributes), 6);  // reset (if any) and final attributes, per write
}

TEST_F(MetaDataFile, WriteFailuresAreReported) {
    fs.failCall(FsOp::Open, 1, kErrorWriteProtect);
    EXPECT_FALSE(writeMetaDataFile(fs, root, "x"));
    EXPECT_EQ(trace.out(), "strFullPath=" + kMeta + "\nCannot write META data  file: " + kMeta + "\n");

    trace.clear();
    fs.failCall(FsOp::Write, 1, kErrorDiskFull);
    EXPECT_FALSE(writeMetaDataFile(fs, root, "x"));
    EXPECT_EQ(trace.out(), "strFullPath=" + kMeta + "\nFailed to write all data to file: " + kMeta + "\n");

    trace.clear();
    fs.failCall(FsOp::SetAttributes, 2, kErrorAccessDenied);  // after the reset of the earlier file
    EXPECT_FALSE(writeMetaDataFile(fs, root, "x"));
    EXPECT_EQ(trace.out(), "strFullPath=" + kMeta + "\nFailed to set attribute for file: " + kMeta + "\n");

    trace.clear();
    ASSERT_TRUE(fs.deleteFile(kMeta));
    ASSERT_TRUE(fs.createDirectory(kMeta));
    EXPECT_FALSE(writeMetaDataFile(fs, root, "x"));
    EXPECT_NE(trace.out().find("Cannot write META data  file: "), std::string::npos);
}

TEST_F(MetaDataFile, ReadGivesTheWholeFile) {
    ASSERT_TRUE(writeMetaDataFile(fs, root, std::string("a\0b\xFF", 4)));
    std::string out;
    ASSERT_TRUE(readMetaDataFile(fs, root, out));
    EXPECT_EQ(out, std::string("a\0b\xFF", 4));

    ASSERT_TRUE(writeMetaDataFile(fs, root, ""));
    ASSERT_TRUE(readMetaDataFile(fs, root, out));
    EXPECT_EQ(out, "");
}

TEST_F(MetaDataFile, NothingToReadIsSilent) {
    std::string out = "untouched";
    EXPECT_FALSE(readMetaDataFile(fs, root, out));               // no file
    EXPECT_FALSE(readMetaDataFile(fs, "Q:\\", out));             // no drive
    ASSERT_TRUE(testing::writeFile(fs, root + "file", "x"));
    EXPECT_FALSE(readMetaDataFile(fs, root + "file\\", out));    // root is a file
    ASSERT_TRUE(fs.createDirectory(kMeta));
    EXPECT_FALSE(readMetaDataFile(fs, root, out));               // a folder of that name
    EXPECT_EQ(out, "untouched");
    EXPECT_EQ(trace.out(), "");
}

TEST_F(MetaDataFile, ReadFailuresAreReportedOrQuiet) {
    ASSERT_TRUE(writeMetaDataFile(fs, root, "payload"));
    trace.clear();
    std::string out;
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

TEST_F(MetaDataFile, OversizedFileIsIgnoredWithoutReadingIt) {
    ASSERT_TRUE(testing::writeFile(fs, kMeta, std::string(static_cast<size_t>(kMaxMetaDataFileSize) + 1, '{')));
    std::string out;
    EXPECT_FALSE(readMetaDataFile(fs, root, out));
    EXPECT_EQ(fs.calls(FsOp::Read), 0);
    EXPECT_EQ(trace.out(), "META data file " + kMeta + " is too large: 16777217 bytes (max 16777216 bytes), ignored\n");

    ASSERT_TRUE(testing::writeFile(fs, kMeta, std::string(static_cast<size_t>(kMaxMetaDataFileSize), '{')));
    EXPECT_TRUE(readMetaDataFile(fs, root, out));
    EXPECT_EQ(out.size(), static_cast<size_t>(kMaxMetaDataFileSize));
}

}  // namespace
}  // namespace shuttle
