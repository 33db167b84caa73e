// A baud rate outside the B* constants (256000) needs the termios2 interface, whose header
// clashes with <termios.h>; so it lives alone in this file.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace shuttle {

bool setCustomTtyRate(int fd, uint32_t baudRate) {
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0) return false;
    settings.c_cflag &= ~CBAUD;
    settings.c_cflag |= BOTHER;
    settings.c_ispeed = baudRate;
    settings.c_ospeed = baudRate;
    return ioctl(fd, TCSETS2, &settings) == 0;
}

}  // namespace shuttle
