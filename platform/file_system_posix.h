#pragma once
// The file system seam on POSIX: Windows paths resolve through a table of drive roots (drive
// letter -> host folder), "\" becoming "/", so the store logic runs unchanged on real files.
// Attributes follow Wine's convention, so a tree written here looks the same through Wine:
// read-only is a file without write permission bits, hidden and system live in the extended
// attribute "user.DOSATTRIB" (text "0x6"), or in a table of this object where the host file
// system has no user extended attributes. The Windows rules that matter to the store are kept:
// a read-only file cannot be deleted, opened for writing or copied over; a hidden or system file
// cannot be recreated without naming those attributes; a folder cannot be opened as a file.
// A symbolic link shows as Windows shows one: listed and given attributes as itself (a reparse
// point with the symlink tag), removed as itself. Share modes are accepted but not enforced.

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/file_system.h"
#include "platform/unique_fd.h"

struct stat;

namespace shuttle {

class PosixFileSystem final : public FileSystem {
public:
    // How the names of a drive are spelt: as Windows names (a store drive), or as host names in
    // their Windows spelling of base/host_names.h (the host's own files, any name at all).
    enum class DriveNames { Windows, Host };

    // Drive `letter` (either case) becomes the host folder `hostFolder`.
    void mapDrive(char letter, const std::string& hostFolder, DriveNames names = DriveNames::Windows);
    void unmapDrive(char letter);
    // The host path of a Windows path: "X:" through the drive table, "\" and "/" as separators,
    // "." and ".." resolved and never above the drive root. False (error 3 or 123) when the drive
    // is not mapped or a name is not valid there (on a host drive: no spelling of a host name).
    // `atDriveRoot` tells whether it is the root.
    bool hostPath(const std::string& windowsPath, std::string& host, bool* atDriveRoot = nullptr);

    std::unique_ptr<OpenFile> open(const std::string& path, FileAccess access, uint32_t share,
                                   FileDisposition disposition, uint32_t attributes) override;
    bool copyFile(const std::string& source, const std::string& target, bool failIfExists) override;
    bool deleteFile(const std::string& path) override;
    bool moveFile(const std::string& source, const std::string& target) override;
    uint32_t attributes(const std::string& path) override;
    bool setAttributes(const std::string& path, uint32_t attributes) override;
    std::unique_ptr<FindEnumeration> findFirst(const std::string& pattern, FindEntry& first,
                                               FindDetail detail = FindDetail::Full) override;
    bool createDirectory(const std::string& path) override;
    bool removeDirectory(const std::string& path) override;
    uint32_t lastError() override;

    // Attributes of a host path whose stat is known (used by the folder listing too).
    uint32_t attributesOfHost(const std::string& host, bool isDirectory, unsigned mode);

private:
    bool spellsHostNames(const std::string& windowsPath);
    // The hidden, system and folder read-only bits of `host`, through `fd` when it is open.
    uint32_t storedBits(const std::string& host, int fd = -1);
    bool storeBits(const std::string& host, uint32_t bits, int fd = -1);
    // CopyFile's target, opened for writing: made new (`created`), or an existing file that it
    // may replace. Invalid, with the error set, otherwise.
    UniqueFd openCopyTarget(const std::string& to, const struct stat& sourceInfo, bool failIfExists, bool& created);
    void forgetBits(const std::string& host);

    std::mutex mutex_;
    std::map<char, std::string> drives_;
    std::set<char> hostNameDrives_;
    std::map<std::string, uint32_t> sideBits_;  // hosts without user extended attributes
};

// The process-wide instance that systemFileSystem() gives; its drive table starts empty.
PosixFileSystem& posixSystemFileSystem();

}  // namespace shuttle
