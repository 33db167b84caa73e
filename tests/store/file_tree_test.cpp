#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "base/utf8.h"
#include "store/file_tree.h"
#include "store/tree_copy.h"
#include "support/faulty_file_system.h"
#include "support/manual_clock.h"

namespace shuttle {
namespace {

using testing::FsOp;

class FileTree : public testing::FaultyDrives {
protected:
    std::string src = drives.mount('C');
    std::string dst = drives.mount('E');
    testing::ManualClock clock;
    CopyBuffer buffer;
    CopyRun run = smallChunks();
    // Chunks of one size whether the system copies them or this process reads and writes them.
    CopyRun smallChunks() {
        CopyRun chunked{fs, buffer, {}, nullptr};
        chunked.systemChunkSize = kCopyChunkSize;
        return chunked;
    }
};

// Every file at every depth, once; past the budget the count stops.
TEST_F(FileTree, DirectorySizeCountsTheWholeTree) {
    folder(src + "d");
    file(src + "d\\a", std::string(10, 'a'));
    file(src + "d\\b", std::string(32, 'b'));
    folder(src + "d\\sub");
    folder(src + "d\\sub\\x");
    folder(src + "d\\empty");
    file(src + "d\\sub\\x\\deep", std::string(1000, 'c'));
    EXPECT_EQ(getDirectorySize(fs, "C:\\d"), 1042u);
    EXPECT_EQ(getDirectorySize(fs, "C:\\d\\"), 1042u);
    EXPECT_EQ(getDirectorySize(fs, "C:\\d\\empty"), 0u);
    const uint64_t cut = getDirectorySize(fs, "C:\\d", 41);
    EXPECT_GT(cut, 41u);
    EXPECT_LE(cut, 1042u);
    EXPECT_EQ(trace.out() + trace.err(), "");
    EXPECT_EQ(getDirectorySize(fs, "C:\\missing"), 0u);
    EXPECT_EQ(trace.out(), "Error finding files in directory: C:\\missing with error code 3\n");
    fs.failCall(FsOp::FindNext, 1, kErrorIoDevice);  // a listing that breaks off
    getDirectorySize(fs, "C:\\d");
    EXPECT_EQ(trace.err(), "Error finding files in directory: \nError code :1117\n");
}

constexpr uint32_t kSomeError = 0xFFFFFFFF;

// A path's size, or why there is none; a locked file is tried once more 400 ms later.
TEST_F(FileTree, PathSizeOfFilesFoldersAndMissingOrLockedPaths) {
    file(src + "f.bin", std::string(1234, 'f'));
    folder(src + "d");
    file(src + "d\\x", std::string(7, 'x'));
    struct Case {
        std::u16string path;
        FsOp op;
        int faults;
        uint32_t error;  // 0: the size is found; kSomeError: a failure whose code the platform picks
        uint64_t size, waitedMs;
        std::string err;
    };
    for (const Case& c : std::vector<Case>{
             {u"C:\\f.bin", FsOp::Open, 0, 0, 1234, 0, ""},
             {u"\\C:\\f.bin", FsOp::Open, 0, 0, 1234, 0, ""},  // one leading "\" is dropped
             {u"C:\\d", FsOp::Open, 0, 0, 7, 0, ""},
             {u"\\\\C:\\f.bin", FsOp::Open, 0, kSomeError, 0, 0, ""},
             {u"C:\\gone.txt", FsOp::Open, 0, kErrorFileNotFound, 0, 0, ""},
             {std::u16string(u"C:\\bad") + char16_t(0xDC00), FsOp::Open, 0, kErrorInvalidName, 0, 0, ""},
             {u"C:\\f.bin", FsOp::Open, 1, 0, 1234, 400, ""},
             {u"C:\\f.bin", FsOp::Open, 2, kErrorSharingViolation, 0, 400, "Error opening file: 32\n"},
             {u"C:\\f.bin", FsOp::Size, 1, kErrorIoDevice, 0, 0, "Error getting file size: 1117\n"},
         }) {
        trace.clear();
        fs.reset();
        if (c.faults > 0) fs.failCall(c.op, 1, c.op == FsOp::Size ? kErrorIoDevice : kErrorSharingViolation, c.faults);
        const uint64_t before = clock.tickMs();
        uint64_t size = 0;
        uint32_t error = 0;
        EXPECT_EQ(getPathSize(fs, clock, c.path, size, error), c.error == 0) << toUtf8(c.path);
        if (c.error == 0) {
            EXPECT_EQ(size, c.size) << toUtf8(c.path);
        } else if (c.error != kSomeError) {
            EXPECT_EQ(error, c.error) << toUtf8(c.path);
        }
        EXPECT_EQ(clock.tickMs() - before, c.waitedMs);
        EXPECT_EQ(trace.out() + trace.err(), c.err);
    }
}

TEST_F(FileTree, RemovalTakesReadOnlyTreesWholeAndGoesOnPastAnItemThatStays) {
    const std::string top = dst + "\xD0\xBF\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0";  // папка
    const std::string inner = top + "\\\xE6\x96\x87\xE4\xBB\xB6";                  // 文件
    folder(top);
    folder(inner);
    file(inner + "\\\xC3\xA9.txt", "x");
    file(top + "\\plain.txt", "y");
    ASSERT_TRUE(fs.setAttributes(inner + "\\\xC3\xA9.txt", kAttributeReadOnly | kAttributeHidden));
    ASSERT_TRUE(fs.setAttributes(inner, kAttributeReadOnly));
    ASSERT_TRUE(fs.setAttributes(top, kAttributeReadOnly));
    EXPECT_TRUE(removeDirectoryRecursively(fs, top));
    EXPECT_FALSE(testing::exists(fs, top));
    EXPECT_TRUE(removeDirectoryRecursively(fs, top));  // gone already
    EXPECT_EQ(trace.out(), "");
    const std::string store = dst + "store";
    folder(store);
    folder(store + "\\sub");
    for (int i = 0; i < 5; ++i) file(store + "\\sub\\f" + std::to_string(i), "data");
    file(store + "\\after", "x");
    fs.failCall(FsOp::DeleteFile, 3, kErrorSharingViolation);  // held open by the other computer
    FailedItem failed;
    EXPECT_FALSE(removeDirectoryRecursively(fs, store, &failed));
    EXPECT_EQ(failed.error, kErrorSharingViolation);
    // Only the locked file and the folders above it stay.
    ASSERT_EQ(testing::namesIn(fs, store), std::vector<std::string>{"sub"});
    const std::vector<std::string> left = testing::namesIn(fs, store + "\\sub");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(failed.path, store + "\\sub\\" + left[0]);
    EXPECT_EQ(trace.out(), "Cannot remove " + failed.path + "\t!!! Error: 32\n");
    fs.reset();
    EXPECT_TRUE(removeDirectoryRecursively(fs, store));  // once the file is free, it all goes
    EXPECT_FALSE(testing::exists(fs, store));
}

TEST_F(FileTree, ReadOnlyResetClearsEverySpecialAttribute) {
    file(dst + "m", "x");
    ASSERT_TRUE(fs.setAttributes(dst + "m", kAttributeHidden | kAttributeSystem | kAttributeReadOnly));
    EXPECT_TRUE(removeReadOnlyAttribute(fs, dst + "m"));
    EXPECT_EQ(special(dst + "m"), 0u);
    folder(dst + "d");
    ASSERT_TRUE(fs.setAttributes(dst + "d", kAttributeHidden));
    EXPECT_TRUE(removeReadOnlyAttribute(fs, dst + "d"));
    EXPECT_TRUE(fs.attributes(dst + "d") & kAttributeHidden);
    EXPECT_EQ(trace.out(), "");
    EXPECT_FALSE(removeReadOnlyAttribute(fs, dst + "missing"));
    EXPECT_EQ(trace.out(), "Failed to get file attributes. \n");
    trace.clear();
    fs.failCall(FsOp::SetAttributes, 1, kErrorAccessDenied);
    EXPECT_FALSE(removeReadOnlyAttribute(fs, dst + "m"));
    EXPECT_EQ(trace.out(), "Failed to remove read-only attribute.\n");
}

// Up to 65,792 bytes the platform copy (keeping attributes but read-only); larger ones streamed
// chunk by chunk, normal: inside the system where it can, else read and written (the 2nd pass),
// also when the system gives up after a chunk (the 3rd).
TEST_F(FileTree, SmallFilesGoThroughThePlatformCopyAndLargerOnesAreStreamed) {
    const uint64_t chunk = kCopyChunkSize;
    std::vector<uint64_t> pieces;
    run.copied = [&](uint64_t bytes) { pieces.push_back(bytes); };
    for (uint64_t size : {uint64_t(0), uint64_t(1), chunk, chunk + 1, chunk * 3 + 5}) {
        const bool small = size <= chunk;
        std::vector<uint64_t> told = small ? std::vector<uint64_t>{size} : std::vector<uint64_t>(size / chunk, chunk);
        if (!small && size % chunk != 0) told.push_back(size % chunk);
        for (int pass = 0; pass < 3; ++pass) {
            const std::string name = "f" + std::to_string(size) + "_" + std::to_string(pass);
            file(src + name, testing::patternBytes(size, pass));
            ASSERT_TRUE(fs.setAttributes(src + name, kAttributeHidden | kAttributeReadOnly));
            fs.reset();
            if (pass > 0) fs.failCall(FsOp::CopyTo, pass, kErrorNotSupported);
            pieces.clear();
            EXPECT_FALSE(copyFileTo(run, src + name, dst + name).failed());
            EXPECT_EQ(fs.calls(FsOp::CopyFile), small ? 1 : 0) << size;
            EXPECT_EQ(pieces, told) << size;
            EXPECT_EQ(content(dst + name), testing::patternBytes(size, pass)) << size << " " << pass;
            EXPECT_EQ(special(dst + name), small ? kAttributeHidden : 0u) << size;
        }
    }
    EXPECT_EQ(trace.out(), "");
}

// One fault at a time: each failure names its item and code, and prints its line.
TEST_F(FileTree, EveryCopyFailureNamesItsItemAndPrintsItsLine) {
    file(src + "a.txt", "abc");
    file(src + "big", testing::patternBytes(kCopyChunkSize * 2 + 10));
    folder(src + "d");
    file(src + "d\\a", "a");
    file(src + "d\\b", "b");
    struct Case {
        const char* item;
        FsOp op;
        int nth;  // 0: no fault injected
        uint32_t error;
        std::string line;
    };
    for (const Case& c : std::vector<Case>{
             {"missing.txt", FsOp::Open, 0, kErrorFileNotFound, "Cannot open file: C:\\missing.txt\t!!! Error: 2\n"},
             {"a.txt", FsOp::Size, 1, kErrorIoDevice, "Cannot get file size for C:\\a.txt\t!!! Error: 1117\n"},
             {"big", FsOp::CopyTo, 1, kErrorDiskFull, "Failed to copy C:\\big to E:\\big\t!!! Error: 112\n"},
             {"big", FsOp::Read, 2, kErrorIoDevice, "Failed to read from soutce file: C:\\big\t!!! Error: 1117\n"},
             {"big", FsOp::Write, 2, kErrorDiskFull, "Failed to write to target file: E:\\big\n"},
             {"big", FsOp::Open, 2, kErrorSharingViolation, "Failed to open source file C:\\big\t!!! Error: 32\n"},
             {"big", FsOp::Open, 3, kErrorAccessDenied, "Failed to open target file E:\\big\t!!! Error: 5\n"},
             {"d", FsOp::CreateDirectory, 1, kErrorAccessDenied, "Failed to create directory:  = E:\\d\n"},
             {"d", FsOp::FindFirst, 1, kErrorAccessDenied, "Failed to open directory:  = C:\\d\n"},
             {"d", FsOp::FindNext, 1, kErrorIoDevice, "Listing C:\\d broke off\t!!! Error: 1117\n"},
         }) {
        trace.clear();
        fs.reset();
        if (c.nth > 0) fs.failCall(c.op, c.nth, c.error);
        if (c.op == FsOp::Read || c.op == FsOp::Write) fs.failCall(FsOp::CopyTo, 1, kErrorNotSupported);
        const std::string item = src + c.item;
        const FailedItem failed = std::string(c.item) == "d" ? copyDirectoryTo(run, item, dst + c.item)
                                                             : copyFileTo(run, item, dst + c.item);
        EXPECT_EQ(failed.path, item) << c.line;
        EXPECT_EQ(failed.error, c.error) << c.line;
        EXPECT_EQ(trace.out(), c.line);
    }
    trace.clear();
    fs.failCall(FsOp::CopyFile, 1, kErrorDiskFull);
    EXPECT_EQ(copyFileTo(run, src + "a.txt", dst + "a.txt").error, kErrorDiskFull);
    EXPECT_EQ(trace.out(), "Cannot copy file C:\\a.txt\t!!! Error: 112\n");
}

// Every piece written is told, nothing that failed; a cancel ends a copy before its next chunk or file.
TEST_F(FileTree, CopiesTellEveryPieceWrittenAndStopAtACancel) {
    std::vector<uint64_t> pieces;
    run.copied = [&](uint64_t bytes) { pieces.push_back(bytes); };
    folder(src + "d");
    folder(src + "d\\inner");
    file(src + "d\\small", "12345");
    file(src + "d\\inner\\large", testing::patternBytes(kCopyChunkSize * 2 + 7));
    file(src + "single", "abc");
    copyItemTo(run, src + "d", dst + "d");
    copyItemTo(run, src + "single", dst + "single");
    std::sort(pieces.begin(), pieces.end());  // the order of a folder listing is the platform's
    EXPECT_EQ(pieces, (std::vector<uint64_t>{3, 5, 7, kCopyChunkSize, kCopyChunkSize}));
    for (const auto& [failing, nth] : {std::pair{FsOp::CopyTo, 1}, std::pair{FsOp::Write, 2}}) {
        pieces.clear();
        fs.reset();
        if (failing == FsOp::Write) fs.failCall(FsOp::CopyTo, 1, kErrorNotSupported);
        fs.failCall(failing, nth, kErrorDiskFull);
        EXPECT_EQ(copyItemTo(run, src + "d\\inner\\large", dst + "large").error, kErrorDiskFull);
        EXPECT_EQ(pieces, std::vector<uint64_t>(nth - 1, kCopyChunkSize)) << "the chunks written before the failure only";
    }
    Wakeup cancel;
    run.cancel = &cancel;
    run.copied = [&](uint64_t bytes) {
        pieces.push_back(bytes);
        cancel.raise();
    };
    pieces.clear();
    fs.reset();
    const FailedItem cancelled = copyItemTo(run, src + "d\\inner\\large", dst + "large");
    EXPECT_TRUE(isCancelled(cancelled));
    EXPECT_EQ(cancelled.path, src + "d\\inner\\large");
    EXPECT_EQ(pieces, (std::vector<uint64_t>{kCopyChunkSize})) << "within one chunk of the request";
    EXPECT_EQ(copyItemTo(run, src + "single", dst + "single2").error, kErrorCancelled);
    EXPECT_EQ(fs.calls(FsOp::Open), 3) << "no file begun after it";
}

TEST_F(FileTree, FolderTreeIsCopiedWithNonAsciiNamesAtEveryLevelAndWritable) {
    const std::string top = src + "\xC3\x9C" "ber";                      // Über
    const std::string mid = top + "\\\xE6\x97\xA5\xE6\x9C\xAC";          // 日本
    folder(top);
    folder(mid);
    folder(mid + "\\empty");
    file(top + "\\\xF0\x9F\x98\x80.txt", "smile");                      // 😀.txt
    file(mid + "\\\xC3\xA9t\xC3\xA9.bin", testing::patternBytes(kCopyChunkSize + 100));
    for (const std::string& name : {top + "\\\xF0\x9F\x98\x80.txt", mid + "\\\xC3\xA9t\xC3\xA9.bin"})
        ASSERT_TRUE(fs.setAttributes(name, kAttributeReadOnly | kAttributeHidden));
    EXPECT_FALSE(copyDirectoryTo(run, top, dst + "\xC3\x9C" "ber").failed());
    const std::string copy = dst + "\xC3\x9C" "ber";
    EXPECT_EQ(content(copy + "\\\xF0\x9F\x98\x80.txt"), "smile");
    EXPECT_EQ(content(copy + "\\\xE6\x97\xA5\xE6\x9C\xAC\\\xC3\xA9t\xC3\xA9.bin"),
              testing::patternBytes(kCopyChunkSize + 100));
    EXPECT_TRUE(testing::isFolderAt(fs, copy + "\\\xE6\x97\xA5\xE6\x9C\xAC\\empty"));
    EXPECT_EQ(special(copy + "\\\xF0\x9F\x98\x80.txt"), kAttributeHidden);
    EXPECT_EQ(special(copy + "\\\xE6\x97\xA5\xE6\x9C\xAC\\\xC3\xA9t\xC3\xA9.bin"), 0u);
    EXPECT_EQ(trace.out(), "");
}

TEST_F(FileTree, FolderCopyStopsAtTheFirstItemThatFails) {
    folder(src + "d");
    folder(src + "d\\deeper");
    for (int i = 0; i < 4; ++i) file(src + "d\\deeper\\f" + std::to_string(i), "x");
    fs.reset();
    fs.failCall(FsOp::CopyFile, 2, kErrorSharingViolation);
    const FailedItem failed = copyDirectoryTo(run, src + "d", dst + "d");
    EXPECT_EQ(failed.error, kErrorSharingViolation);
    EXPECT_EQ(failed.path.rfind(src + "d\\deeper\\f", 0), 0u);
    EXPECT_EQ(testing::namesIn(fs, dst + "d\\deeper").size(), 1u) << "nothing after the failed item";
    EXPECT_EQ(fs.calls(FsOp::CopyFile), 2);
    EXPECT_EQ(fs.calls(FsOp::Open), 0) << "a listed file is not opened to be measured";
}

TEST_F(FileTree, FolderIsNeverCopiedIntoItself) {
    folder(dst + "d");
    folder(dst + "d\\inside");
    file(dst + "d\\a", "a");
    EXPECT_EQ(copyDirectoryTo(run, dst + "d", dst + "D\\inside\\d").error, kErrorCopyIntoItself);
    EXPECT_EQ(testing::namesIn(fs, dst + "d\\inside"), std::vector<std::string>{});
    EXPECT_EQ(trace.out(), "Cannot copy folder E:\\d into itself: E:\\D\\inside\\d\n");
}

// A dropped path's one leading "\\" goes; a folder is copied as a tree, anything else as a file.
TEST_F(FileTree, AnItemIsCopiedAsWhatItIs) {
    folder(src + "d");
    folder(src + "d\\sub");
    file(src + "d\\sub\\x", "x");
    EXPECT_FALSE(copyItemTo(run, "\\C:\\d", dst + "d (2)").failed());
    EXPECT_EQ(content(dst + "d (2)\\sub\\x"), "x");
    const FailedItem failed = copyItemTo(run, src + "missing", dst + "missing");
    EXPECT_EQ(failed.path, src + "missing");
    EXPECT_EQ(failed.error, kErrorFileNotFound);
    EXPECT_EQ(trace.out(), "Cannot open file: C:\\missing\t!!! Error: 2\n");
}

TEST(CopyBufferLease, ASecondHolderGetsABufferOfItsOwn) {
    CopyBuffer buffer;
    char* first = nullptr;
    {
        CopyBuffer::Lease a(buffer);
        CopyBuffer::Lease b(buffer);
        EXPECT_NE(a.data(), b.data());
        first = a.data();
    }
    CopyBuffer::Lease again(buffer);
    EXPECT_EQ(again.data(), first);
}

}  // namespace
}  // namespace shuttle
