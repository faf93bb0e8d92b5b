// How merlon-capture ends on SIGINT, SIGTERM and SIGHUP: the handler only marks the
// stop and writes a byte into a pipe. The event loop watches the pipe, and
// the clock installed here ends every wait of the command sequences as soon
// as the byte is there, so a stop is seen within moments wherever the run
// stands, and the port is closed by the ordinary code, not in the handler.
#pragma once

#include "platform/clock.h"

#include <cstdint>

// Thrown out of a wait when a stop was requested; the run's entry points
// catch it and end the event loop.
struct StopRequested {};

// Installs the handlers for SIGINT, SIGTERM and SIGHUP and ignores
// SIGPIPE, so that a closed standard output is a failed write, not an end.
class StopSignals {
public:
    StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Readable from the first stop on; never drained.
    int notifyFd() const;
    bool requested() const;
};

// The system's waits, cut short by a stop. Installed for its lifetime.
class InterruptibleClock : public Clock {
public:
    explicit InterruptibleClock(const StopSignals& stop);
    ~InterruptibleClock() override;
    InterruptibleClock(const InterruptibleClock&) = delete;
    InterruptibleClock& operator=(const InterruptibleClock&) = delete;

    std::int64_t nowMs() override;
    // Throws StopRequested when a stop comes before the time is up.
    void waitUntilMs(std::int64_t deadlineMs) override;

private:
    const StopSignals& stop_;
    Clock& system_;
};
