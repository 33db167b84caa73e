#pragma once
// Copying files and folder trees into the store. The store folder belongs to this program:
// what it copies there is writable, so that it can always be removed again. Every problem is
// printed on the console trace; none of them throws.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "store/file_tree.h"

namespace shuttle {

// Told the bytes of each piece a copy has just written (a small file whole, a large one chunk
// by chunk).
using CopiedBytes = std::function<void(uint64_t bytes)>;

// The most bytes a large file's chunk carries where the system copies it between the open
// files itself (OpenFile::copyTo). From 64 KiB to 8 MiB a chunk copies equally fast; 1 MiB
// keeps the calls few and a cancel's wait short (a fifth of a second at 5 MB/s).
constexpr uint32_t kSystemCopyChunkSize = 1u << 20;

// One copy: the files, the buffer, who hears of the bytes written, and the request that ends
// it early. A raised `cancel` stops the copy before its next file or chunk; the copy then
// fails with kErrorCancelled, naming the item it was at.
struct CopyRun {
    FileSystem& fs;
    CopyBuffer& buffer;
    CopiedBytes copied;              // may be empty
    Wakeup* cancel = nullptr;  // may be null: nothing cancels
    bool renamed = false;      // an item inside a folder got a safe name (store/safe_names.h)
    uint32_t systemChunkSize = kSystemCopyChunkSize;  // a chunk copied inside the system
    ListedFiles* listed = nullptr;  // the files the measure before the copy saw, if any

    bool cancelled() const { return cancel != nullptr && cancel->raised(); }
};

// Copies a file to `target`, a new name (a writable file there is replaced); the copy is never
// read-only. `sourceAttributes`, when known, spares a look at the copy's attributes unless it
// is read-only. Gives the failure, if any (a partial target may stay). Inside a folder's copy,
// the listing's sizes and attributes spare opening each file to measure it.
FailedItem copyFileTo(CopyRun& run, const std::string& source, const std::string& target,
                      uint32_t sourceAttributes = kInvalidAttributes);

// Copies a folder with its whole tree to `target` (made, or taken as it is). Links inside
// (symbolic links, junctions) are not followed: they are left out, as the size of the tree
// leaves them out. Each item inside is stored under a name the drive and a Windows peer can
// hold (a Linux folder may hold "a:b", and "Notes" beside "notes"), distinct in its folder.
// Stops at the first item that cannot be copied and gives it.
FailedItem copyDirectoryTo(CopyRun& run, const std::string& source, const std::string& target);

// copyDirectoryTo for a folder, copyFileTo for anything else; a source path that begins with
// exactly one "\" loses it.
FailedItem copyItemTo(CopyRun& run, const std::string& source, const std::string& target);

}  // namespace shuttle
