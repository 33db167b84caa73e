#include <gtest/gtest.h>

#include <sstream>
#include "base/utf8.h"

#include "payload/payload_document.h"
#include "store/meta_data_file.h"
#include "store/store_layout.h"
#include "store/store_writer.h"
#include "support/faulty_file_system.h"
#include "support/manual_clock.h"

namespace shuttle {
namespace {

using testing::FsOp;

constexpr uint32_t kLimit = 10485760;
const std::string kGuid = "{0F8FAD5B-D9CB-469F-A165-70867728950E}";
const std::string kStorage = "E:\\AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage\\";
const std::string kStamped = kStorage + "2026_12_05_03_47_20\\";

class StoreWriter : public testing::FaultyDrives {
protected:
    StoreWriter() { clock.setLocal(2026, 12, 5, 3, 47, 20); }
    std::string src = drives.mount('C');
    std::string store = drives.mount('E');
    char letter = 'E';
    uint32_t limit = kLimit;
    StoreWrite last;
    testing::ManualClock clock;
    CopyBuffer buffer;
    JsonValue document{JsonValue::Kind::Object};
    void sizedFile(const std::string& path, size_t size) { ASSERT_TRUE(testing::writePatternFile(fs, path, size)); }
    // The store write, and the payload document the copy path would make of it.
    bool write(const std::vector<std::u16string>& drop, const ProgressCallback& progress = {}) {
        last = writeVirtualStore(fs, clock, buffer, letter, limit, drop, progress);
        if (last.written()) assemblePayloadDocument(document, kGuid, last.storedPaths);
        return last.written();
    }
    std::string serialised() {
        std::ostringstream out;
        document.writeTo(out);
        return out.str();
    }
    // The document of a file list holding `paths`.
    static std::string listDocument(const std::vector<std::string>& paths) {
        std::string list;
        for (const std::string& path : paths) list += (list.empty() ? "\"" : ",\"") + path + "\"";
        return "{\"GUID\":\"" + kGuid + "\",\"data\":[[" + list + "]],\"formats\":[\"CF_HDROP\"]}";
    }
    // Every path and size below the store root, to prove a refusal changed nothing.
    std::string snapshot(const std::string& root) {
        std::string text;
        for (const std::string& name : testing::namesIn(fs, root)) {
            std::string path = root + name;
            text += path + " " + std::to_string(fs.attributes(path) & ~kAttributeArchive) + "\n";
            if (testing::isFolderAt(fs, path)) text += snapshot(path + "\\");
        }
        return text;
    }
    // An earlier payload on the drive.
    void previousPayload() {
        folder(kStorage);
        folder(kStorage + "2026_01_01_00_00_00");
        file(kStorage + "2026_01_01_00_00_00\\old.txt", "old");
        ASSERT_TRUE(writeMetaDataFile(fs, store, "{\"GUID\":\"old\"}"));
        trace.clear();
    }
};

TEST_F(StoreWriter, OneByteOverTheLimitIsRefusedBeforeTheDriveIsTouchedAndTheLimitItselfIsWritten) {
    sizedFile(src + "big.bin", kLimit);
    file(src + "one.txt", "1");
    previousPayload();
    const std::string before = snapshot(store);
    clock.advance(5000);
    EXPECT_FALSE(write({u"C:\\big.bin", u"C:\\one.txt"}));
    EXPECT_EQ(last.refusal, StoreRefusal::TooLarge);
    EXPECT_EQ(last.totalBytes, kLimit + 1u);
    EXPECT_EQ(snapshot(store), before);
    trace.clear();
    ASSERT_TRUE(write({u"C:\\big.bin"}));
    EXPECT_EQ(serialised(), listDocument({kStamped + "big.bin"}));
    EXPECT_EQ(content(kStamped + "big.bin"), testing::patternBytes(kLimit));
    EXPECT_EQ(trace.out(), "virtualStoreGeneralRoot=" + kStorage + "\nvirtualStoreStampedRoot=" + kStamped + "\n");
    limit = 104857600;
    EXPECT_TRUE(write({u"C:\\big.bin", u"C:\\one.txt"}));
}

// Only files directly inside count; the folder is copied whole and progress climbs to the measured total.
TEST_F(StoreWriter, FolderWithContentOnlyInSubfoldersCountsNothingButIsCopiedWhole) {
    sizedFile(src + "big.bin", kLimit);
    folder(src + "tree");
    folder(src + "tree\\sub");
    sizedFile(src + "tree\\sub\\deep.bin", 300000);
    std::vector<std::pair<uint64_t, uint64_t>> steps;
    const ProgressCallback progress = [&](uint64_t done, uint64_t total) { steps.emplace_back(done, total); };
    ASSERT_TRUE(write({u"C:\\big.bin", u"C:\\tree"}, progress));
    EXPECT_EQ(serialised(), listDocument({kStamped + "big.bin", kStamped + "tree"}));
    EXPECT_EQ(content(kStamped + "tree\\sub\\deep.bin"), testing::patternBytes(300000));
    const size_t bigPieces = (kLimit + kCopyChunkSize - 1) / kCopyChunkSize;
    ASSERT_GE(steps.size(), bigPieces);
    for (size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(steps[i].second, kLimit);
        EXPECT_LE(steps[i].first, kLimit);
        EXPECT_GE(steps[i].first, i > 0 ? steps[i - 1].first : 0);
    }
    EXPECT_EQ(steps[bigPieces - 1].first, kLimit) << "the last chunk of big.bin completes the measured total";
}

// A missing or locked item, a non-Unicode path, no drive letter, no files: each refused, named, drive untouched.
TEST_F(StoreWriter, UnusableInputIsRefusedBeforeTheDriveIsTouched) {
    file(src + "here.txt", "x");
    file(src + "locked.txt", "x");
    previousPayload();
    const std::string before = snapshot(store);
    EXPECT_FALSE(write({u"C:\\here.txt", u"C:\\gone.txt"}));
    EXPECT_EQ(last.refusal, StoreRefusal::Unreadable);
    EXPECT_EQ(last.failed.path, "C:\\gone.txt");
    EXPECT_EQ(last.failed.error, kErrorFileNotFound);
    EXPECT_NE(trace.out().find("Cannot read C:\\gone.txt\t!!! Error: 2; nothing copied\n"), std::string::npos);
    EXPECT_EQ(snapshot(store), before);
    fs.failCall(FsOp::Open, 2, kErrorSharingViolation, 2);  // locked.txt, and again 400 ms later
    EXPECT_FALSE(write({u"C:\\here.txt", u"C:\\locked.txt"}));
    EXPECT_EQ(last.failed.path, "C:\\locked.txt");
    EXPECT_EQ(last.failed.error, kErrorSharingViolation);
    EXPECT_FALSE(write({u"C:\\here.txt", std::u16string(u"C:\\bad") + char16_t(0xD800)}));
    EXPECT_NE(trace.out().find("A dropped path is not valid Unicode; nothing copied\n"), std::string::npos);
    EXPECT_EQ(last.refusal, StoreRefusal::NotUnicode);
    EXPECT_EQ(last.failed.path, "C:\\bad\xEF\xBF\xBD");  // the unpaired surrogate shown as U+FFFD
    EXPECT_EQ(last.failed.error, kErrorInvalidName);
    EXPECT_FALSE(write({u"", u""}));
    EXPECT_EQ(last.refusal, StoreRefusal::NoFiles);
    letter = 0;
    EXPECT_FALSE(write({u"C:\\here.txt"}));
    EXPECT_EQ(last.refusal, StoreRefusal::NoDrive);
    EXPECT_NE(trace.out().find("The store selection names no drive letter; nothing copied\n"), std::string::npos);
    EXPECT_EQ(snapshot(store), before);
}

// Empty entries are skipped, one leaf name twice lands on one path (the last wins), other names travel as UTF-8.
TEST_F(StoreWriter, NamesAreStoredUnderTheirLeafNames) {
    const std::string name = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";  // Привет
    const std::string leaf = std::string(150, 'n') + ".txt";
    folder(src + "one");
    folder(src + "two");
    file(src + "one\\same.txt", "first");
    file(src + "two\\same.txt", "second");
    folder(src + name);
    file(src + name + "\\\xE2\x82\xAC.txt", "euro");
    file(src + leaf, "long");
    ASSERT_TRUE(write({u"", u"C:\\one\\same.txt", u"C:\\two\\same.txt", u"C:\\\u041F\u0440\u0438\u0432\u0435\u0442",
                       fromUtf8("C:\\" + leaf), u""}));
    const std::string same = kStamped + "same.txt";
    EXPECT_EQ(serialised(), listDocument({same, same, kStamped + name, kStamped + leaf}));
    EXPECT_GT((kStamped + leaf).size(), 199u);
    EXPECT_EQ(content(same), "second");
    EXPECT_EQ(content(kStamped + name + "\\\xE2\x82\xAC.txt"), "euro");
    EXPECT_EQ(content(kStamped + leaf), "long");
}

TEST_F(StoreWriter, WriteOrderIsRemoveThenCreateBothThenCopy) {
    previousPayload();
    file(src + "a.txt", "a");
    fs.failCall(FsOp::CreateDirectory, 2, kErrorAccessDenied);  // the stamped folder
    EXPECT_FALSE(write({u"C:\\a.txt"}));
    EXPECT_EQ(last.refusal, StoreRefusal::CannotCreate);
    EXPECT_EQ(last.failed.path, kStamped.substr(0, kStamped.size() - 1));
    EXPECT_EQ(last.failed.error, kErrorAccessDenied);
    EXPECT_NE(trace.out().find("Failed to create directory:  = " + kStamped + "\n" +
                               "Failed to create directory: " + kStamped + "\t!!! Error: 5\n"),
              std::string::npos);
    EXPECT_EQ(testing::namesIn(fs, kStorage), std::vector<std::string>{});  // old payload gone, nothing copied
    EXPECT_EQ(fs.calls(FsOp::CopyFile), 0);
    EXPECT_TRUE(testing::exists(fs, metaDataFilePath(store)));  // the old META data file stays
    trace.clear();
    fs.failCall(FsOp::CreateDirectory, 1, kErrorWriteProtect);  // the storage folder
    EXPECT_FALSE(write({u"C:\\a.txt"}));
    EXPECT_NE(trace.out().find("Failed to create directory: " + kStorage + "\t!!! Error: 19\n"), std::string::npos);
    EXPECT_EQ(trace.out().find("Failed to create directory:  = " + kStamped), std::string::npos);
}

}  // namespace
}  // namespace shuttle
