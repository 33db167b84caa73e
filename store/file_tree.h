#pragma once
// File tree utilities of the store: sizes, recursive removal, the attribute reset, the
// payload folder's time stamp and the copy buffer (store/tree_copy.h copies with it). Every
// problem is printed on the console trace; none of them throws. Paths are UTF-8 except where
// the platform hands over UTF-16.

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"

namespace shuttle {

// Files up to this size go through the platform's copy; larger ones are streamed in chunks of
// exactly this size.
constexpr uint32_t kCopyChunkSize = 65792;  // 0x10100

// The streamed copy's one long-lived buffer. A computer owns one and passes it to every copy,
// so that copying allocates nothing per file. Should a second thread copy at the same time,
// that copy gets a buffer of its own instead of sharing this one.
class CopyBuffer {
public:
    class Lease {
    public:
        explicit Lease(CopyBuffer& owner);
        ~Lease();
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        char* data() { return data_; }

    private:
        CopyBuffer* owner_ = nullptr;  // set while the shared buffer is held
        std::unique_ptr<char[]> spare_;
        char* data_ = nullptr;
    };

    CopyBuffer() : bytes_(new char[kCopyChunkSize]) {}

private:
    std::unique_ptr<char[]> bytes_;
    std::atomic<bool> inUse_{false};
};

// The first item a copy or a removal could not handle, with the Win32 code of why.
struct FailedItem {
    std::string path;    // UTF-8; for a copy, the source item
    uint32_t error = 0;  // 0 while nothing failed

    bool failed() const { return error != 0; }
    // The failure of `path`; a code of 0 (the platform gave none) becomes a general failure.
    static FailedItem of(std::string path, uint32_t error) {
        return FailedItem{std::move(path), error != 0 ? error : kErrorGenFailure};
    }
};

// The failure of a copy ended by a cancel request.
inline bool isCancelled(const FailedItem& item) { return item.error == kErrorCancelled; }

// An application-defined code (bit 29 set, as Win32 reserves for applications): a folder was
// to be copied into a folder inside itself.
constexpr uint32_t kErrorCopyIntoItself = 0x20000001;

// What a Win32 code means for an item, in a few words for the user ("access denied", "in use
// by another program", "not found", ...); "error N" for a code without its own words.
std::string describeFileError(uint32_t error);

// The local time of `clock`, `laterSeconds` on, formatted "%Y_%m_%d_%H_%M_%S" (19 characters).
std::string makeTimestamp(Clock& clock, unsigned laterSeconds = 0);

// The files a measure listed, folder by folder, with the size and attributes the listing gave
// (a file's read-only bit, not hidden or system): a copy right after takes them from here rather
// than looking at every file again. It keeps so many at most; past that it is not whole, and the
// copy looks again.
class ListedFiles {
public:
    struct File {
        std::string name;
        uint64_t size = 0;
        uint32_t attributes = 0;
    };
    // One folder's files, in the order of its listing.
    class Folder {
    public:
        // The file of that name, or null. The one after the last found is tried first: listed
        // again, an unchanged folder gives its names in the same order.
        const File* find(const std::string& name);

    private:
        friend class ListedFiles;
        std::vector<File> files_;
        size_t next_ = 0;
        std::unordered_map<std::string, size_t> byName_;  // made at the first name out of order
    };
    static constexpr size_t kMostFiles = 500000;  // some 30 MB

    // The folder of that path ("C:\folder" or "C:\folder\" alike), made empty where new.
    Folder& add(const std::string& path);
    void note(Folder& folder, const FindEntry& entry);
    Folder* find(const std::string& path);
    bool whole() const { return whole_; }

private:
    std::unordered_map<std::string, Folder> folders_;
    size_t files_ = 0;
    bool whole_ = true;
};

// The size of a folder's whole tree: every file at every depth, each counted once. Links
// (symbolic links, junctions, mount points) inside it are not followed and count nothing. The
// count stops as soon as it passes `budget` - the result then only tells that the tree is larger
// - or when `cancel` is raised. A subfolder that cannot be listed is printed and counts what
// was seen of it. `listed`, when given, hears of every file counted.
uint64_t getDirectorySize(FileSystem& fs, const std::string& folder,
                          uint64_t budget = std::numeric_limits<uint64_t>::max(), Wakeup* cancel = nullptr,
                          ListedFiles* listed = nullptr);

// The size of a file, or of a folder's tree as getDirectorySize counts it. False, with `error`
// set, when the path does not exist (without a message) or a file cannot be opened or
// measured; a file that cannot be opened is tried again once 400 ms later (unless `cancel` is
// raised meanwhile: then false with kErrorCancelled).
bool getPathSize(FileSystem& fs, Clock& clock, const std::u16string& path, uint64_t& size, uint32_t& error,
                 uint64_t budget = std::numeric_limits<uint64_t>::max(), Wakeup* cancel = nullptr,
                 ListedFiles* listed = nullptr);

// Removes the folder and everything in it, read-only items included; a link inside goes itself,
// never what it points to. An item that cannot be removed (locked, say) stays, and so do the
// folders above it; everything else goes. False when anything stayed; `failed`, when given,
// then names the first item that stayed. The first failure is printed.
bool removeDirectoryRecursively(FileSystem& fs, const std::string& path, FailedItem* failed = nullptr);

// Removes every entry of `folder` except the one named `kept`, as removeDirectoryRecursively
// removes a folder; stops early when `cancel` is raised. False when anything but `kept` stayed
// (`failed` then names the first item that stayed, unless only the cancel stopped it).
bool removeFolderEntriesExcept(FileSystem& fs, const std::string& folder, const std::string& kept,
                               FailedItem& failed, Wakeup* cancel = nullptr);

// `attributes` as SetFileAttributesW takes them, without read-only.
uint32_t writableAttributes(uint32_t attributes);

// Resets a file to normal attributes (read-only, hidden and system cleared); folders are left alone.
bool removeReadOnlyAttribute(FileSystem& fs, const std::string& path);

// Whether `inner` is `outer` or lies inside it, names compared as Windows compares them.
bool isSameOrInside(const std::string& inner, const std::string& outer);

}  // namespace shuttle
