#include <gtest/gtest.h>

#include "base/host_names.h"

namespace shuttle {
namespace {

const std::string kColon = "\xEF\x80\xBA";  // U+F03A, the spelling of ":"

TEST(HostNames, EveryHostNameHasOneWindowsSpellingThatComesBackByteForByte) {
    EXPECT_EQ(windowsNameOfHostName("Notes für Anna.txt"), "Notes für Anna.txt");
    EXPECT_EQ(windowsNameOfHostName("a:b"), "a" + kColon + "b");
    EXPECT_EQ(windowsNameOfHostName("a\\b\t?"), "a\xEF\x81\x9C" "b\xEF\x80\x89\xEF\x80\xBF");
    EXPECT_EQ(windowsNameOfHostName("caf\xE9"), "caf\xEF\x83\xA9");  // Latin-1, not UTF-8
    // The spelling's own range is spelt byte by byte, so a literal U+F03A is not a colon.
    EXPECT_EQ(windowsNameOfHostName(kColon), "\xEF\x83\xAF\xEF\x82\x80\xEF\x82\xBA");
    for (std::string name : {"a:b", "x\\y", "\x01\x7F", "caf\xE9", "\xEF\x80\xBA:", "e\xCC\x81 \xF0\x9F\x9A\x80", "..."})
        EXPECT_EQ(hostNameOfWindowsName(windowsNameOfHostName(name)), name) << name;
    EXPECT_FALSE(hostNameOfWindowsName("a\xEF\x80\xAF" "b"));  // a spelt "/" would split the name
    EXPECT_FALSE(hostNameOfWindowsName("\xEF\x80\x80"));        // NUL
    EXPECT_FALSE(hostNameOfWindowsName("\xE9"));                // not UTF-8
}

TEST(HostNames, PathsMapBothWaysAndNeverLeaveTheirFolder) {
    EXPECT_EQ(windowsPathOfHostPath("/home/anna/a:b/x.txt"), "Z:\\home\\anna\\a" + kColon + "b\\x.txt");
    EXPECT_EQ(windowsPathOfHostPath("/", 'Z'), "Z:\\");
    EXPECT_EQ(windowsPathOfHostPath("//srv//x/"), "Z:\\srv\\x");
    EXPECT_FALSE(windowsPathOfHostPath("relative/x"));
    const std::string windows = *windowsPathOfHostPath("/tmp/we\\ird:/caf\xE9");
    EXPECT_EQ(hostPathInFolder(windows, "/", true), "/tmp/we\\ird:/caf\xE9");

    const std::string store = "/media/anna/STICK";
    EXPECT_EQ(hostPathInFolder("F:\\AB_storage\\2026\\a b\\c.txt", store + "/"), store + "/AB_storage/2026/a b/c.txt");
    EXPECT_EQ(hostPathInFolder("F:/x//y\\", store), store + "/x/y");
    EXPECT_EQ(hostPathInFolder("F:\\", store), store);
    for (const char* escape : {"F:\\..\\etc", "F:\\a\\..\\..\\b", "F:\\.", "F:\\a\\...", "F:\\ . ", "F:\\a\x01", "F:/a/../b"})
        EXPECT_FALSE(hostPathInFolder(escape, store)) << escape;
    EXPECT_FALSE(hostPathInFolder("F:\\\xEF\x80\xAE\xEF\x80\xAE\\etc", "/", true));  // ".." spelt byte by byte
    EXPECT_EQ(hostPathInFolder("Z:\\srv\\...", "/", true), "/srv/...");      // a host name of dots is a name
    EXPECT_FALSE(hostPathInFolder("relative", store));
}

}  // namespace
}  // namespace shuttle
