// Reads a tty's exact line speed, whatever the rate, for checking what the
// port routines set. Its kernel header cannot meet <termios.h>.
#pragma once

#include <cstdint>

std::uint32_t ProbeLineSpeed(int fd);
