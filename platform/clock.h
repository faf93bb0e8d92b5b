// Waits and the tick count go through this interface, so that tests can run
// the program's one-second and thirty-second waits on a fake clock.
#pragma once

#include <cstdint>

class Clock {
public:
    virtual ~Clock() = default;
    // Blocks the calling thread for the given milliseconds.
    virtual void sleepMs(std::uint32_t milliseconds) = 0;
    // Milliseconds since the system started, wrapping at 2^32.
    virtual std::uint32_t tickCount() = 0;
};

// The clock in force: the system's unless a test installed another.
Clock& CurrentClock();
// Installs a clock (not owned); nullptr brings back the system's.
void SetClock(Clock* clock);
