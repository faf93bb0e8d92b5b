#include "platform/clock.h"

#include <algorithm>
#include <cerrno>
#include <ctime>

namespace {

constexpr std::int64_t kNsPerMs = 1000000;

timespec AsTimespec(std::int64_t ms) {
    return timespec{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000 * kNsPerMs)};
}

class BootTimeClock : public Clock {
public:
    std::int64_t nowMs() override {
        timespec now{};
        clock_gettime(CLOCK_BOOTTIME, &now);
        return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / kNsPerMs;
    }

    void waitUntilMs(std::int64_t deadlineMs) override {
        // An absolute deadline on the same clock: a signal that interrupts
        // the wait does not stretch it, and time asleep counts.
        const timespec deadline = AsTimespec(deadlineMs);
        while (clock_nanosleep(CLOCK_BOOTTIME, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
        }
    }
};

Clock* installedClock = nullptr;

} // namespace

std::int64_t Clock::wallTimeMs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / kNsPerMs;
}

bool Clock::waitFor(const std::function<bool()>& condition, std::int64_t deadlineMs,
                    std::uint32_t checkEveryMs) {
    for (;;) {
        if (condition())
            return true;
        const std::int64_t now = nowMs();
        if (now >= deadlineMs)
            return false;
        waitUntilMs(
            std::min<std::int64_t>(now + std::max<std::uint32_t>(checkEveryMs, 1), deadlineMs));
    }
}

Clock& SystemClock() {
    static BootTimeClock system;
    return system;
}

Clock& CurrentClock() {
    return installedClock ? *installedClock : SystemClock();
}

void SetClock(Clock* clock) {
    installedClock = clock;
}
