#include "platform/file_system_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "base/host_names.h"
#include "base/utf8.h"
#include "platform/fat_attributes_linux.h"
#include "platform/unique_fd.h"

namespace shuttle {
namespace {

constexpr const char* kDosAttributeName = "user.DOSATTRIB";  // Wine's and Samba's name
constexpr uint32_t kStoredFileBits = kAttributeHidden | kAttributeSystem;
constexpr uint32_t kStoredFolderBits = kAttributeHidden | kAttributeSystem | kAttributeReadOnly;
constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

thread_local uint32_t threadLastError = 0;

// The one place where POSIX errors become Win32 codes.
uint32_t win32ErrorOf(int error) {
    switch (error) {
        case ENOENT: return kErrorFileNotFound;
        case ENOTDIR: return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR: return kErrorAccessDenied;
        case EEXIST: return kErrorAlreadyExists;
        case ENOTEMPTY: return kErrorDirNotEmpty;
        case ENOSPC:
        case EDQUOT: return kErrorDiskFull;
        case EROFS: return kErrorWriteProtect;
        case ENAMETOOLONG: return kErrorFilenameTooLong;
        case EMFILE:
        case ENFILE: return kErrorTooManyOpenFiles;
        case ENOMEM: return kErrorNotEnoughMemory;
        case EBUSY:
        case ETXTBSY: return kErrorSharingViolation;
        case EXDEV: return kErrorNotSameDevice;
        case EINVAL: return kErrorInvalidParameter;
        case EIO: return kErrorIoDevice;
        case ENOTSUP: return kErrorNotSupported;
        case ELOOP: return kErrorInvalidName;
        default: return kErrorGenFailure;
    }
}

// A POSIX time as a FILETIME: 100 ns units since 1601-01-01.
uint64_t fileTimeOf(const struct timespec& when) {
    constexpr uint64_t kSecondsFrom1601To1970 = 11644473600ULL;
    return (static_cast<uint64_t>(when.tv_sec) + kSecondsFrom1601To1970) * 10000000ULL +
           static_cast<uint64_t>(when.tv_nsec) / 100;
}

// copy_file_range's answers for "not between these two files": another file system (EXDEV), a
// file system or kernel without it. Reading and writing copies them still.
bool kernelCopyRefused(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP;
}

bool failWith(uint32_t code) {
    threadLastError = code;
    return false;
}

// The process's file mode creation mask, read once from /proc/self/status (this program never
// changes it); -1 where the system does not tell it.
int creationMask() {
    static const int mask = [] {
        char text[4096] = {};
        UniqueFd status(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
        const ssize_t length = status.valid() ? ::read(status.get(), text, sizeof text - 1) : -1;
        const char* line = length > 0 ? std::strstr(text, "\nUmask:") : nullptr;
        return line != nullptr ? static_cast<int>(std::strtol(line + 7, nullptr, 8)) : -1;
    }();
    return mask;
}

// The permissions CopyFile makes its target with: the source's, writable for the owner until
// the stored bits are set (a user extended attribute needs write permission).
mode_t creationMode(const struct stat& source) { return (source.st_mode & 0777) | S_IWUSR; }

UniqueFd failedFd(uint32_t code) {
    failWith(code);
    return UniqueFd();
}

bool isFolder(const std::string& host) {
    struct stat info {};
    return ::stat(host.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isSymlink(const std::string& host) {
    struct stat info {};
    return ::lstat(host.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// The attributes that the mode tells, without the stored bits: folder, or file and read-only.
uint32_t attributesOfMode(bool isDirectory, unsigned mode) {
    if (isDirectory) return kAttributeDirectory;
    return kAttributeArchive | ((mode & kWriteBits) == 0 ? kAttributeReadOnly : 0);
}

// What Windows gives for a symbolic link itself: a reparse point, a folder when it names one.
uint32_t linkAttributes(const std::string& host) {
    return kAttributeReparsePoint | (isFolder(host) ? kAttributeDirectory : kAttributeArchive);
}

// Records errno for `host`; a missing file in a missing folder is "path not found", as on Windows.
bool failErrno(const std::string& host) {
    int error = errno;
    if (error == ENOENT) {
        size_t slash = host.rfind('/');
        if (slash != std::string::npos && slash > 0 && !isFolder(host.substr(0, slash)))
            return failWith(kErrorPathNotFound);
    }
    return failWith(win32ErrorOf(error));
}

bool validWindowsName(std::string_view name) {
    for (unsigned char c : name) {
        switch (c) {
            case '<': case '>': case ':': case '"': case '|': case '?': case '*': return false;
            default: if (c < 0x20) return false;
        }
    }
    return true;
}

// Appends the host name of one path component to `host`, after a "/"; false when it names
// nothing valid there.
bool appendHostComponent(std::string_view part, bool hostNames, std::string& host) {
    if (host.empty() || host.back() != '/') host.push_back('/');
    if (!hostNames) {
        host.append(part);
        return validWindowsName(part);
    }
    std::optional<std::string> decoded = hostNameOfWindowsName(part);
    if (!decoded || *decoded == "." || *decoded == "..") return false;
    host += *decoded;
    return true;
}

class PosixOpenFile final : public OpenFile {
public:
    explicit PosixOpenFile(int fd) : fd_(fd) {}

    bool size(int64_t& bytes) override {
        struct stat info {};
        if (::fstat(fd_.get(), &info) != 0) return failWith(win32ErrorOf(errno));
        bytes = static_cast<int64_t>(info.st_size);
        return true;
    }

    bool lastWriteTime(uint64_t& time) override {
        struct stat info {};
        if (::fstat(fd_.get(), &info) != 0) return failWith(win32ErrorOf(errno));
        time = fileTimeOf(info.st_mtim);
        return true;
    }

    // Like ReadFile on a disk file: the whole request unless the file ends first.
    bool read(void* buffer, uint32_t length, uint32_t& bytesRead) override {
        bytesRead = 0;
        auto* bytes = static_cast<char*>(buffer);
        while (bytesRead < length) {
            ssize_t got = ::read(fd_.get(), bytes + bytesRead, length - bytesRead);
            if (got < 0) {
                if (errno == EINTR) continue;
                return failWith(win32ErrorOf(errno));
            }
            if (got == 0) break;
            bytesRead += static_cast<uint32_t>(got);
        }
        return true;
    }

    bool write(const void* buffer, uint32_t length, uint32_t& bytesWritten) override {
        bytesWritten = 0;
        const auto* bytes = static_cast<const char*>(buffer);
        while (bytesWritten < length) {
            ssize_t put = ::write(fd_.get(), bytes + bytesWritten, length - bytesWritten);
            if (put < 0) {
                if (errno == EINTR) continue;
                return failWith(win32ErrorOf(errno));
            }
            bytesWritten += static_cast<uint32_t>(put);
        }
        return true;
    }

    bool copyTo(OpenFile& target, uint32_t length, uint32_t& copied) override {
        copied = 0;
        auto* to = dynamic_cast<PosixOpenFile*>(&target);
        if (to == nullptr) return failWith(kErrorNotSupported);
        for (;;) {
            ssize_t done = ::copy_file_range(fd_.get(), nullptr, to->fd_.get(), nullptr, length, 0);
            if (done >= 0) {
                copied = static_cast<uint32_t>(done);
                return true;
            }
            if (errno == EINTR) continue;
            return failWith(kernelCopyRefused(errno) ? kErrorNotSupported : win32ErrorOf(errno));
        }
    }

private:
    UniqueFd fd_;
};

// An open folder; destroying it closes it.
using OpenFolder = std::unique_ptr<DIR, int (*)(DIR*)>;

// Reads a folder's entries whole as it opens, each looked up in the open folder (no walk along
// the whole path), and closes it again: deleting while listing is safe, and a deep tree's
// listings hold no folder open each.
class FolderReader {
public:
    FolderReader(PosixFileSystem& owner, std::string folder, DIR* opened, bool hostNames, FindDetail detail)
        : owner_(owner), folder_(std::move(folder)), opened_(opened), hostNames_(hostNames), detail_(detail) {}

    // Every entry; "." and ".." unless `atRoot`, as a drive root lists none on Windows.
    std::vector<FindEntry> entries(bool atRoot) {
        std::vector<FindEntry> read;
        while (dirent* item = ::readdir(opened_)) {
            const std::string_view name = item->d_name;
            if (atRoot && (name == "." || name == "..")) continue;
            read.push_back(entry(item->d_name, item->d_type));
        }
        return read;
    }

private:
    FindEntry entry(const std::string& hostName, unsigned char type) {
        FindEntry entry;
        if (hostNames_)
            entry.name = windowsNameOfHostName(hostName);
        else if (tryFromUtf8(hostName, utf16_))
            entry.name = hostName;
        if (hostName == "." || hostName == "..") {
            entry.attributes = kAttributeDirectory;
            return entry;
        }
        if (detail_ == FindDetail::Names && (type == DT_REG || type == DT_DIR)) {
            entry.attributes = type == DT_DIR ? kAttributeDirectory : kAttributeArchive;
            entry.measured = type == DT_DIR;
            return entry;  // the folder's own record told enough
        }
        struct stat info {};
        if (::fstatat(::dirfd(opened_), hostName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            entry.attributes = kAttributeArchive;
            return entry;
        }
        if (S_ISLNK(info.st_mode)) {  // listed as itself, as Windows lists a symbolic link
            entry.attributes = linkAttributes(folder_ + "/" + hostName);
            entry.reparseTag = kReparseTagSymlink;
            return entry;
        }
        bool directory = S_ISDIR(info.st_mode);
        entry.attributes = detail_ == FindDetail::Full
                               ? owner_.attributesOfHost(folder_ + "/" + hostName, directory, info.st_mode)
                               : attributesOfMode(directory, info.st_mode);
        entry.size = directory ? 0 : static_cast<uint64_t>(info.st_size);
        return entry;
    }

    PosixFileSystem& owner_;
    std::string folder_;
    DIR* opened_;
    bool hostNames_;  // the drive spells host names (base/host_names.h)
    FindDetail detail_;
    std::u16string utf16_;  // where a name is tried as UTF-8, kept to spare an allocation per entry
};

class PosixFindEnumeration final : public FindEnumeration {
public:
    explicit PosixFindEnumeration(std::vector<FindEntry> entries) : entries_(std::move(entries)) {}

    bool next(FindEntry& entry) override {
        if (index_ >= entries_.size()) return failWith(kErrorNoMoreFiles);
        entry = std::move(entries_[index_++]);
        return true;
    }

private:
    std::vector<FindEntry> entries_;
    size_t index_ = 1;  // the first went with findFirst
};

// Copies the content of `from`, `size` bytes as its stat said, into `to`, in the kernel where it
// can. The kernel copy stops at that size without asking for more (the file as it was when it
// was opened); reading and writing go on to the end, as a pseudo-file's size may be no size.
bool copyContent(int from, int to, off_t size) {
    bool kernelCopy = true;
    off_t done = 0;
    for (;;) {
        if (kernelCopy) {
            const off_t rest = done < size ? size - done : off_t(1) << 30;
            const size_t wanted = static_cast<size_t>(std::min<off_t>(rest, off_t(1) << 30));
            ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, wanted, 0);
            if (copied > 0) {
                done += copied;
                if (done >= size && size > 0) return true;
                continue;
            }
            if (copied == 0) return true;
            if (errno == EINTR) continue;
            if (!kernelCopyRefused(errno)) return false;
            kernelCopy = false;
        }
        char buffer[1 << 16];
        ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        for (ssize_t done = 0; done < got;) {
            ssize_t put = ::write(to, buffer + done, static_cast<size_t>(got - done));
            if (put < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            done += put;
        }
    }
}

}  // namespace

void PosixFileSystem::mapDrive(char letter, const std::string& hostFolder, DriveNames names) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string folder = hostFolder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    drives_[drive] = folder;
    if (names == DriveNames::Host)
        hostNameDrives_.insert(drive);
    else
        hostNameDrives_.erase(drive);
}

void PosixFileSystem::unmapDrive(char letter) {
    std::lock_guard<std::mutex> lock(mutex_);
    const char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    drives_.erase(drive);
    hostNameDrives_.erase(drive);
}

bool PosixFileSystem::hostPath(const std::string& windowsPath, std::string& host, bool* atDriveRoot) {
    if (windowsPath.size() < 2 || windowsPath[1] != ':' || !std::isalpha(static_cast<unsigned char>(windowsPath[0])))
        return failWith(kErrorPathNotFound);
    const std::string_view rest = std::string_view(windowsPath).substr(2);
    if (!rest.empty() && rest[0] != '\\' && rest[0] != '/') return failWith(kErrorPathNotFound);
    bool hostNames = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0])));
        auto drive = drives_.find(letter);
        if (drive == drives_.end()) return failWith(kErrorPathNotFound);
        host.reserve(drive->second.size() + rest.size() + 1);  // the names' room: no growing on the way
        host = drive->second;
        hostNames = hostNameDrives_.count(letter) != 0;
    }
    // Each name is appended as it comes (this runs for every file copied); ".." cuts the last
    // one off again, never the drive's own folder.
    const size_t rootLength = host.size();
    size_t kept = 0;
    for (size_t start = 0; start <= rest.size();) {
        size_t end = start;
        while (end < rest.size() && rest[end] != '\\' && rest[end] != '/') ++end;
        const std::string_view part = rest.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (kept > 0) {
                host.resize(std::max(host.rfind('/'), rootLength));
                --kept;
            }
            continue;
        }
        if (!appendHostComponent(part, hostNames, host)) return failWith(kErrorInvalidName);
        ++kept;
    }
    if (atDriveRoot != nullptr) *atDriveRoot = kept == 0;
    return true;
}

uint32_t PosixFileSystem::storedBits(const std::string& host, int fd) {
    char text[32] = {};
    ssize_t length = fd >= 0 ? ::fgetxattr(fd, kDosAttributeName, text, sizeof text - 1)
                             : ::getxattr(host.c_str(), kDosAttributeName, text, sizeof text - 1);
    if (length > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return static_cast<uint32_t>(std::strtoul(text + 2, nullptr, 16));
    if (length < 0 && (errno == ENOTSUP || errno == EPERM)) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = sideBits_.find(host);
        return found == sideBits_.end() ? 0 : found->second;
    }
    return 0;
}

bool PosixFileSystem::storeBits(const std::string& host, uint32_t bits, int fd) {
    int result;
    if (bits == 0) {
        result = fd >= 0 ? ::fremovexattr(fd, kDosAttributeName) : ::removexattr(host.c_str(), kDosAttributeName);
        if (result != 0 && errno == ENODATA) result = 0;
    } else {
        char text[16];
        const size_t length = static_cast<size_t>(std::snprintf(text, sizeof text, "0x%x", bits));
        result = fd >= 0 ? ::fsetxattr(fd, kDosAttributeName, text, length, 0)
                         : ::setxattr(host.c_str(), kDosAttributeName, text, length, 0);
    }
    if (result == 0) return true;
    if (errno != ENOTSUP && errno != EPERM) return failErrno(host);
    std::lock_guard<std::mutex> lock(mutex_);
    // A FAT drive shows hidden and system to a Windows peer only in its directory entry.
    if (bits != 0 || sideBits_.count(host) != 0) setFatAttributes(host, bits);
    if (bits == 0)
        sideBits_.erase(host);
    else
        sideBits_[host] = bits;
    return true;
}

void PosixFileSystem::forgetBits(const std::string& host) {
    std::lock_guard<std::mutex> lock(mutex_);
    sideBits_.erase(host);
}

uint32_t PosixFileSystem::attributesOfHost(const std::string& host, bool isDirectory, unsigned mode) {
    return attributesOfMode(isDirectory, mode) |
           (storedBits(host) & (isDirectory ? kStoredFolderBits : kStoredFileBits));
}

std::unique_ptr<OpenFile> PosixFileSystem::open(const std::string& path, FileAccess access, uint32_t,
                                                FileDisposition disposition, uint32_t attributes) {
    std::string host;
    if (!hostPath(path, host)) return nullptr;
    struct stat info {};
    bool exists = ::stat(host.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) {
        failWith(kErrorAccessDenied);
        return nullptr;
    }
    uint32_t current = exists ? attributesOfHost(host, false, info.st_mode) : 0;
    bool writing = access == FileAccess::Write || disposition == FileDisposition::CreateAlways;
    if (writing && (current & kAttributeReadOnly)) {
        failWith(kErrorAccessDenied);
        return nullptr;
    }
    if (disposition == FileDisposition::OpenExisting) {
        int flags = (access == FileAccess::Read ? O_RDONLY : O_WRONLY) | O_CLOEXEC;
        UniqueFd fd(::open(host.c_str(), flags));
        if (!fd.valid()) {
            failErrno(host);
            return nullptr;
        }
        return std::make_unique<PosixOpenFile>(fd.release());
    }
    // CREATE_ALWAYS refuses to replace a hidden or system file unless the caller names those
    // attributes again, exactly as Windows does.
    uint32_t keep = current & kStoredFileBits;
    if ((keep & ~attributes) != 0) {
        failWith(kErrorAccessDenied);
        return nullptr;
    }
    int flags = (access == FileAccess::Read ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC | O_CLOEXEC;
    UniqueFd fd(::open(host.c_str(), flags, 0666));
    if (!fd.valid()) {
        failErrno(host);
        return nullptr;
    }
    if (!storeBits(host, attributes & kStoredFileBits)) return nullptr;
    if (attributes & kAttributeReadOnly) {
        struct stat created {};
        if (::fstat(fd.get(), &created) == 0) ::fchmod(fd.get(), created.st_mode & ~kWriteBits & 07777);
    }
    return std::make_unique<PosixOpenFile>(fd.release());
}

bool PosixFileSystem::copyFile(const std::string& source, const std::string& target, bool failIfExists) {
    std::string from, to;
    if (!hostPath(source, from) || !hostPath(target, to)) return false;
    UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) return failErrno(from);
    struct stat sourceInfo {};
    if (::fstat(in.get(), &sourceInfo) != 0) return failErrno(from);
    if (S_ISDIR(sourceInfo.st_mode)) return failWith(kErrorAccessDenied);
    bool created = false;
    UniqueFd out = openCopyTarget(to, sourceInfo, failIfExists, created);
    if (!out.valid()) return false;
    if (!copyContent(in.get(), out.get(), sourceInfo.st_size)) {
        uint32_t code = win32ErrorOf(errno);
        ::unlink(to.c_str());  // CopyFile leaves no partial target behind
        return failWith(code);
    }
    // Everything through the open files: each look-up by path would cost a call of its own.
    const uint32_t bits = storedBits(from, in.get()) & kStoredFileBits;
    if (created && bits == 0)
        forgetBits(to);  // a new file holds no stored bits
    else if (!storeBits(to, bits, out.get()))
        return false;
    struct timespec times[2] = {sourceInfo.st_atim, sourceInfo.st_mtim};
    ::futimens(out.get(), times);
    // A file made new got the source's permissions already unless the mask took some away or
    // they lack the owner's write (kept until here: the stored bits needed it).
    const mode_t mode = sourceInfo.st_mode & 07777;
    const int mask = creationMask();
    if (!created || mask < 0 || creationMode(sourceInfo) != mode || (mode & static_cast<mode_t>(mask)) != 0)
        ::fchmod(out.get(), mode);
    return true;
}

UniqueFd PosixFileSystem::openCopyTarget(const std::string& to, const struct stat& sourceInfo, bool failIfExists,
                                         bool& created) {
    UniqueFd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, creationMode(sourceInfo)));
    created = out.valid();
    if (created) return out;
    if (errno != EEXIST) {
        failErrno(to);
        return out;
    }
    struct stat targetInfo {};
    if (::stat(to.c_str(), &targetInfo) == 0) {  // else a dangling link, whose target is made
        const bool sameFile = targetInfo.st_dev == sourceInfo.st_dev && targetInfo.st_ino == sourceInfo.st_ino;
        if (failIfExists) return failedFd(kErrorFileExists);
        if (S_ISDIR(targetInfo.st_mode)) return failedFd(kErrorAccessDenied);
        if (sameFile) return failedFd(kErrorSharingViolation);
        if (attributesOfHost(to, false, targetInfo.st_mode) & (kAttributeReadOnly | kAttributeHidden))
            return failedFd(kErrorAccessDenied);
    }
    out.reset(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!out.valid()) failErrno(to);
    return out;
}

bool PosixFileSystem::deleteFile(const std::string& path) {
    std::string host;
    if (!hostPath(path, host)) return false;
    struct stat info {};
    if (::lstat(host.c_str(), &info) != 0) return failErrno(host);
    if (S_ISDIR(info.st_mode)) return failWith(kErrorAccessDenied);
    if (!S_ISLNK(info.st_mode) && (info.st_mode & kWriteBits) == 0) return failWith(kErrorAccessDenied);
    if (::unlink(host.c_str()) != 0) return failErrno(host);
    forgetBits(host);
    return true;
}

bool PosixFileSystem::moveFile(const std::string& source, const std::string& target) {
    std::string from, to;
    if (!hostPath(source, from) || !hostPath(target, to)) return false;
    struct stat info {};
    if (::lstat(from.c_str(), &info) != 0) return failErrno(from);
    if (S_ISDIR(info.st_mode)) return failWith(kErrorAccessDenied);
    if (::lstat(to.c_str(), &info) == 0 &&
        (S_ISDIR(info.st_mode) || (!S_ISLNK(info.st_mode) && (info.st_mode & kWriteBits) == 0)))
        return failWith(kErrorAccessDenied);
    const uint32_t bits = storedBits(from);  // kept with the file, as Windows keeps its attributes
    if (::rename(from.c_str(), to.c_str()) != 0) return failErrno(to);
    forgetBits(from);
    forgetBits(to);
    storeBits(to, bits);
    return true;
}

uint32_t PosixFileSystem::attributes(const std::string& path) {
    std::string host;
    if (!hostPath(path, host)) return kInvalidAttributes;
    if (isSymlink(host)) return linkAttributes(host);
    struct stat info {};
    if (::stat(host.c_str(), &info) != 0) {
        failErrno(host);
        return kInvalidAttributes;
    }
    return attributesOfHost(host, S_ISDIR(info.st_mode), info.st_mode);
}

bool PosixFileSystem::setAttributes(const std::string& path, uint32_t attributes) {
    std::string host;
    if (!hostPath(path, host)) return false;
    struct stat info {};
    if (::stat(host.c_str(), &info) != 0) return failErrno(host);
    if (S_ISDIR(info.st_mode)) return storeBits(host, attributes & kStoredFolderBits);
    mode_t mode = info.st_mode & 07777;
    mode_t wanted = (attributes & kAttributeReadOnly) ? (mode & ~kWriteBits)
                                                       : ((mode & kWriteBits) ? mode : (mode | S_IWUSR));
    // Hidden and system are written to the file itself, which needs its owner's write
    // permission: a read-only file gets it back for that moment.
    const mode_t writable = mode | S_IWUSR;
    if (writable != mode && ::chmod(host.c_str(), writable) != 0) return failErrno(host);
    if (!storeBits(host, attributes & kStoredFileBits)) {
        if (writable != mode) ::chmod(host.c_str(), mode);
        return false;
    }
    if (wanted != writable && ::chmod(host.c_str(), wanted) != 0) return failErrno(host);
    return true;
}

std::unique_ptr<FindEnumeration> PosixFileSystem::findFirst(const std::string& pattern, FindEntry& first,
                                                            FindDetail detail) {
    size_t cut = pattern.find_last_of("\\/");
    std::string mask = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
    if (cut == std::string::npos || (mask != "*" && mask != "*.*")) {
        failWith(kErrorInvalidParameter);  // only whole-folder listings are needed
        return nullptr;
    }
    std::string folderPath = pattern.substr(0, cut + 1);
    std::string host;
    bool atRoot = false;
    if (!hostPath(folderPath, host, &atRoot)) return nullptr;
    OpenFolder folder(::opendir(host.c_str()), ::closedir);
    if (!folder) {
        if (errno == ENOENT) failWith(kErrorPathNotFound);  // the folder itself is the missing path part
        else failErrno(host);
        return nullptr;
    }
    std::vector<FindEntry> entries =
        FolderReader(*this, host, folder.get(), spellsHostNames(folderPath), detail).entries(atRoot);
    if (entries.empty()) {
        failWith(kErrorFileNotFound);
        return nullptr;
    }
    first = entries.front();
    return std::make_unique<PosixFindEnumeration>(std::move(entries));
}

bool PosixFileSystem::createDirectory(const std::string& path) {
    std::string host;
    if (!hostPath(path, host)) return false;
    if (::mkdir(host.c_str(), 0777) != 0) {
        if (errno == ENOENT) return failWith(kErrorPathNotFound);
        return failErrno(host);
    }
    return true;
}

bool PosixFileSystem::removeDirectory(const std::string& path) {
    std::string host;
    bool atRoot = false;
    if (!hostPath(path, host, &atRoot)) return false;
    if (atRoot) return failWith(kErrorAccessDenied);  // a drive root is never removed
    if (isSymlink(host)) {  // a link to a folder goes itself; what it names stays
        if (!isFolder(host)) return failWith(kErrorDirectory);
        if (::unlink(host.c_str()) != 0) return failErrno(host);
        return true;
    }
    struct stat info {};
    if (::stat(host.c_str(), &info) != 0) return failErrno(host);
    if (!S_ISDIR(info.st_mode)) return failWith(kErrorDirectory);
    if (storedBits(host) & kAttributeReadOnly) return failWith(kErrorAccessDenied);
    if (::rmdir(host.c_str()) != 0) return failErrno(host);
    forgetBits(host);
    return true;
}

bool PosixFileSystem::spellsHostNames(const std::string& windowsPath) {
    std::lock_guard<std::mutex> lock(mutex_);
    return !windowsPath.empty() &&
           hostNameDrives_.count(static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0])))) != 0;
}

uint32_t PosixFileSystem::lastError() { return threadLastError; }

PosixFileSystem& posixSystemFileSystem() {
    static PosixFileSystem fileSystem;
    return fileSystem;
}

FileSystem& systemFileSystem() { return posixSystemFileSystem(); }

}  // namespace shuttle
