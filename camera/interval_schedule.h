// The schedule of interval pictures: the n-th is due n intervals after the
// count started, on the clock interface's time, so a tick that came late or
// a picture that took long never shifts the ones after it; ticks missed
// altogether (a machine asleep) make one. The window's "alle" and the
// station's --alle keep the same schedule.
#pragma once

#include <cstdint>

class IntervalSchedule {
public:
    // Starts the count now; an interval of 0 or less is never due.
    void start(std::int64_t nowMs, std::int64_t intervalMs);
    void stop() { intervalMs_ = 0; }
    bool running() const { return intervalMs_ > 0; }
    // When the next one is due, or -1 when none is.
    std::int64_t dueAtMs() const;
    // Whether one is due at nowMs; if so it is taken, and the next one is
    // the first still to come on the schedule.
    bool take(std::int64_t nowMs);

private:
    std::int64_t startMs_ = 0;
    std::int64_t intervalMs_ = 0;
    std::int64_t next_ = 1; // the number of the next one
};
