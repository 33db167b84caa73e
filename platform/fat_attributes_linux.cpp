#include "platform/fat_attributes_linux.h"

#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "platform/unique_fd.h"

namespace shuttle {

FatAttributesResult setFatAttributes(const std::string& host, uint32_t bits) {
    UniqueFd fd(::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd) return FatAttributesResult::Failed;
    uint32_t attributes = 0;
    if (::ioctl(fd.get(), FAT_IOCTL_GET_ATTRIBUTES, &attributes) != 0)
        return errno == ENOTTY ? FatAttributesResult::NotFat : FatAttributesResult::Failed;
    constexpr uint32_t kHiddenAndSystem = ATTR_HIDDEN | ATTR_SYS;  // the Win32 bits' values too
    const uint32_t wanted = (attributes & ~kHiddenAndSystem) | (bits & kHiddenAndSystem);
    if (wanted == attributes) return FatAttributesResult::Set;
    return ::ioctl(fd.get(), FAT_IOCTL_SET_ATTRIBUTES, &wanted) == 0 ? FatAttributesResult::Set
                                                                     : FatAttributesResult::Failed;
}

}  // namespace shuttle
