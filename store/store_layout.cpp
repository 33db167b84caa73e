#include "store/store_layout.h"

namespace shuttle {

char storeDriveLetter(const std::u16string& storeSelection) {
    if (storeSelection.size() < 3) return 0;
    char16_t letter = storeSelection[storeSelection.size() - 3];
    bool asciiLetter = (letter >= u'A' && letter <= u'Z') || (letter >= u'a' && letter <= u'z');
    return asciiLetter ? static_cast<char>(letter) : 0;
}

std::string driveRoot(char letter) { return std::string(1, letter) + ":\\"; }

std::string metaDataFilePath(const std::string& driveRoot) { return driveRoot + kMetaDataFileName; }

std::string metaDataTempPath(const std::string& driveRoot) { return metaDataFilePath(driveRoot) + ".tmp"; }

std::string virtualStoreGeneralRoot(char letter) { return driveRoot(letter) + kStorageFolderName + "\\"; }

std::string virtualStoreStampedRoot(const std::string& generalRoot, const std::string& stamp) {
    return generalRoot + stamp + "\\";
}

namespace {

template <class Text>
Text withoutOneLeadingSeparator(const Text& path) {
    if (!path.empty() && path[0] == '\\' && (path.size() < 2 || path[1] != '\\')) return path.substr(1);
    return path;
}

}  // namespace

std::string withoutSingleLeadingSeparator(const std::string& path) { return withoutOneLeadingSeparator(path); }

std::u16string withoutSingleLeadingSeparator(const std::u16string& path) { return withoutOneLeadingSeparator(path); }

std::string leafName(const std::string& path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::u16string leafName(const std::u16string& path) {
    size_t slash = path.rfind(u'\\');
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

}  // namespace shuttle
