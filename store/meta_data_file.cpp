#include "store/meta_data_file.h"

#include <limits>
#include <memory>

#include "base/print.h"
#include "store/file_tree.h"
#include "store/store_layout.h"

namespace shuttle {
namespace {

bool isFile(uint32_t attributes) {
    return attributes != kInvalidAttributes && (attributes & kAttributeDirectory) == 0;
}

bool isFolder(uint32_t attributes) {
    return attributes != kInvalidAttributes && (attributes & kAttributeDirectory) != 0;
}

}  // namespace

bool writeMetaDataFile(FileSystem& fs, const std::string& driveRoot, const std::string& bytes) {
    const std::string fullPath = metaDataFilePath(driveRoot);
    printOut("strFullPath=%s\n", fullPath.c_str());
    // A hidden, system or read-only file from an earlier copy could not be replaced otherwise.
    if (isFile(fs.attributes(fullPath))) removeReadOnlyAttribute(fs, fullPath);
    {
        std::unique_ptr<OpenFile> file =
            fs.open(fullPath, FileAccess::Write, kShareNone, FileDisposition::CreateAlways, kAttributeNormal);
        if (!file) {
            printOut("Cannot write META data  file: %s\n", fullPath.c_str());
            return false;
        }
        uint32_t written = 0;
        bool whole = bytes.size() <= std::numeric_limits<uint32_t>::max() &&
                     file->write(bytes.data(), static_cast<uint32_t>(bytes.size()), written) &&
                     written == bytes.size();
        if (!whole) {
            file.reset();
            printOut("Failed to write all data to file: %s\n", fullPath.c_str());
            return false;
        }
    }
    if (!fs.setAttributes(fullPath, kAttributeHidden | kAttributeSystem)) {
        printOut("Failed to set attribute for file: %s\n", fullPath.c_str());
        return false;
    }
    return true;
}

bool readMetaDataFile(FileSystem& fs, const std::string& driveRoot, std::string& out) {
    const std::string fullPath = metaDataFilePath(driveRoot);
    if (!isFolder(fs.attributes(driveRoot)) || !isFile(fs.attributes(fullPath))) return false;
    std::unique_ptr<OpenFile> file =
        fs.open(fullPath, FileAccess::Read, kShareRead, FileDisposition::OpenExisting, kAttributeNormal);
    if (!file) {
        printOut("Cannot READ data file: %s !!! Error: %lu\n", fullPath.c_str(),
                 static_cast<unsigned long>(fs.lastError()));
        return false;
    }
    int64_t size = 0;
    if (!file->size(size) || size < 0) return false;
    if (size > kMaxMetaDataFileSize) {
        printOut("META data file %s is too large: %lld bytes (max %lld bytes), ignored\n", fullPath.c_str(),
                 static_cast<long long>(size), static_cast<long long>(kMaxMetaDataFileSize));
        return false;
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    uint32_t got = 0;
    if (!file->read(&bytes[0], static_cast<uint32_t>(size), got) || got != size) return false;
    out = std::move(bytes);
    return true;
}

}  // namespace shuttle
