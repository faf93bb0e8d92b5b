#include "tools/capture/stop_signals.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

int stopPipe[2] = {-1, -1};
volatile std::sig_atomic_t stopSeen = 0;

void OnStopSignal(int) {
    const int savedErrno = errno;
    stopSeen = 1;
    const char byte = 's';
    // The pipe is non-blocking: once it is full, later stops are seen anyway.
    [[maybe_unused]] const ssize_t ignored = ::write(stopPipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

StopSignals::StopSignals() {
    if (stopPipe[0] < 0 && ::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        stopPipe[0] = stopPipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // A terminal that closes under a run in its foreground: end as cleanly.
    ::sigaction(SIGHUP, &action, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
}

int StopSignals::notifyFd() const {
    return stopPipe[0];
}

bool StopSignals::requested() const {
    return stopSeen != 0;
}

InterruptibleClock::InterruptibleClock(const StopSignals& stop)
    : stop_(stop), system_(SystemClock()) {
    SetClock(this);
}

InterruptibleClock::~InterruptibleClock() {
    SetClock(nullptr);
}

std::int64_t InterruptibleClock::nowMs() {
    return system_.nowMs();
}

void InterruptibleClock::waitUntilMs(std::int64_t deadlineMs) {
    for (;;) {
        if (stop_.requested())
            throw StopRequested{};
        const std::int64_t left = deadlineMs - system_.nowMs();
        if (left <= 0)
            return;
        pollfd watch{stop_.notifyFd(), POLLIN, 0};
        // A signal between the check above and poll() still leaves its byte
        // in the pipe, so poll() returns at once.
        ::poll(&watch, 1, static_cast<int>(std::min<std::int64_t>(left, 60000)));
    }
}
