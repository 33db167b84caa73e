#include "store/file_tree.h"

#include <ctime>

#include "base/print.h"
#include "base/utf8.h"
#include "store/item_names.h"
#include "store/store_layout.h"

namespace shuttle {
namespace {

constexpr uint32_t kRetryDelayMs = 400;

std::string withSeparator(std::string path) {
    if (path.empty() || path.back() != '\\') path.push_back('\\');
    return path;
}

bool raised(Wakeup* cancel) { return cancel != nullptr && cancel->raised(); }

// A folder's path as ListedFiles knows it: one separator between names and none at the end,
// however the path came ("C:\d\" and the "C:\d\\sub" made of it are "C:\d" and "C:\d\sub").
std::string listingKey(const std::string& path) {
    std::string key;
    key.reserve(path.size());
    for (const char c : path) {
        if (c != '\\' || key.empty() || key.back() != '\\') key.push_back(c);
    }
    if (!key.empty() && key.back() == '\\') key.pop_back();
    return key;
}

// Sleeps `ms`; true as soon as `cancel` is raised.
bool pausedUntilCancelled(Clock& clock, Wakeup* cancel, uint32_t ms) {
    if (cancel != nullptr) return clock.sleepUnless(*cancel, ms);
    clock.sleepMs(ms);
    return false;
}

uint64_t saturatingSum(uint64_t a, uint64_t b) {
    return b > std::numeric_limits<uint64_t>::max() - a ? std::numeric_limits<uint64_t>::max() : a + b;
}

// Adds the sizes of the files directly in `folder` to `total` and queues its subfolders, until
// the total passes `budget` or `cancel` is raised.
uint64_t countFolder(FileSystem& fs, const std::string& folder, uint64_t budget, Wakeup* cancel,
                     uint64_t total, std::vector<std::string>& subfolders, ListedFiles* listed) {
    FindEntry entry;
    std::unique_ptr<FindEnumeration> listing = fs.findFirst(withSeparator(folder) + "*", entry, FindDetail::Basic);
    ListedFiles::Folder* noted = listing && listed != nullptr ? &listed->add(folder) : nullptr;
    if (!listing) {
        const uint32_t error = fs.lastError();
        if (error != kErrorFileNotFound)  // an empty drive root lists nothing at all
            printOut("Error finding files in directory: %s with error code %lu\n", folder.c_str(),
                     static_cast<unsigned long>(error));
        return total;
    }
    do {
        if (entry.isDotOrDotDot() || entry.isLink()) continue;
        if (!entry.isDirectory()) {
            total = saturatingSum(total, entry.size);
            if (noted != nullptr) listed->note(*noted, entry);
        } else if (!entry.name.empty()) {  // a name that cannot be addressed fails the copy instead
            subfolders.push_back(withSeparator(folder) + entry.name);
        }
        if (total > budget || raised(cancel)) return total;
    } while (listing->next(entry));
    const uint32_t error = fs.lastError();
    if (error != kErrorNoMoreFiles)
        printErr("Error finding files in directory: \nError code :%lu\n", static_cast<unsigned long>(error));
    return total;
}

bool removeTree(FileSystem& fs, const std::string& path, FailedItem& failed);

// Removes one listed entry of `folder`: a link as itself, a folder with its tree, a file.
bool removeEntry(FileSystem& fs, const std::string& folder, const FindEntry& entry, FailedItem& failed) {
    auto note = [&](const std::string& item, uint32_t error) {
        if (!failed.failed()) failed = FailedItem::of(item, error);
        return false;
    };
    if (entry.name.empty()) return note(folder, kErrorInvalidName);  // cannot be addressed
    const std::string fullPath = folder + entry.name;
    // A read-only item cannot be deleted (a link keeps its own: the change could reach its target).
    if (!entry.isLink() && (entry.attributes & kAttributeReadOnly))
        fs.setAttributes(fullPath, writableAttributes(entry.attributes));
    if (entry.isDirectory() && !entry.isLink()) return removeTree(fs, fullPath, failed);
    const bool removed = entry.isDirectory() ? fs.removeDirectory(fullPath) : fs.deleteFile(fullPath);
    return removed || note(fullPath, fs.lastError());
}

// Removes what `path` holds but the entry named `kept`, until `cancel` is raised. True when
// nothing else stayed and the listing went to its end.
bool removeEntries(FileSystem& fs, const std::string& path, const std::string& kept, FailedItem& failed,
                   Wakeup* cancel) {
    const std::string folder = withSeparator(path);
    FindEntry entry;
    std::unique_ptr<FindEnumeration> listing = fs.findFirst(folder + "*", entry);
    if (!listing) {
        const uint32_t error = fs.lastError();
        if (error == kErrorPathNotFound || error == kErrorFileNotFound) return true;  // gone already
        if (!failed.failed()) failed = FailedItem::of(path, error);
        return false;
    }
    bool whole = true;
    do {
        if (entry.isDotOrDotDot() || (!kept.empty() && entry.name == kept)) continue;
        if (raised(cancel)) return false;
        if (!removeEntry(fs, folder, entry, failed)) whole = false;
    } while (listing->next(entry));
    const uint32_t ended = fs.lastError();
    if (ended == kErrorNoMoreFiles) return whole;
    if (!failed.failed()) failed = FailedItem::of(folder, ended);
    return false;
}

// Removes what `folder` holds, then the folder; notes the first item that stays in `failed`.
bool removeTree(FileSystem& fs, const std::string& path, FailedItem& failed) {
    if (!removeEntries(fs, path, "", failed, nullptr)) return false;
    if (fs.removeDirectory(path)) return true;
    const uint32_t error = fs.lastError();
    if (error == kErrorPathNotFound || error == kErrorFileNotFound) return true;
    const uint32_t attributes = fs.attributes(path);
    if (attributes != kInvalidAttributes && (attributes & kAttributeReadOnly) &&
        fs.setAttributes(path, writableAttributes(attributes)) && fs.removeDirectory(path))
        return true;
    if (!failed.failed()) failed = FailedItem::of(path, error);
    return false;
}

void printLeftover(const FailedItem& first) {
    printOut("Cannot remove %s\t!!! Error: %lu\n", first.path.c_str(), static_cast<unsigned long>(first.error));
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
        case kErrorCancelled: return "cancelled";
        case kErrorCopyIntoItself: return "it holds the store folder";
        default: return "error " + std::to_string(error);
    }
}

std::string makeTimestamp(Clock& clock, unsigned laterSeconds) {
    std::tm now = clock.localNow();
    if (laterSeconds > 0) {  // mktime carries the seconds into minutes, hours, days
        now.tm_sec += static_cast<int>(laterSeconds);
        now.tm_isdst = -1;
        std::mktime(&now);
    }
    char text[64];
    size_t length = std::strftime(text, sizeof text, "%Y_%m_%d_%H_%M_%S", &now);
    return std::string(text, length);
}

const ListedFiles::File* ListedFiles::Folder::find(const std::string& name) {
    if (next_ < files_.size() && files_[next_].name == name) return &files_[next_++];
    if (byName_.empty()) {
        for (size_t i = 0; i < files_.size(); ++i) byName_.emplace(files_[i].name, i);
    }
    auto found = byName_.find(name);
    if (found == byName_.end()) return nullptr;
    next_ = found->second + 1;
    return &files_[found->second];
}

ListedFiles::Folder& ListedFiles::add(const std::string& path) { return folders_[listingKey(path)]; }

void ListedFiles::note(Folder& folder, const FindEntry& entry) {
    if (++files_ > kMostFiles) {
        whole_ = false;
        return;
    }
    folder.files_.push_back(File{entry.name, entry.size, entry.attributes});
}

ListedFiles::Folder* ListedFiles::find(const std::string& path) {
    auto found = folders_.find(listingKey(path));
    return found == folders_.end() ? nullptr : &found->second;
}

uint64_t getDirectorySize(FileSystem& fs, const std::string& folder, uint64_t budget, Wakeup* cancel,
                          ListedFiles* listed) {
    // Folders wait in a list rather than on the stack: a deep tree needs no deep recursion.
    std::vector<std::string> pending{folder};
    uint64_t total = 0;
    while (!pending.empty() && total <= budget && !raised(cancel)) {
        const std::string next = std::move(pending.back());
        pending.pop_back();
        total = countFolder(fs, next, budget, cancel, total, pending, listed);
    }
    return total;
}

bool getPathSize(FileSystem& fs, Clock& clock, const std::u16string& path, uint64_t& size, uint32_t& error,
                 uint64_t budget, Wakeup* cancel, ListedFiles* listed) {
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
        size = getDirectorySize(fs, narrow, budget, cancel, listed);
        if (!raised(cancel)) return true;
        error = kErrorCancelled;
        return false;
    }
    auto openForSize = [&] {
        return fs.open(narrow, FileAccess::Read, kShareRead, FileDisposition::OpenExisting, kAttributeNormal);
    };
    std::unique_ptr<OpenFile> file = openForSize();
    if (!file) {
        if (pausedUntilCancelled(clock, cancel, kRetryDelayMs)) {
            error = kErrorCancelled;
            return false;
        }
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
    printLeftover(first);
    if (failed != nullptr) *failed = first;
    return false;
}

bool removeFolderEntriesExcept(FileSystem& fs, const std::string& folder, const std::string& kept,
                               FailedItem& failed, Wakeup* cancel) {
    failed = FailedItem{};
    if (removeEntries(fs, folder, kept, failed, cancel)) return true;
    if (failed.failed()) printLeftover(failed);
    return false;
}

uint32_t writableAttributes(uint32_t attributes) {
    const uint32_t kept = attributes & (kAttributeHidden | kAttributeSystem | kAttributeArchive);
    return kept != 0 ? kept : kAttributeNormal;
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

bool isSameOrInside(const std::string& inner, const std::string& outer) {
    const std::u16string folded = foldedName(withSeparator(inner));
    const std::u16string prefix = foldedName(withSeparator(outer));
    return folded.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace shuttle
