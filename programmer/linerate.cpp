#include "linerate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tessaly::sim {

bool set_line_rate(int fd, std::int64_t baud) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = static_cast<speed_t>(baud);
    tio.c_ospeed = static_cast<speed_t>(baud);
    return ::ioctl(fd, TCSETS2, &tio) == 0;
}

std::int64_t line_rate(int fd) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return -1;
    return tio.c_ospeed;
}

}  // namespace tessaly::sim
