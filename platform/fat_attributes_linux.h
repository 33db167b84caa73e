#pragma once
// Hidden and system on FAT drives. vfat keeps a file's DOS attributes in its directory entry,
// where a Windows peer sees them, and sets them through FAT_IOCTL_SET_ATTRIBUTES; other file
// systems (exFAT too) answer ENOTTY and have the attributes kept as file_system_posix.h says.
// Linux only: the POSIX file system calls it where user extended attributes are missing.

#include <cstdint>
#include <string>

namespace shuttle {

enum class FatAttributesResult { Set, NotFat, Failed };

// Gives the file or folder at `host` the hidden and system bits of `bits` (Win32 attribute
// bits), its other DOS attributes kept.
FatAttributesResult setFatAttributes(const std::string& host, uint32_t bits);

}  // namespace shuttle
