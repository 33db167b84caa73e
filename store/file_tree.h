#pragma once
// File tree utilities of the store: sizes, recursive removal, copying files and folder trees
// into a destination folder, the attribute reset and the payload folder's time stamp. Every
// problem is printed on the console trace; none of them throws. Destination folders end with
// "\"; paths are UTF-8 except where the platform hands over UTF-16. The store folder belongs
// to this program: what it copies there is writable, so that it can always be removed again.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
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
};

// An application-defined code (bit 29 set, as Win32 reserves for applications): a folder was
// to be copied into a folder inside itself.
constexpr uint32_t kErrorCopyIntoItself = 0x20000001;

// What a Win32 code means for an item, in a few words for the user ("access denied", "in use
// by another program", "not found", ...); "error N" for a code without its own words.
std::string describeFileError(uint32_t error);

// The local time of `clock` formatted "%Y_%m_%d_%H_%M_%S" (19 characters).
std::string makeTimestamp(Clock& clock);

// Sum of the sizes of the files directly in `path`; subfolders count nothing.
uint64_t getDirectorySize(FileSystem& fs, const std::u16string& path);

// The size of a file, or of the files directly in a folder. False, with `error` set, when the
// path does not exist (without a message) or a file cannot be opened or measured; a file that
// cannot be opened is tried again once 400 ms later.
bool getPathSize(FileSystem& fs, Clock& clock, const std::u16string& path, uint64_t& size, uint32_t& error);

// Removes the folder and everything in it, read-only items included. An item that cannot be
// removed (locked, say) stays, and so do the folders above it; everything else goes. False when
// anything stayed; `failed`, when given, then names the first item that stayed. The first
// failure is printed.
bool removeDirectoryRecursively(FileSystem& fs, const std::string& path, FailedItem* failed = nullptr);

// Resets a file to normal attributes (read-only, hidden and system cleared); folders are left alone.
bool removeReadOnlyAttribute(FileSystem& fs, const std::string& path);

// Told the bytes of each piece the copies below have just written (a small file whole, a
// large one chunk by chunk).
using CopiedBytes = std::function<void(uint64_t bytes)>;

// Copies a file into `folder` under its leaf name, replacing a file of that name; the copy is
// never read-only. `sourceAttributes`, when known, spares a look at the copy's attributes.
// Gives the failure, if any (a partial target may stay).
FailedItem copyFileToFolder(FileSystem& fs, CopyBuffer& buffer, const std::string& source, const std::string& folder,
                            uint32_t sourceAttributes = kInvalidAttributes, const CopiedBytes& copied = {});

// Copies a folder with its whole tree into `folder` under its leaf name, merging into an
// existing folder of that name. Stops at the first item that cannot be copied and gives it.
FailedItem copyDirectoryToFolder(FileSystem& fs, CopyBuffer& buffer, const std::string& source,
                                 const std::string& folder, const CopiedBytes& copied = {});

// Copies each path (file or folder) into `folder`; stops at the first item that cannot be
// copied and gives it.
FailedItem copyPathsToFolder(FileSystem& fs, CopyBuffer& buffer, const std::vector<std::string>& paths,
                             const std::string& folder, const CopiedBytes& copied = {});

}  // namespace shuttle
