// A Linux folder may hold names a Windows drive cannot: each item is stored under a safe name,
// distinct in its folder as Windows compares names, byte for byte, and the write says so.
#include <gtest/gtest.h>

#include "store/store_writer.h"
#include "support/faulty_file_system.h"
#include "support/manual_clock.h"

namespace shuttle {
namespace {

class SafeStoreNames : public testing::FaultyDrives {
protected:
    std::string src = drives.mount('C');
    std::string store = drives.mount('E');
    testing::ManualClock clock;
    CopyBuffer buffer;
    StoreWrite write(const std::vector<std::u16string>& drop) {
        return writeVirtualStore(fs, clock, buffer, 'E', 10485760, drop);
    }
};

TEST_F(SafeStoreNames, NamesWindowsCannotHoldAreStoredUnderSafeDistinctNames) {
    const std::string colon = "a\xEF\x80\xBA" "b";  // "a:b" as a Linux name reaches the store logic
    folder(src + "t");
    for (const std::string& name : {colon, std::string("Notes"), std::string("notes"), std::string("ok")})
        file(src + "t\\" + name, name);
    file(src + "CON.txt", "device name");
    const StoreWrite written = write({u"C:\\t", u"C:\\CON.txt"});
    ASSERT_TRUE(written.written());
    EXPECT_TRUE(written.renamed);
    EXPECT_EQ(written.storedPaths[1].substr(written.stampedRoot.size()), "CON_.txt");
    const std::string copy = written.stampedRoot + "t\\";
    // "Notes" and "notes" are one name to Windows: the one listed second gets " (2)".
    const bool notesFirst = testing::exists(fs, copy + "Notes");
    EXPECT_EQ(testing::namesIn(fs, copy), (std::vector<std::string>{notesFirst ? "Notes" : "Notes (2)", "a_b",
                                                                      notesFirst ? "notes (2)" : "notes", "ok"}));
    EXPECT_EQ(content(copy + "a_b"), colon);
    EXPECT_EQ(content(copy + (notesFirst ? "notes (2)" : "Notes (2)")), notesFirst ? "notes" : "Notes");
    EXPECT_EQ(content(copy + "ok"), "ok");

    EXPECT_FALSE(write({u"C:\\t\\ok"}).renamed);
}

}  // namespace
}  // namespace shuttle
