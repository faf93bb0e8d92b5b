#include "camera/interval_schedule.h"

void IntervalSchedule::start(std::int64_t nowMs, std::int64_t intervalMs) {
    startMs_ = nowMs;
    intervalMs_ = intervalMs;
    next_ = 1;
}

std::int64_t IntervalSchedule::dueAtMs() const {
    return running() ? startMs_ + next_ * intervalMs_ : -1;
}

bool IntervalSchedule::take(std::int64_t nowMs) {
    if (!running() || nowMs < dueAtMs())
        return false;
    next_ = (nowMs - startMs_) / intervalMs_ + 1;
    return true;
}
