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

namespace {

bool writeWhole(FileSystem& fs, const std::string& path, const std::string& bytes) {
    // A hidden, system or read-only file left by an interrupted write could not be replaced.
    if (isFile(fs.attributes(path))) removeReadOnlyAttribute(fs, path);
    std::unique_ptr<OpenFile> file =
        fs.open(path, FileAccess::Write, kShareNone, FileDisposition::CreateAlways, kAttributeNormal);
    if (!file) {
        printOut("Cannot write META data  file: %s\n", path.c_str());
        return false;
    }
    uint32_t written = 0;
    const bool whole = bytes.size() <= std::numeric_limits<uint32_t>::max() &&
                       file->write(bytes.data(), static_cast<uint32_t>(bytes.size()), written) &&
                       written == bytes.size();
    if (!whole) printOut("Failed to write all data to file: %s\n", path.c_str());
    return whole;
}

}  // namespace

bool writeMetaDataFile(FileSystem& fs, const std::string& driveRoot, const std::string& bytes) {
    const std::string fullPath = metaDataFilePath(driveRoot);
    const std::string tempPath = metaDataTempPath(driveRoot);
    printOut("strFullPath=%s\n", fullPath.c_str());
    if (!writeWhole(fs, tempPath, bytes)) {
        fs.deleteFile(tempPath);
        return false;
    }
    if (!fs.setAttributes(tempPath, kAttributeHidden | kAttributeSystem)) {
        printOut("Failed to set attribute for file: %s\n", tempPath.c_str());
        return false;
    }
    // Windows refuses to replace a read-only file; the old file keeps its attributes otherwise.
    const uint32_t oldAttributes = fs.attributes(fullPath);
    if (isFile(oldAttributes) && (oldAttributes & kAttributeReadOnly) != 0) removeReadOnlyAttribute(fs, fullPath);
    if (!fs.moveFile(tempPath, fullPath)) {
        printOut("Cannot replace META data file: %s\t!!! Error: %lu\n", fullPath.c_str(),
                 static_cast<unsigned long>(fs.lastError()));
        return false;
    }
    return true;
}

bool readMetaDataFile(FileSystem& fs, const std::string& driveRoot, std::string& out) {
    MetaDataVersion version;
    return readMetaDataFileIfChanged(fs, driveRoot, MetaDataVersion{}, version, out) == MetaDataRead::Read;
}

MetaDataRead readMetaDataFileIfChanged(FileSystem& fs, const std::string& driveRoot, const MetaDataVersion& skipIf,
                                       MetaDataVersion& version, std::string& out) {
    version = MetaDataVersion{};
    const std::string fullPath = metaDataFilePath(driveRoot);
    if (!isFolder(fs.attributes(driveRoot)) || !isFile(fs.attributes(fullPath))) return MetaDataRead::Nothing;
    std::unique_ptr<OpenFile> file =
        fs.open(fullPath, FileAccess::Read, kShareRead | kShareDelete, FileDisposition::OpenExisting, kAttributeNormal);
    if (!file) {
        printOut("Cannot READ data file: %s !!! Error: %lu\n", fullPath.c_str(),
                 static_cast<unsigned long>(fs.lastError()));
        return MetaDataRead::Nothing;
    }
    int64_t size = 0;
    if (!file->size(size) || size < 0) return MetaDataRead::Nothing;
    uint64_t written = 0;
    if (file->lastWriteTime(written)) version = MetaDataVersion{size, written};
    if (version.known() && skipIf.known() && version == skipIf) return MetaDataRead::Unchanged;
    if (size > kMaxMetaDataFileSize) {
        printOut("META data file %s is too large: %lld bytes (max %lld bytes), ignored\n", fullPath.c_str(),
                 static_cast<long long>(size), static_cast<long long>(kMaxMetaDataFileSize));
        return MetaDataRead::Nothing;
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    uint32_t got = 0;
    if (!file->read(&bytes[0], static_cast<uint32_t>(size), got) || got != size) return MetaDataRead::Nothing;
    out = std::move(bytes);
    return MetaDataRead::Read;
}

}  // namespace shuttle
