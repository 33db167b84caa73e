#include <gtest/gtest.h>

#include <sstream>
#include "base/utf8.h"

#include "payload/payload_document.h"
#include "store/item_names.h"
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
    EXPECT_EQ(content(kStorage + "2026_01_01_00_00_00\\old.txt"), "old") << "the writer leaves earlier payloads alone";
    limit = 104857600;
    EXPECT_TRUE(write({u"C:\\big.bin", u"C:\\one.txt"}));
}

// The progress climbs to the whole tree's size; past the limit the count stops, in the first of
// three folders of 2,000 bytes (one level down) each under a limit of 1,000.
TEST_F(StoreWriter, TheProgressCountsTheWholeTreeAndTheMeasureStopsPastTheLimit) {
    for (int i = 0; i < 3; ++i) {
        const std::string sub = src + "many" + std::to_string(i) + "\\sub";
        folder(sub.substr(0, sub.size() - 4));
        folder(sub);
        for (int j = 0; j < 4; ++j) sizedFile(sub + "\\f" + std::to_string(j), 500);
    }
    std::vector<std::pair<uint64_t, uint64_t>> steps;
    ASSERT_TRUE(write({u"C:\\many0", u"C:\\many1"}, [&](uint64_t done, uint64_t total) { steps.emplace_back(done, total); }));
    EXPECT_EQ(steps.back(), std::make_pair(uint64_t(4000), uint64_t(4000)));
    limit = 1000;
    fs.reset();
    EXPECT_FALSE(write({u"C:\\many0", u"C:\\many1", u"C:\\many2"}));
    EXPECT_EQ(last.totalBytes, 1500u);
    EXPECT_EQ(fs.calls(FsOp::FindFirst), 2) << "many0 and its subfolder, nothing after";
}

// The copy goes by the sizes the measure saw, and takes a file that came after it as well; a
// folder dropped with a trailing separator alike.
TEST_F(StoreWriter, AFolderIsCopiedAsItIsWhenTheCopyReachesIt) {
    folder(src + "d");
    file(src + "d\\a.txt", "a");
    sizedFile(src + "d\\big.bin", kCopyChunkSize * 2);
    fs.beforeCall(FsOp::CreateDirectory, 1, [&] { file(src + "d\\late.txt", "late"); });
    std::vector<uint64_t> told;
    ASSERT_TRUE(write({u"C:\\d\\"}, [&](uint64_t done, uint64_t) { told.push_back(done); }));
    EXPECT_EQ(content(kStamped + "d\\a.txt"), "a");
    EXPECT_EQ(content(kStamped + "d\\big.bin"), testing::patternBytes(kCopyChunkSize * 2));
    EXPECT_EQ(content(kStamped + "d\\late.txt"), "late");
    EXPECT_EQ(told.back(), kCopyChunkSize * 2 + 1) << "never past the measured total";
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

// Empty entries are skipped; a name an earlier item took (without regard to case) gets a number,
// a folder at its end; names travel as UTF-8, long ones whole.
TEST_F(StoreWriter, EveryItemIsStoredUnderANameOfItsOwn) {
    const std::string privet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.v1";  // Привет.v1
    const std::string leaf = std::string(150, 'n') + ".txt";
    for (const char* dir : {"one", "two", "a"}) folder(src + dir);
    file(src + "one\\same.txt", "first");
    file(src + "two\\SAME (2).txt", "second");
    folder(src + "a\\" + privet);
    file(src + privet, "a file");
    file(src + leaf, "long");
    ASSERT_TRUE(write({u"", u"C:\\one\\same.txt", u"C:\\one\\same.txt", u"C:\\two\\SAME (2).txt",
                       fromUtf8("C:\\a\\" + privet), fromUtf8("C:\\" + privet), fromUtf8("C:\\" + leaf), u""}));
    EXPECT_EQ(serialised(), listDocument({kStamped + "same.txt", kStamped + "same (2).txt", kStamped + "SAME (2) (2).txt",
                                          kStamped + privet, kStamped + privet.substr(0, 12) + " (2).v1", kStamped + leaf}));
    EXPECT_EQ(content(kStamped + "same (2).txt"), "first");
    EXPECT_EQ(content(kStamped + "SAME (2) (2).txt"), "second");
    EXPECT_EQ(content(kStamped + privet.substr(0, 12) + " (2).v1"), "a file");
    EXPECT_EQ(content(kStamped + leaf), "long");
}

// Names are one name to Windows whatever their case, in Latin, Greek and Cyrillic letters alike.
TEST(ItemNames, CaseIsFoldedAsWindowsFoldsIt) {
    const std::vector<std::pair<std::string, std::string>> same = {
        {"Readme.TXT", "README.txt"},
        {"\xC3\xA9t\xC3\xA9 \xC3\xBF", "\xC3\x89T\xC3\x89 \xC5\xB8"},            // été ÿ / ÉTÉ Ÿ
        {"\xC5\x82\xC3\xB3" "d\xC5\xBA", "\xC5\x81\xC3\x93" "D\xC5\xB9"},         // łódź / ŁÓDŹ
        {"\xCE\xBB\xCF\x8C\xCE\xB3\xCE\xBF\xCF\x82", "\xCE\x9B\xCE\x8C\xCE\x93\xCE\x9F\xCE\xA3"},  // λόγος / ΛΌΓΟΣ
        {"\xD1\x91\xD0\xB6 \xD1\x97", "\xD0\x81\xD0\x96 \xD0\x87"},              // ёж ї / ЁЖ Ї
        {"\xE1\xBA\xA1", "\xE1\xBA\xA0"},                                      // ạ / Ạ
    };
    for (const auto& [a, b] : same) EXPECT_TRUE(sameName(a, b)) << a;
    EXPECT_FALSE(sameName("a", "\xC3\xA0"));       // a / à
    EXPECT_FALSE(sameName("\xD0\xB5", "e"));       // Cyrillic е / Latin e
    EXPECT_FALSE(sameName("x.txt", "x.txt "));
    EXPECT_TRUE(sameName("bad\xFF", "bad\xFF")) << "invalid UTF-8 is compared byte for byte";
    EXPECT_EQ(distinctNames({{"photos", true}, {"Photos", true}, {".bashrc", false}, {".BASHRC", false},
                             {"v1.2", true}, {"V1.2", true}, {"a.tar.gz", false}, {"A.TAR.GZ", false}}),
              (std::vector<std::string>{"photos", "Photos (2)", ".bashrc", ".BASHRC (2)", "v1.2", "V1.2 (2)",
                                        "a.tar.gz", "A.TAR (2).GZ"}));
}

// A copy in the same second as the current payload takes the next second's name, and when it
// fails removes only its own folder; the earlier payloads go only when asked, and what stays is
// named.
TEST_F(StoreWriter, ANewPayloadNeverTouchesTheFolderADocumentMayName) {
    previousPayload();
    folder(kStamped);  // a payload written a moment ago, in this very second
    file(kStamped + "a.txt", "current");
    file(src + "a.txt", "a");
    sizedFile(src + "big.bin", kCopyChunkSize * 4);
    const std::string before = snapshot(store);
    fs.failCall(FsOp::CopyFile, 1, kErrorAccessDenied);
    EXPECT_FALSE(write({u"C:\\big.bin", u"C:\\a.txt"}));
    EXPECT_EQ(last.refusal, StoreRefusal::Unreadable);
    EXPECT_EQ(snapshot(store), before) << "its own partial folder removed, nothing else touched";
    fs.reset();
    ASSERT_TRUE(write({u"C:\\a.txt"}));
    EXPECT_EQ(last.stampedRoot, kStorage + "2026_12_05_03_47_21\\");
    EXPECT_EQ(content(kStamped + "a.txt"), "current");
    file(kStorage + "stray.txt", "x");
    fs.failCall(FsOp::DeleteFile, 1, kErrorSharingViolation);  // held open by the other computer
    const FailedItem leftover = removeEarlierPayloads(fs, last);
    EXPECT_EQ(leftover.error, kErrorSharingViolation);
    EXPECT_EQ(testing::namesIn(fs, kStorage).size(), 2u) << "the new folder and the one that stayed";
    EXPECT_FALSE(removeEarlierPayloads(fs, last).failed());
    EXPECT_EQ(testing::namesIn(fs, kStorage), std::vector<std::string>{"2026_12_05_03_47_21"});
    EXPECT_TRUE(testing::exists(fs, metaDataFilePath(store)));
    discardPayload(fs, last);
    EXPECT_FALSE(testing::exists(fs, last.stampedRoot));
}

TEST_F(StoreWriter, AFolderThatCannotBeCreatedRefusesTheWriteAndNamesIt) {
    previousPayload();
    file(src + "a.txt", "a");
    const std::string before = snapshot(store);
    fs.failCall(FsOp::CreateDirectory, 2, kErrorAccessDenied);  // the stamped folder
    EXPECT_FALSE(write({u"C:\\a.txt"}));
    EXPECT_EQ(last.refusal, StoreRefusal::CannotCreate);
    EXPECT_EQ(last.failed.path, kStamped.substr(0, kStamped.size() - 1));
    EXPECT_EQ(last.failed.error, kErrorAccessDenied);
    EXPECT_TRUE(trace.contains("Failed to create directory:  = " + kStamped + "\n" +
                               "Failed to create directory: " + kStamped + "\t!!! Error: 5\n"));
    EXPECT_EQ(snapshot(store), before);
    fs.failCall(FsOp::CreateDirectory, 1, kErrorWriteProtect);  // the storage folder
    EXPECT_FALSE(write({u"C:\\a.txt"}));
    EXPECT_TRUE(trace.contains("Failed to create directory: " + kStorage + "\t!!! Error: 19\n"));
    EXPECT_EQ(fs.calls(FsOp::CopyFile), 0);
}

}  // namespace
}  // namespace shuttle
