// The clock the program with windows runs on: the system's time, and waits
// that keep the window alive. The sequences' waits (a second between lines,
// thirty seconds for the call) are the protocol and last to the millisecond,
// but the window need not freeze for them: during a wait it paints, follows
// the window manager and answers the accessibility bus. Clicks, keys and the
// close box stay queued in the window system until the wait is over, and the
// actions that arrive all the same (timer ticks, presses over the
// accessibility bus) are held back by the failure guard until the handler
// that waited returns, as a blocked window would have held them.
#pragma once

#include "platform/clock.h"

class WindowClock : public Clock {
public:
    std::int64_t nowMs() override;
    // Runs the window's events, without user input, until the deadline.
    void waitUntilMs(std::int64_t deadlineMs) override;
};
