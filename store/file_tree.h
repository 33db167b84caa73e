#pragma once
// File tree utilities of the store: sizes, recursive removal, copying files and folder trees
// into a destination folder, the attribute reset and the payload folder's time stamp. Every
// problem is printed on the console trace; none of them throws. Destination folders end with
// "\"; paths are UTF-8 except where the platform hands over UTF-16.

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

// The local time of `clock` formatted "%Y_%m_%d_%H_%M_%S" (19 characters).
std::string makeTimestamp(Clock& clock);

// Sum of the sizes of the files directly in `path`; subfolders count nothing.
uint64_t getDirectorySize(FileSystem& fs, const std::u16string& path);

// The size of a file, or of the files directly in a folder. False, without a message, when the
// path does not exist; a file that cannot be opened is tried again once 400 ms later.
bool getPathSize(FileSystem& fs, Clock& clock, const std::u16string& path, uint64_t& size);

// Removes the folder and everything in it; false at the first entry that cannot be removed,
// keeping what was already deleted.
bool removeDirectoryRecursively(FileSystem& fs, const std::string& path);

// Resets a file to normal attributes (read-only, hidden and system cleared); folders are left alone.
bool removeReadOnlyAttribute(FileSystem& fs, const std::string& path);

// Told the bytes of each piece the copies below have just written (a small file whole, a
// large one chunk by chunk).
using CopiedBytes = std::function<void(uint64_t bytes)>;

// Copies a file into `folder` under its leaf name, replacing a file of that name.
void copyFileToFolder(FileSystem& fs, CopyBuffer& buffer, const std::string& source, const std::string& folder,
                      const CopiedBytes& copied = {});

// Copies a folder with its whole tree into `folder` under its leaf name, merging into an
// existing folder of that name.
void copyDirectoryToFolder(FileSystem& fs, CopyBuffer& buffer, const std::string& source, const std::string& folder,
                           const CopiedBytes& copied = {});

// Copies each path (file or folder) into `folder`.
void copyPathsToFolder(FileSystem& fs, CopyBuffer& buffer, const std::vector<std::string>& paths,
                       const std::string& folder, const CopiedBytes& copied = {});

}  // namespace shuttle
