// A clock whose waits return at once: each wait moves its time forward and
// is recorded, and a test can act in the middle of a wait.
#pragma once

#include "platform/clock.h"

#include <functional>
#include <vector>

class FakeClock : public Clock {
public:
    FakeClock() { SetClock(this); }
    ~FakeClock() override { SetClock(nullptr); }

    void sleepMs(std::uint32_t milliseconds) override {
        waits.push_back(milliseconds);
        now += milliseconds;
        if (duringWait)
            duringWait(now);
    }
    std::uint32_t tickCount() override { return now; }

    std::uint32_t now = 0;
    std::vector<std::uint32_t> waits;
    // Runs at the end of every wait, with the time then.
    std::function<void(std::uint32_t)> duringWait;
};
