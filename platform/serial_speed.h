// Line speeds of any rate, through Linux's termios2 interface. Kept apart
// because its kernel header cannot share a translation unit with <termios.h>.
#pragma once

#include <cstdint>

// Sets input and output speed to the rate (bits per second); 0 or errno.
int SetAnySerialSpeed(int fd, std::uint32_t bitsPerSecond);

// The output speed the device holds now, or 0 when it cannot tell.
std::uint32_t ReadSerialSpeed(int fd);
