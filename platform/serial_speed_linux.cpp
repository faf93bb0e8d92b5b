#include "platform/serial_speed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>

// <sys/ioctl.h> would drag in the libc termios types that clash with the
// kernel's, so the one declaration needed is spelled out.
extern "C" int ioctl(int fd, unsigned long request, ...); // NOLINT: the C library's name

int SetAnySerialSpeed(int fd, std::uint32_t bitsPerSecond) {
    termios2 line{};
    if (ioctl(fd, TCGETS2, &line) != 0)
        return errno;
    line.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    line.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    line.c_ispeed = bitsPerSecond;
    line.c_ospeed = bitsPerSecond;
    if (ioctl(fd, TCSETS2, &line) != 0)
        return errno;
    return 0;
}

std::uint32_t ReadSerialSpeed(int fd) {
    termios2 line{};
    if (ioctl(fd, TCGETS2, &line) != 0)
        return 0;
    return line.c_ospeed;
}
