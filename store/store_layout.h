#pragma once
// The names and paths of the store on the shared drive. Both sides build every path from here:
// the drive letter, the META data file at the root, the storage folder and its time-stamped
// payload folder. The fixed parts are ASCII; item names are UTF-8.

#include <string>

namespace shuttle {

constexpr const char* kMetaDataFileName = "AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_meta";
constexpr const char* kStorageFolderName = "AB8D69FA-8873-42D3-BB0E-4D53DA9B7A3F_storage";

// The drive letter of a store selection ("Name (E:)"): its third character from the end,
// narrowed to one byte. 0 when the selection is too short or that character is not an ASCII
// letter, so that no path is ever built on a wrong drive.
char storeDriveLetter(const std::u16string& storeSelection);

// "E:\".
std::string driveRoot(char letter);
// The META data file of a drive root: "E:\AB8D69FA-..._meta".
std::string metaDataFilePath(const std::string& driveRoot);
// Where the next META data file is written before it replaces the current one in one step:
// the same path with ".tmp" added. Peers never read it.
std::string metaDataTempPath(const std::string& driveRoot);
// "E:\AB8D69FA-..._storage\".
std::string virtualStoreGeneralRoot(char letter);
// `generalRoot` + stamp + "\".
std::string virtualStoreStampedRoot(const std::string& generalRoot, const std::string& stamp);

// A dropped path that begins with exactly one "\" (not two) loses it.
std::string withoutSingleLeadingSeparator(const std::string& path);
std::u16string withoutSingleLeadingSeparator(const std::u16string& path);

// The part after the last "\" (the whole text when there is none).
std::string leafName(const std::string& path);
std::u16string leafName(const std::u16string& path);

}  // namespace shuttle
