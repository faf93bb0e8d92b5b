// Waits and the tick count go through this interface, so that tests can run
// the program's one-second and thirty-second waits on a fake clock, and a
// front end can choose how a wait spends its time (blocking, or keeping a
// window alive).
#pragma once

#include <cstdint>
#include <functional>

class Clock {
public:
    virtual ~Clock() = default;

    // Milliseconds since the system started, suspend included: never goes
    // back, and goes on while the machine sleeps.
    virtual std::int64_t nowMs() = 0;
    // Returns once nowMs() has reached the deadline (at once when it has).
    virtual void waitUntilMs(std::int64_t deadlineMs) = 0;
    // The time of day as people read it, milliseconds since 1970-01-01 UTC
    // (CLOCK_REALTIME unless a test says else): for names and reports only,
    // never for waits, since it jumps when the system's clock is set.
    virtual std::int64_t wallTimeMs();

    // The tick count the picture names are made of: milliseconds since the
    // system started, wrapping at 2^32.
    std::uint32_t tickCount() { return static_cast<std::uint32_t>(nowMs()); }
    // Waits the given milliseconds from now.
    void sleepMs(std::uint32_t milliseconds) { waitUntilMs(nowMs() + milliseconds); }
    // Waits until the condition holds or the deadline has passed, whichever
    // comes first; the condition is tested at once and then every
    // checkEveryMs. Returns whether it holds.
    bool waitFor(const std::function<bool()>& condition, std::int64_t deadlineMs,
                 std::uint32_t checkEveryMs = 20);
};

// The system's clock: CLOCK_BOOTTIME, and waits that block the thread.
Clock& SystemClock();

// The clock in force: the system's unless a front end or a test installed
// another.
Clock& CurrentClock();
// Installs a clock (not owned); nullptr brings back the system's.
void SetClock(Clock* clock);
