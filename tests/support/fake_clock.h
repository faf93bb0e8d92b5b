// A clock whose waits return at once: each wait moves its time forward and
// is recorded, and a test can act in the middle of a wait. Its time of day
// is set by the test.
#pragma once

#include "platform/clock.h"

#include <functional>
#include <vector>

class FakeClock : public Clock {
public:
    FakeClock() { SetClock(this); }
    ~FakeClock() override { SetClock(nullptr); }

    std::int64_t nowMs() override { return now; }
    // The time of day moves with the fake time, from wallAtZeroMs on.
    std::int64_t wallTimeMs() override { return wallAtZeroMs + now; }
    void waitUntilMs(std::int64_t deadlineMs) override {
        const std::int64_t wait = deadlineMs > now ? deadlineMs - now : 0;
        waits.push_back(static_cast<std::uint32_t>(wait));
        now += wait;
        if (duringWait)
            duringWait(now);
    }

    std::int64_t now = 0;
    std::int64_t wallAtZeroMs = 1796000000000; // 2026-11-30 00:53:20 UTC
    std::vector<std::uint32_t> waits;
    // Runs at the end of every wait, with the time then.
    std::function<void(std::int64_t)> duringWait;
};
