#include <gtest/gtest.h>

#include "store/store_layout.h"

namespace shuttle {
namespace {

TEST(StoreLayout, FixedNamesAndPaths) {
    EXPECT_EQ(std::string(kMetaDataFileName).size(), 41u);
    EXPECT_EQ(std::string(kStorageFolderName).size(), 44u);
    EXPECT_EQ(metaDataFilePath(driveRoot('E')), "E:\\AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_meta");
    const std::string general = virtualStoreGeneralRoot('F');
    EXPECT_EQ(general, "F:\\AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage\\");
    const std::string stamped = virtualStoreStampedRoot(general, "2026_12_05_03_47_20");
    EXPECT_EQ(stamped, "F:\\AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage\\2026_12_05_03_47_20\\");
    EXPECT_EQ(stamped.size(), 68u);
}

TEST(StoreLayout, DriveLetterIsTheThirdCharacterFromTheEnd) {
    EXPECT_EQ(storeDriveLetter(u"Generic Flash Disk (E:)"), 'E');
    EXPECT_EQ(storeDriveLetter(u"(z:)"), 'z');
    EXPECT_EQ(storeDriveLetter(u"E:)"), 'E');
    EXPECT_EQ(storeDriveLetter(u":)"), 0);
    EXPECT_EQ(storeDriveLetter(u""), 0);
    EXPECT_EQ(storeDriveLetter(u"Disk (1:)"), 0);
    EXPECT_EQ(storeDriveLetter(u"Disk (\u0145:)"), 0);  // its low byte is 'E', but it is no ASCII letter
}

TEST(StoreLayout, LeafNameIsWhatFollowsTheLastBackslash) {
    EXPECT_EQ(leafName(std::string("C:\\a\\b.txt")), "b.txt");
    EXPECT_EQ(leafName(std::string("plain")), "plain");
    EXPECT_EQ(leafName(std::string("D:\\")), "");
    EXPECT_EQ(leafName(std::u16string(u"C:\\x\\\u00e9")), u"\u00e9");
}

}  // namespace
}  // namespace shuttle
