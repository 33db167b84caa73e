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

FailedItem failure(const std::string& path, uint32_t error) {
    return FailedItem{path, error != 0 ? error : kErrorGenFailure};
}

// The attributes that SetFileAttributesW takes, without read-only.
uint32_t writableAttributes(uint32_t attributes) {
    const uint32_t kept = attributes & (kAttributeHidden | kAttributeSystem | kAttributeArchive);
    return kept != 0 ? kept : kAttributeNormal;
}

FailedItem streamCopy(FileSystem& fs, CopyBuffer& buffer, const std::string& source, const std::string& target,
                      const CopiedBytes& copied) {
    std::unique_ptr<OpenFile> in = fs.open(source, FileAccess::Read, kShareRead, FileDisposition::OpenExisting,
                                           kAttributeNormal);
    if (!in) {
        const uint32_t error = fs.lastError();
        printOut("Failed to open source file %s\t!!! Error: %lu\n", source.c_str(), static_cast<unsigned long>(error));
        return failure(source, error);
    }
    std::unique_ptr<OpenFile> out = fs.open(target, FileAccess::Write, kShareNone, FileDisposition::CreateAlways,
                                            kAttributeNormal);
    if (!out) {
        const uint32_t error = fs.lastError();
        printOut("Failed to open target file %s\t!!! Error: %lu\n", target.c_str(), static_cast<unsigned long>(error));
        return failure(source, error);
    }
    CopyBuffer::Lease chunk(buffer);
    for (;;) {
        uint32_t got = 0;
        if (!in->read(chunk.data(), kCopyChunkSize, got)) {
            const uint32_t error = fs.lastError();
            printOut("Failed to read from soutce file: %s\t!!! Error: %lu\n", source.c_str(),
                     static_cast<unsigned long>(error));
            return failure(source, error);
        }
        if (got == 0) return {};
        uint32_t put = 0;
        if (!out->write(chunk.data(), got, put) || put != got) {
            // A write that reports success for fewer bytes ran out of room.
            const uint32_t error = put != got && put != 0 ? kErrorDiskFull : fs.lastError();
            printOut("Failed to write to target file: %s\n", target.c_str());
            return failure(source, error != 0 ? error : kErrorDiskFull);
        }
        if (copied) copied(got);
    }
}

// Removes what `folder` holds, then the folder; notes the first item that stays in `failed`.
bool removeTree(FileSystem& fs, const std::string& path, FailedItem& failed) {
    auto note = [&](const std::string& item, uint32_t error) {
        if (!failed.failed()) failed = failure(item, error);
        return false;
    };
    const std::string folder = withSeparator(path);
    FindEntry entry;
    std::unique_ptr<FindEnumeration> listing = fs.findFirst(folder + "*", entry);
    if (!listing) {
        const uint32_t error = fs.lastError();
        if (error == kErrorPathNotFound || error == kErrorFileNotFound) return true;  // gone already
        return note(path, error);
    }
    bool whole = true;
    do {
        if (entry.isDotOrDotDot()) continue;
        if (entry.name.empty()) {  // a name the platform could not convert cannot be addressed
            whole = note(folder, kErrorInvalidName);
            continue;
        }
        const std::string fullPath = folder + entry.name;
        // A read-only item cannot be deleted.
        if (entry.attributes & kAttributeReadOnly) fs.setAttributes(fullPath, writableAttributes(entry.attributes));
        if (entry.isDirectory()) {
            if (!removeTree(fs, fullPath, failed)) whole = false;
        } else if (!fs.deleteFile(fullPath)) {
            whole = note(fullPath, fs.lastError());
        }
    } while (listing->next(entry));
    const uint32_t ended = fs.lastError();
    listing.reset();
    if (ended != kErrorNoMoreFiles) whole = note(folder, ended);
    if (!whole) return false;
    if (fs.removeDirectory(path)) return true;
    const uint32_t error = fs.lastError();
    const uint32_t attributes = fs.attributes(path);
    if (attributes != kInvalidAttributes && (attributes & kAttributeReadOnly) &&
        fs.setAttributes(path, writableAttributes(attributes)) && fs.removeDirectory(path))
        return true;
    return note(path, error);
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

std::string describeFileError(uint32_t error) {
    switch (error) {
        case kErrorAccessDenied: return "access denied";
        case kErrorSharingViolation:
        case kErrorLockViolation: return "in use by another program";
        case kErrorFileNotFound:
        case kErrorPathNotFound: return "not found";
        case kErrorInvalidName:
        case kErrorBadPathname: return "invalid name";
        case kErrorFilenameTooLong: return "name too long";
        case kErrorDiskFull:
        case kErrorHandleDiskFull: return "the drive is full";
        case kErrorWriteProtect: return "the drive is write-protected";
        case kErrorNotReady: return "the drive is not ready";
        case kErrorCrc:
        case kErrorIoDevice: return "device error";
        case kErrorNotEnoughMemory: return "not enough memory";
        case kErrorCopyIntoItself: return "it holds the store folder";
        default: return "error " + std::to_string(error);
    }
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

bool getPathSize(FileSystem& fs, Clock& clock, const std::u16string& path, uint64_t& size, uint32_t& error) {
    std::string narrow;
    if (!tryToUtf8(withoutSingleLeadingSeparator(path), narrow)) {
        error = kErrorInvalidName;
        return false;
    }
    uint32_t attributes = fs.attributes(narrow);
    if (attributes == kInvalidAttributes) {
        error = fs.lastError();
        return false;
    }
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
        error = fs.lastError();
        printErr("Error opening file: %lu\n", static_cast<unsigned long>(error));
        return false;
    }
    int64_t bytes = 0;
    if (!file->size(bytes)) {
        error = fs.lastError();
        printErr("Error getting file size: %lu\n", static_cast<unsigned long>(error));
        return false;
    }
    if (bytes < 0) {
        error = kErrorGenFailure;
        printErr("Error: File size is negative. %lu\n", static_cast<unsigned long>(error));
        return false;
    }
    size = static_cast<uint64_t>(bytes);
    return true;
}

bool removeDirectoryRecursively(FileSystem& fs, const std::string& path, FailedItem* failed) {
    FailedItem first;
    if (removeTree(fs, path, first)) return true;
    printOut("Cannot remove %s\t!!! Error: %lu\n", first.path.c_str(), static_cast<unsigned long>(first.error));
    if (failed != nullptr) *failed = first;
    return false;
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

FailedItem copyFileToFolder(FileSystem& fs, CopyBuffer& buffer, const std::string& source, const std::string& folder,
                            uint32_t sourceAttributes, const CopiedBytes& copied) {
    const std::string target = folder + leafName(source);
    if (!fs.deleteFile(target) && fs.lastError() != kErrorFileNotFound)
        printOut("Failed to delete file: %s\n", target.c_str());

    int64_t size = 0;
    {
        std::unique_ptr<OpenFile> file =
            fs.open(source, FileAccess::Read, kShareRead, FileDisposition::OpenExisting, kAttributeNormal);
        if (!file) {
            const uint32_t error = fs.lastError();
            printOut("Cannot open file: %s\t!!! Error: %lu\n", source.c_str(), static_cast<unsigned long>(error));
            return failure(source, error);
        }
        if (!file->size(size)) {
            const uint32_t error = fs.lastError();
            printOut("Cannot get file size for %s\t!!! Error: %lu\n", source.c_str(), static_cast<unsigned long>(error));
            return failure(source, error);
        }
    }
    if (size > static_cast<int64_t>(kCopyChunkSize)) return streamCopy(fs, buffer, source, target, copied);
    if (!fs.copyFile(source, target, false)) {
        const uint32_t error = fs.lastError();
        printOut("Cannot copy file %s\t!!! Error: %lu\n", source.c_str(), static_cast<unsigned long>(error));
        return failure(source, error);
    }
    // The platform copy keeps the source's attributes; a read-only copy would block the
    // removal of its folder at the next copy.
    const uint32_t attributes = sourceAttributes != kInvalidAttributes ? sourceAttributes : fs.attributes(target);
    if (attributes != kInvalidAttributes && (attributes & kAttributeReadOnly) &&
        !fs.setAttributes(target, writableAttributes(attributes))) {
        const uint32_t error = fs.lastError();
        printOut("Cannot make the copy %s writable\t!!! Error: %lu\n", target.c_str(), static_cast<unsigned long>(error));
        return failure(source, error);
    }
    if (copied) copied(static_cast<uint64_t>(size));
    return {};
}

FailedItem copyDirectoryToFolder(FileSystem& fs, CopyBuffer& buffer, const std::string& source,
                                 const std::string& folder, const CopiedBytes& copied) {
    if (isInside(folder, source)) {
        printOut("Cannot copy folder %s into itself: %s\n", source.c_str(), folder.c_str());
        return failure(source, kErrorCopyIntoItself);
    }
    const std::string newFolder = folder + leafName(source);
    if (!fs.createDirectory(newFolder) && fs.lastError() != kErrorAlreadyExists) {
        const uint32_t error = fs.lastError();
        printOut("Failed to create directory:  = %s\n", newFolder.c_str());
        return failure(source, error);
    }
    FindEntry entry;
    std::unique_ptr<FindEnumeration> listing = fs.findFirst(source + "\\*", entry);
    if (!listing) {
        const uint32_t error = fs.lastError();
        printOut("Failed to open directory:  = %s\n", source.c_str());
        return failure(source, error);
    }
    const std::string childFolder = newFolder + "\\";
    do {
        if (entry.isDotOrDotDot()) continue;
        if (entry.name.empty()) {
            printOut("A name in %s is not valid Unicode\n", source.c_str());
            return failure(source, kErrorInvalidName);
        }
        const std::string child = source + "\\" + entry.name;
        FailedItem failed = entry.isDirectory()
                                ? copyDirectoryToFolder(fs, buffer, child, childFolder, copied)
                                : copyFileToFolder(fs, buffer, child, childFolder, entry.attributes, copied);
        if (failed.failed()) return failed;
    } while (listing->next(entry));
    const uint32_t ended = fs.lastError();
    if (ended != kErrorNoMoreFiles) {
        printOut("Listing %s broke off\t!!! Error: %lu\n", source.c_str(), static_cast<unsigned long>(ended));
        return failure(source, ended);
    }
    return {};
}

FailedItem copyPathsToFolder(FileSystem& fs, CopyBuffer& buffer, const std::vector<std::string>& paths,
                             const std::string& folder, const CopiedBytes& copied) {
    for (const std::string& original : paths) {
        const std::string path = withoutSingleLeadingSeparator(original);
        uint32_t attributes = fs.attributes(path);
        FailedItem failed = attributes != kInvalidAttributes && (attributes & kAttributeDirectory)
                                ? copyDirectoryToFolder(fs, buffer, path, folder, copied)
                                : copyFileToFolder(fs, buffer, path, folder, attributes, copied);
        if (failed.failed()) return failed;
    }
    return {};
}

}  // namespace shuttle
