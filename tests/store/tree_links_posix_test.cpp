// Links in a dropped tree or on the drive are never followed: not measured, not copied, and
// removed as themselves - whatever they point to stays. Real symbolic links on POSIX, which the
// file system seam lists as reparse points, as Windows lists links and junctions.
#include <gtest/gtest.h>

#include <unistd.h>

#include "platform/file_system_posix.h"
#include "store/store_layout.h"
#include "store/store_writer.h"
#include "store/tree_copy.h"
#include "support/faulty_file_system.h"
#include "support/manual_clock.h"

namespace shuttle {
namespace {

class TreeLinks : public testing::FaultyDrives {
protected:
    std::string src = drives.mount('C');
    std::string dst = drives.mount('E');
    std::string outside = drives.mount('O');  // what the links lead to
    CopyBuffer buffer;
    void link(const std::string& path, const std::string& target) {
        std::string host, to;
        auto& posix = static_cast<PosixFileSystem&>(drives.fs());
        ASSERT_TRUE(posix.hostPath(path, host) && posix.hostPath(target, to));
        ASSERT_EQ(::symlink(to.c_str(), host.c_str()), 0);
    }
};

TEST_F(TreeLinks, LinksAreNeitherMeasuredNorCopiedNorFollowedWhenRemoved) {
    folder(src + "t");
    folder(src + "t\\sub");
    file(src + "t\\a", std::string(10, 'a'));
    file(src + "t\\sub\\b", std::string(20, 'b'));
    folder(outside + "big");
    file(outside + "big\\keep", std::string(1000, 'k'));
    link(src + "t\\loop", src + "t");
    link(src + "t\\sub\\out", outside + "big");
    link(src + "t\\f", outside + "big\\keep");
    EXPECT_EQ(getDirectorySize(fs, src + "t"), 30u);
    CopyRun run{fs, buffer, {}, nullptr};
    EXPECT_FALSE(copyDirectoryTo(run, src + "t", dst + "t").failed());
    EXPECT_EQ(testing::namesIn(fs, dst + "t"), (std::vector<std::string>{"a", "sub"}));
    EXPECT_EQ(testing::namesIn(fs, dst + "t\\sub"), std::vector<std::string>{"b"});
    EXPECT_TRUE(trace.contains("Link not followed: C:\\t\\loop\n"));
    testing::ManualClock clock;  // the store write lists names only, after its measure
    const StoreWrite written = writeVirtualStore(fs, clock, buffer, 'E', 1000, {u"C:\\t"});
    ASSERT_TRUE(written.written());
    EXPECT_EQ(testing::namesIn(fs, written.storedPaths[0]), (std::vector<std::string>{"a", "sub"}));
    EXPECT_EQ(testing::namesIn(fs, written.storedPaths[0] + "\\sub"), std::vector<std::string>{"b"});

    link(dst + "t\\victim", outside + "big");
    link(dst + "t\\sub\\file", outside + "big\\keep");
    EXPECT_TRUE(removeDirectoryRecursively(fs, dst + "t"));
    EXPECT_FALSE(testing::exists(fs, dst + "t"));
    EXPECT_EQ(content(outside + "big\\keep"), std::string(1000, 'k'));
}

// A link in the storage folder's place is replaced by a folder before anything is written.
TEST_F(TreeLinks, AStorageFolderThatIsALinkIsReplaced) {
    const std::string storage = virtualStoreGeneralRoot('E');
    folder(outside + "elsewhere");
    file(outside + "elsewhere\\mine.txt", "mine");
    link(storage.substr(0, storage.size() - 1), outside + "elsewhere");
    file(src + "a.txt", "a");
    testing::ManualClock clock;
    const StoreWrite write = writeVirtualStore(fs, clock, buffer, 'E', 1000, {u"C:\\a.txt"});
    ASSERT_TRUE(write.written());
    EXPECT_FALSE(removeEarlierPayloads(fs, write).failed());
    EXPECT_EQ(fs.attributes(storage) & kAttributeReparsePoint, 0u);
    EXPECT_EQ(testing::namesIn(fs, outside + "elsewhere"), std::vector<std::string>{"mine.txt"});
}

}  // namespace
}  // namespace shuttle
