#include "store/file_tree.h"

#include <cctype>
#include <ctime>

#include "base/print.h"
#include "store/store_layout.h"
#include "base/utf8.h"

namespace shuttle {
namespace {

constexpr uint32_t kRetryDelayMs = 400;

unsigned long code(FileSystem& fs) { return static_cast<unsigned long>(fs.lastError()); }

std::string withSeparator(std::string path) {
    if (path.empty() || path.back() != '\\') path.push_back('\\');
    return path;
}

// A path that begins with exactly one "\" loses it.
template <class Text>
Text withoutSingleLeadingSeparator(const Text& path) {
    if (path.size() >= 1 && path[0] == '\\' && (path.size() < 2 || path[1] != '\\')) return path.substr(1);
    return path;
}

bool sameAsciiCaseless(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// Whether `folder` lies inside `source` (or is it): copying would then feed on its own output.
bool isInside(const std::string& folder, const std::string& source) {
    std::string prefix = withSeparator(source);
    return folder.size() >= prefix.size() && sameAsciiCaseless(folder.substr(0, prefix.size()), prefix);
}

void streamCopy(FileSystem& fs, CopyBuffer& buffer, const std::string& source, const std::string& target,
                const CopiedBytes& copied) {
    std::unique_ptr<OpenFile> in = fs.open(source, FileAccess::Read, kShareRead, FileDisposition::OpenExisting,
                                           kAttributeNormal);
    if (!in) {
        printOut("Failed to open source file %s\t!!! Error: %lu\n", source.c_str(), code(fs));
        return;
    }
    std::unique_ptr<OpenFile> out = fs.open(target, FileAccess::Write, kShareNone, FileDisposition::CreateAlways,
                                            kAttributeNormal);
    if (!out) {
        printOut("Failed to open target file %s\t!!! Error: %lu\n", target.c_str(), code(fs));
        return;
    }
    CopyBuffer::Lease chunk(buffer);
    for (;;) {
        uint32_t got = 0;
        if (!in->read(chunk.data(), kCopyChunkSize, got)) {
            printOut("Failed to read from soutce file: %s\t!!! Error: %lu\n", source.c_str(), code(fs));
            break;
        }
        if (got == 0) break;
        uint32_t put = 0;
        if (!out->write(chunk.data(), got, put) || put != got) {
            printOut("Failed to write to target file: %s\n", target.c_str());
            break;
        }
        if (copied) copied(got);
    }
}

}  // namespace

CopyBuffer::Lease::Lease(CopyBuffer& owner) {
    if (!owner.inUse_.exchange(true)) {
        owner_ = &owner;
        data_ = owner.bytes_.get();
    } else {
        spare_.reset(new char[kCopyChunkSize]);
        data_ = spare_.get();
    }
}

CopyBuffer::Lease::~Lease() {
    if (owner_ != nullptr) owner_->inUse_ = false;
}

std::string makeTimestamp(Clock& clock) {
    std::tm now = clock.localNow();
    char text[64];
    size_t length = std::strftime(text, sizeof text, "%Y_%m_%d_%H_%M_%S", &now);
    return std::string(text, length);
}

uint64_t getDirectorySize(FileSystem& fs, const std::u16string& path) {
    std::string folder;
    if (!tryToUtf8(path, folder)) {
        printOut("Error finding files in directory: %s with error code %lu\n", "",
                 static_cast<unsigned long>(kErrorInvalidName));
        return 0;
    }
    FindEntry entry;
    std::unique_ptr<FindEnumeration> listing = fs.findFirst(withSeparator(folder) + "*", entry);
    if (!listing) {
        printOut("Error finding files in directory: %s with error code %lu\n", folder.c_str(), code(fs));
        return 0;
    }
    uint64_t total = 0;
    do {
        if (!entry.isDirectory()) total += entry.size;
    } while (listing->next(entry));
    uint32_t error = fs.lastError();
    if (error != kErrorNoMoreFiles)
        printErr("Error finding files in directory: \nError code :%lu\n", static_cast<unsigned long>(error));
    return total;
}

bool getPathSize(FileSystem& fs, Clock& clock, const std::u16string& path, uint64_t& size) {
    std::string narrow;
    if (!tryToUtf8(withoutSingleLeadingSeparator(path), narrow)) return false;
    uint32_t attributes = fs.attributes(narrow);
    if (attributes == kInvalidAttributes) return false;
    if (attributes & kAttributeDirectory) {
        size = getDirectorySize(fs, withoutSingleLeadingSeparator(path));
        return true;
    }
    auto openForSize = [&] {
        return fs.open(narrow, FileAccess::Read, kShareRead, FileDisposition::OpenExisting, kAttributeNormal);
    };
    std::unique_ptr<OpenFile> file = openForSize();
    if (!file) {
        clock.sleepMs(kRetryDelayMs);
        file = openForSize();
    }
    if (!file) {
        printErr("Error opening file: %lu\n", code(fs));
        return false;
    }
    int64_t bytes = 0;
    if (!file->size(bytes)) {
        printErr("Error getting file size: %lu\n", code(fs));
        return false;
    }
    if (bytes < 0) {
        printErr("Error: File size is negative. %lu\n", code(fs));
        return false;
    }
    size = static_cast<uint64_t>(bytes);
    return true;
}

bool removeDirectoryRecursively(FileSystem& fs, const std::string& path) {
    std::string folder = withSeparator(path);
    FindEntry entry;
    std::unique_ptr<FindEnumeration> listing = fs.findFirst(folder + "*", entry);
    if (!listing) return false;
    do {
        // A name the platform could not convert cannot be addressed; the folder then stays.
        if (entry.isDotOrDotDot() || entry.name.empty()) continue;
        std::string fullPath = folder + entry.name;
        if (entry.isDirectory()) {
            if (!removeDirectoryRecursively(fs, fullPath)) {
                printOut("!removeDirectoryRecursively fullPath = %s", fullPath.c_str());
                return false;
            }
        } else if (!fs.deleteFile(fullPath)) {
            return false;
        }
    } while (listing->next(entry));
    listing.reset();
    return fs.removeDirectory(path);
}

bool removeReadOnlyAttribute(FileSystem& fs, const std::string& path) {
    uint32_t attributes = fs.attributes(path);
    if (attributes == kInvalidAttributes) {
        printOut("Failed to get file attributes. \n");
        return false;
    }
    if ((attributes & kAttributeDirectory) == 0 && !fs.setAttributes(path, attributes & kAttributeNormal)) {
        printOut("Failed to remove read-only attribute.\n");
        return false;
    }
    return true;
}

void copyFileToFolder(FileSystem& fs, CopyBuffer& buffer, const std::string& source, const std::string& folder,
                      const CopiedBytes& copied) {
    const std::string target = folder + leafName(source);
    if (!fs.deleteFile(target) && fs.lastError() != kErrorFileNotFound)
        printOut("Failed to delete file: %s\n", target.c_str());

    int64_t size = 0;
    {
        std::unique_ptr<OpenFile> file =
            fs.open(source, FileAccess::Read, kShareRead, FileDisposition::OpenExisting, kAttributeNormal);
        if (!file) {
            printOut("Cannot open file: %s\t!!! Error: %lu\n", source.c_str(), code(fs));
            return;
        }
        if (!file->size(size)) {
            printOut("Cannot get file size for %s\t!!! Error: %lu\n", source.c_str(), code(fs));
            return;
        }
    }
    if (size <= static_cast<int64_t>(kCopyChunkSize)) {
        if (!fs.copyFile(source, target, false))
            printOut("Cannot copy file %s\t!!! Error: %lu\n", source.c_str(), code(fs));
        else if (copied)
            copied(static_cast<uint64_t>(size));
        return;
    }
    streamCopy(fs, buffer, source, target, copied);
}

void copyDirectoryToFolder(FileSystem& fs, CopyBuffer& buffer, const std::string& source, const std::string& folder,
                           const CopiedBytes& copied) {
    if (isInside(folder, source)) {
        printOut("Cannot copy folder %s into itself: %s\n", source.c_str(), folder.c_str());
        return;
    }
    const std::string newFolder = folder + leafName(source);
    if (!fs.createDirectory(newFolder) && fs.lastError() != kErrorAlreadyExists) {
        printOut("Failed to create directory:  = %s\n", newFolder.c_str());
        return;
    }
    FindEntry entry;
    std::unique_ptr<FindEnumeration> listing = fs.findFirst(source + "\\*", entry);
    if (!listing) {
        printOut("Failed to open directory:  = %s\n", source.c_str());
        return;
    }
    const std::string childFolder = newFolder + "\\";
    do {
        if (entry.isDotOrDotDot()) continue;
        if (entry.name.empty()) {
            printOut("Skipped a name in %s that is not valid Unicode\n", source.c_str());
            continue;
        }
        const std::string child = source + "\\" + entry.name;
        if (entry.isDirectory())
            copyDirectoryToFolder(fs, buffer, child, childFolder, copied);
        else
            copyFileToFolder(fs, buffer, child, childFolder, copied);
    } while (listing->next(entry));
}

void copyPathsToFolder(FileSystem& fs, CopyBuffer& buffer, const std::vector<std::string>& paths,
                       const std::string& folder, const CopiedBytes& copied) {
    for (const std::string& original : paths) {
        const std::string path = withoutSingleLeadingSeparator(original);
        uint32_t attributes = fs.attributes(path);
        if (attributes != kInvalidAttributes && (attributes & kAttributeDirectory))
            copyDirectoryToFolder(fs, buffer, path, folder, copied);
        else
            copyFileToFolder(fs, buffer, path, folder, copied);
    }
}

}  // namespace shuttle
