// USB mode's store through the computers the program builds: A (E:) copies dropped files, B
// (F:) pastes them, both on one folder; A's files go through the fault-injecting file system.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "base/utf8.h"
#include "platform/tty_serial_ports.h"
#include "store/tree_copy.h"
#include "support/test_computer.h"
#include "support/trace_capture.h"

namespace shuttle {
namespace {

namespace fs = std::filesystem;
using Events = std::vector<std::string>;
using testing::FsOp;
using testing::TestComputer;

const std::string kStorage = "AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage";

class StoreExchange : public ::testing::Test {
protected:
    StoreExchange() {
        char pattern[] = "/tmp/shuttle-store-XXXXXX";
        folder = ::mkdtemp(pattern);
        fs::create_directory(folder + "/drive");
        a = std::make_unique<TestComputer>('E', folder + "/drive", ports);
        b = std::make_unique<TestComputer>('F', folder + "/drive", ports);
        a->files.mapDrive('C', folder + "/src");
        a->computer.settings().flags = kFlagShowNotifications;
        EXPECT_TRUE(a->start() && b->start());
        a->useUsb();
        b->useUsb();
    }
    ~StoreExchange() override {
        a.reset(), b.reset();
        fs::remove_all(folder);
    }
    void source(const std::string& relative, const std::string& bytes) {
        fs::create_directories(fs::path(folder + "/src/" + relative).parent_path());
        std::ofstream(folder + "/src/" + relative, std::ios::binary) << bytes;
    }
    std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string meta() { return read(folder + "/drive/" + kMetaDataFileName); }
    std::vector<std::string> stampedFolders() { return testing::namesIn(a->files, "E:\\" + kStorage); }
    // The content of each file B pasted from the latest document, in order.
    std::vector<std::string> pastedOnB() {
        b->computer.pollOnce();
        std::vector<std::string> contents;
        for (const std::u16string& path : parseDropFilesBlock(b->clipboard.peek(kFormatHdrop).value_or(
                 std::vector<uint8_t>{})).value_or(std::vector<std::u16string>{})) {
            std::string host = folder + "/drive/" + toUtf8(path.substr(3));
            std::replace(host.begin(), host.end(), '\\', '/');
            contents.push_back(fs::is_directory(host) ? "folder" : read(host));
        }
        return contents;
    }

    testing::TraceCapture trace;
    std::string folder;
    TtySerialPorts ports;
    std::unique_ptr<TestComputer> a, b;
};

// The size of a folder is its whole tree: refused one byte over, with the total in the balloon.
TEST_F(StoreExchange, ANestedTreeOverTheLimitIsRefusedAndCountsEveryLevel) {
    source("tree/a/b/c/deep.bin", std::string(600, 'd'));
    source("tree/a/top.bin", std::string(401, 't'));
    a->computer.settings().sizeLimit = 1000;
    a->copyFiles({u"C:\\tree"});
    EXPECT_EQ(a->tray.events(), (Events{"icon 150", "balloon Can't copy | Total size is 1001 bytes (max 1000 bytes)"}));
    EXPECT_TRUE(fs::is_empty(folder + "/drive"));
    a->computer.settings().sizeLimit = 1001;
    a->copyFiles({u"C:\\tree"});
    EXPECT_EQ(pastedOnB(), Events{"folder"});
    EXPECT_EQ(read(folder + "/drive/" + kStorage + "/" + stampedFolders().at(0) + "/tree/a/b/c/deep.bin"),
              std::string(600, 'd'));
}

TEST_F(StoreExchange, SameNamedFilesAndFoldersAllArriveUnderNamesOfTheirOwn) {
    source("a/x.txt", "alpha");
    source("b/X.TXT", "beta");
    source("c/x.txt", "gamma");
    source("p/photos/1.jpg", "one");
    source("q/Photos/2.jpg", "two");
    a->copyFiles({u"C:\\a\\x.txt", u"C:\\b\\X.TXT", u"C:\\c\\x.txt", u"C:\\p\\photos", u"C:\\q\\Photos"});
    EXPECT_EQ(pastedOnB(), (Events{"alpha", "beta", "gamma", "folder", "folder"})) << trace.out();
    const std::string stamped = folder + "/drive/" + kStorage + "/" + stampedFolders().at(0) + "/";
    EXPECT_EQ(read(stamped + "X (2).TXT"), "beta");
    EXPECT_EQ(read(stamped + "x (3).txt"), "gamma");
    EXPECT_EQ(read(stamped + "Photos (2)/2.jpg"), "two");
}

// New before old: a copy failing at its first, middle or last file, or at its document, leaves
// the previous document and every file it names; the next good copy then clears the old folder.
TEST_F(StoreExchange, ACopyFailingAtAnyPointLeavesThePreviousPayloadWhole) {
    source("keep.txt", "kept");
    for (const char* name : {"f1", "f2", "f3"}) source(name, name);
    a->copyFiles({u"C:\\keep.txt"});
    const std::string before = meta();
    ASSERT_EQ(pastedOnB(), Events{"kept"});
    for (const auto& [op, nth] : std::vector<std::pair<FsOp, int>>{
             {FsOp::CopyFile, 1}, {FsOp::CopyFile, 2}, {FsOp::CopyFile, 3}, {FsOp::MoveFile, 1}}) {
        a->faultyFiles.failCall(op, nth, kErrorAccessDenied);
        a->copyFiles({u"C:\\f1", u"C:\\f2", u"C:\\f3"});
        EXPECT_EQ(meta(), before) << nth;
        EXPECT_EQ(stampedFolders().size(), 1u) << "its own folder removed, the previous one kept";
        EXPECT_EQ(pastedOnB(), Events{"kept"}) << "still pasted whole";
    }
    a->copyFiles({u"C:\\f1", u"C:\\f2", u"C:\\f3"});
    EXPECT_EQ(pastedOnB(), (Events{"f1", "f2", "f3"}));
    EXPECT_EQ(stampedFolders().size(), 1u);
}

// The other computer published right after this one: the files its document names stay.
TEST_F(StoreExchange, APayloadTheOtherComputerPublishedMeanwhileIsLeftAlone) {
    source("mine.txt", "mine");
    const std::string drive = folder + "/drive/", theirs = drive + kStorage + "/theirs/";
    fs::create_directories(theirs);
    std::ofstream(theirs + "t.txt") << "theirs";
    const std::string document = "{\"GUID\":\"{0F0F0F0F-1111-4222-8333-444455556666}\",\"data\":[[\"F:\\" +
                                 kStorage + "\\theirs\\t.txt\"]],\"formats\":[\"CF_HDROP\"]}";
    a->faultyFiles.beforeCall(FsOp::MoveFile, 1, [&] {  // A's document goes, then theirs over it
        fs::rename(drive + kMetaDataFileName + ".tmp", drive + kMetaDataFileName);
        std::ofstream(drive + kMetaDataFileName + ".tmp") << document;
    });
    a->copyFiles({u"C:\\mine.txt"});
    EXPECT_EQ(meta(), document);
    EXPECT_EQ(stampedFolders().size(), 2u);
    EXPECT_EQ(pastedOnB(), Events{"theirs"});
}

// The stop (Exit, the end of the session) ends a copy within one chunk: nothing is published, the
// partial folder goes, and the computer stops at once.
TEST_F(StoreExchange, ACancelInTheMiddleOfALargeFileEndsTheCopyWithinOneChunk) {
    source("keep.txt", "kept");
    source("big.bin", std::string(kSystemCopyChunkSize * 4, 'b'));
    a->copyFiles({u"C:\\keep.txt"});
    const std::string before = meta();
    const std::vector<std::string> folders = stampedFolders();
    a->faultyFiles.beforeCall(FsOp::CopyTo, 3, [this] { a->computer.requestStop(); });
    const int chunks = a->faultyFiles.calls(FsOp::CopyTo);
    a->tray.clear();
    a->copyFiles({u"C:\\big.bin"});
    EXPECT_EQ(a->faultyFiles.calls(FsOp::CopyTo) - chunks, 3);
    a->computer.stop();
    EXPECT_EQ(meta(), before);
    EXPECT_EQ(stampedFolders(), folders);
    EXPECT_TRUE(trace.contains(">>> Transfer abandoned\n"));
    for (const std::string& event : a->tray.events()) EXPECT_EQ(event.rfind("balloon", 0), std::string::npos) << event;
    EXPECT_EQ(pastedOnB(), Events{"kept"});
}

}  // namespace
}  // namespace shuttle
