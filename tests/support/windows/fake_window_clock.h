// A fake clock whose waits hold the window's actions back as the window
// clock's waits do, so that a test can drop clicks and ticks into the
// sequences' waits without spending the time.
#pragma once

#include "tests/support/fake_clock.h"
#include "windows/failure_guard.h"

class FakeWindowClock : public FakeClock, public HoldsActionsBack {
public:
    void waitUntilMs(std::int64_t deadlineMs) override {
        const HeldBackActions::Wait holding(heldBackActions());
        FakeClock::waitUntilMs(deadlineMs);
    }
};
