// The clock the program with windows runs on: the system's time, and waits
// that keep the window alive. The sequences' waits (a second between lines,
// thirty seconds for the call) are the protocol and last to the millisecond,
// but the window need not freeze for them: during a wait it paints, follows
// the window manager and answers the accessibility bus. Clicks and keys stay
// queued in the window system until the wait is over; the actions that arrive
// all the same (timer ticks, presses over the accessibility bus, the close
// box) are held back by this clock until the handler that waited returns, and
// the failure guard acts on them then in the order a blocked window would
// have (see failure_guard.h).
#pragma once

#include "platform/clock.h"
#include "windows/failure_guard.h"

class WindowClock : public Clock, public HoldsActionsBack {
public:
    std::int64_t nowMs() override;
    // Runs the window's events, without user input, until the deadline.
    void waitUntilMs(std::int64_t deadlineMs) override;
};
