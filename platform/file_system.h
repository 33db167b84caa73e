#pragma once
// The file operations the store needs, with the semantics of the Win32 calls they stand for
// (CreateFileW, GetFileSizeEx, GetFileTime, ReadFile, WriteFile, CopyFileW, DeleteFileW, Get/SetFileAttributesW,
// FindFirstFileW/FindNextFileW, CreateDirectoryW, RemoveDirectoryW, GetLastError). Paths are UTF-8
// Windows paths ("E:\folder\name"); each implementation converts them at its own boundary.
// Failures are reported Windows-style: the call gives false (or null) and lastError() then holds
// the Win32 error code of the failure on this thread.

#include <cstdint>
#include <memory>
#include <string>

namespace shuttle {

// Win32 attribute bits.
constexpr uint32_t kAttributeReadOnly = 0x1;
constexpr uint32_t kAttributeHidden = 0x2;
constexpr uint32_t kAttributeSystem = 0x4;
constexpr uint32_t kAttributeDirectory = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;
constexpr uint32_t kAttributeNormal = 0x80;
constexpr uint32_t kAttributeReparsePoint = 0x400;
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

// Win32 error codes the store looks at or produces.
constexpr uint32_t kErrorInvalidFunction = 1;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorTooManyOpenFiles = 4;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorNotSameDevice = 17;
constexpr uint32_t kErrorNoMoreFiles = 18;
constexpr uint32_t kErrorWriteProtect = 19;
constexpr uint32_t kErrorNotReady = 21;
constexpr uint32_t kErrorCrc = 23;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorLockViolation = 33;
constexpr uint32_t kErrorHandleDiskFull = 39;
constexpr uint32_t kErrorNotSupported = 50;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorInvalidName = 123;
constexpr uint32_t kErrorBadPathname = 161;
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorFilenameTooLong = 206;
constexpr uint32_t kErrorDirectory = 267;
constexpr uint32_t kErrorIoDevice = 1117;
constexpr uint32_t kErrorCancelled = 1223;

// Reparse tags (WIN32_FIND_DATAW.dwReserved0 of an entry with kAttributeReparsePoint). A tag
// with the name-surrogate bit stands for another file or folder - a symbolic link, a junction,
// a mount point; the others (cloud placeholders, deduplicated files) are the file itself.
constexpr uint32_t kReparseTagMountPoint = 0xA0000003;
constexpr uint32_t kReparseTagSymlink = 0xA000000C;
constexpr uint32_t kReparseTagNameSurrogate = 0x20000000;

enum class FileAccess { Read, Write };  // GENERIC_READ / GENERIC_WRITE
enum FileShare : uint32_t { kShareNone = 0, kShareRead = 1, kShareWrite = 2, kShareDelete = 4 };
enum class FileDisposition { OpenExisting, CreateAlways };

// An open file; destroying it closes it.
class OpenFile {
public:
    virtual ~OpenFile() = default;
    // GetFileSizeEx.
    virtual bool size(int64_t& bytes) = 0;
    // GetFileTime's last-write time, in 100 ns units since 1601 (FILETIME). Only compared for
    // equality: whether the file changed since it was last read.
    virtual bool lastWriteTime(uint64_t& time) = 0;
    // ReadFile: up to `length` bytes; fewer only at the end of the file (0 there).
    virtual bool read(void* buffer, uint32_t length, uint32_t& bytesRead) = 0;
    // WriteFile of the whole `length` bytes unless the medium refuses.
    virtual bool write(const void* buffer, uint32_t length, uint32_t& bytesWritten) = 0;
    // Copies up to `length` bytes from this file's position to `target`'s inside the system
    // (Linux: copy_file_range), without passing them through this process; both positions move
    // on by `copied`, which is 0 at the end of the file. False with kErrorNotSupported, nothing
    // copied, where the system cannot do that for these two files (another file system, no such
    // call): the caller then reads and writes.
    virtual bool copyTo(OpenFile& target, uint32_t length, uint32_t& copied) = 0;
};

// One entry of a folder listing (WIN32_FIND_DATAW): name, attributes, 64-bit size and, for a
// reparse point, its tag. A link is listed as itself, never as what it points to.
struct FindEntry {
    std::string name;  // UTF-8; empty when the platform's name cannot be converted
    uint32_t attributes = 0;
    uint64_t size = 0;
    uint32_t reparseTag = 0;
    bool measured = true;  // false: only the name and folder or file are known (FindDetail::Names)

    bool isDirectory() const { return (attributes & kAttributeDirectory) != 0; }
    bool isDotOrDotDot() const { return name == "." || name == ".."; }
    // A symbolic link, junction or mount point: a name for something that may lie anywhere.
    bool isLink() const {
        return (attributes & kAttributeReparsePoint) != 0 && (reparseTag & kReparseTagNameSurrogate) != 0;
    }
};

// How much a listing must tell of each entry, where the platform would have to look each entry
// up apart to tell more (POSIX must). Full: every attribute. Basic: the name, folder or file,
// link, size and a file's read-only bit; the hidden and system bits (and a folder's read-only
// bit) may be missing. Names: the name, folder or file, and link; a file's size and attributes
// may be missing too (FindEntry::measured false).
enum class FindDetail { Full, Basic, Names };

// A running folder listing (FindNextFileW); destroying it ends the listing (FindClose).
class FindEnumeration {
public:
    virtual ~FindEnumeration() = default;
    // The next entry; false when the listing ends (lastError() 18) or fails.
    virtual bool next(FindEntry& entry) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // CreateFileW. `attributes` apply to a file that CreateAlways creates. Null on failure.
    virtual std::unique_ptr<OpenFile> open(const std::string& path, FileAccess access, uint32_t share,
                                           FileDisposition disposition, uint32_t attributes) = 0;
    // CopyFileW: content and attributes; an existing target is replaced unless `failIfExists`.
    virtual bool copyFile(const std::string& source, const std::string& target, bool failIfExists) = 0;
    // DeleteFileW: fails for read-only files and for folders.
    virtual bool deleteFile(const std::string& path) = 0;
    // MoveFileExW with MOVEFILE_REPLACE_EXISTING: renames a file within its drive, replacing a
    // file of the target's name in one step (never a read-only file or a folder).
    virtual bool moveFile(const std::string& source, const std::string& target) = 0;
    // GetFileAttributesW: kInvalidAttributes on failure. A link gives its own attributes, with
    // kAttributeReparsePoint (and kAttributeDirectory for a link to a folder).
    virtual uint32_t attributes(const std::string& path) = 0;
    // SetFileAttributesW: 0 and kAttributeNormal both mean "no special attribute".
    virtual bool setAttributes(const std::string& path, uint32_t attributes) = 0;
    // FindFirstFileW with a pattern "folder\*": the listing and its first entry, or null.
    virtual std::unique_ptr<FindEnumeration> findFirst(const std::string& pattern, FindEntry& first,
                                                       FindDetail detail = FindDetail::Full) = 0;
    // CreateDirectoryW (one level): error 183 when something exists there already.
    virtual bool createDirectory(const std::string& path) = 0;
    // RemoveDirectoryW: only an empty folder, or a link to a folder (the link goes, never
    // what it points to).
    virtual bool removeDirectory(const std::string& path) = 0;
    // GetLastError: the Win32 code of this thread's last failure.
    virtual uint32_t lastError() = 0;
};

// The file system of this machine (on POSIX: the process-wide instance of platform/file_system_posix.h).
FileSystem& systemFileSystem();

}  // namespace shuttle
