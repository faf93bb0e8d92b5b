#include "tests/serial/termios2_probe.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

std::uint32_t ProbeLineSpeed(int fd) {
    termios2 line{};
    if (ioctl(fd, TCGETS2, &line) != 0)
        return 0;
    return line.c_ospeed;
}
