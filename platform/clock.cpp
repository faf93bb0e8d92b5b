#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace {

class SystemClock : public Clock {
public:
    void sleepMs(std::uint32_t milliseconds) override {
        timespec wait{static_cast<time_t>(milliseconds / 1000),
                      static_cast<long>(milliseconds % 1000) * 1000000L};
        while (nanosleep(&wait, &wait) == -1 && errno == EINTR) {
        }
    }

    std::uint32_t tickCount() override {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                        static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
        return static_cast<std::uint32_t>(ms);
    }
};

Clock* installedClock = nullptr;

} // namespace

Clock& CurrentClock() {
    static SystemClock system;
    return installedClock ? *installedClock : system;
}

void SetClock(Clock* clock) {
    installedClock = clock;
}
