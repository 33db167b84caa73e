#include "support/test_drives.h"

#include <algorithm>

namespace shuttle::testing {

bool writeFile(FileSystem& fs, const std::string& path, const std::string& bytes) {
    if (exists(fs, path)) fs.setAttributes(path, kAttributeNormal);
    std::unique_ptr<OpenFile> file =
        fs.open(path, FileAccess::Write, kShareNone, FileDisposition::CreateAlways, kAttributeNormal);
    uint32_t put = 0;
    return file && file->write(bytes.data(), static_cast<uint32_t>(bytes.size()), put) && put == bytes.size();
}

std::string patternBytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return bytes;
}

bool writePatternFile(FileSystem& fs, const std::string& path, size_t size, unsigned seed) {
    return writeFile(fs, path, patternBytes(size, seed));
}

bool readFile(FileSystem& fs, const std::string& path, std::string& bytes) {
    std::unique_ptr<OpenFile> file =
        fs.open(path, FileAccess::Read, kShareRead, FileDisposition::OpenExisting, kAttributeNormal);
    int64_t size = 0;
    if (!file || !file->size(size)) return false;
    bytes.assign(static_cast<size_t>(size), '\0');
    uint32_t got = 0;
    return file->read(&bytes[0], static_cast<uint32_t>(size), got) && got == size;
}

bool makeFolder(FileSystem& fs, const std::string& path) {
    return fs.createDirectory(path) || fs.lastError() == kErrorAlreadyExists;
}

bool exists(FileSystem& fs, const std::string& path) { return fs.attributes(path) != kInvalidAttributes; }

bool isFolderAt(FileSystem& fs, const std::string& path) {
    const uint32_t attributes = fs.attributes(path);
    return attributes != kInvalidAttributes && (attributes & kAttributeDirectory);
}

std::vector<std::string> namesIn(FileSystem& fs, const std::string& folder) {
    std::vector<std::string> names;
    std::string prefix = folder.empty() || folder.back() == '\\' ? folder : folder + "\\";
    FindEntry entry;
    std::unique_ptr<FindEnumeration> listing = fs.findFirst(prefix + "*", entry);
    if (!listing) return names;
    do {
        if (!entry.isDotOrDotDot()) names.push_back(entry.name);
    } while (listing->next(entry));
    std::sort(names.begin(), names.end());
    return names;
}

void wipeTree(FileSystem& fs, const std::string& path) {
    std::string prefix = path.empty() || path.back() == '\\' ? path : path + "\\";
    for (const std::string& name : namesIn(fs, path)) {
        std::string child = prefix + name;
        fs.setAttributes(child, kAttributeNormal);
        if (isFolderAt(fs, child))
            wipeTree(fs, child);
        else
            fs.deleteFile(child);
    }
    fs.setAttributes(path, kAttributeNormal);
    fs.removeDirectory(path);
}

}  // namespace shuttle::testing
