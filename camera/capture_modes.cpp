#include "camera/capture_modes.h"

#include "platform/clock.h"
#include "platform/user_error.h"
#include "serial/integer_field.h"

#include <algorithm>
#include <climits>
#include <string>

namespace {

constexpr std::int64_t kMsPerMinute = 60000;

} // namespace

std::int32_t ParseIntervalMinutes(const std::string& text) {
    const std::int32_t minutes = ParseIntegerField(text);
    if (minutes < 0 || minutes > CaptureModes::kMaxIntervalMinutes)
        throw UserError::withDetail("'%s' ist keine gültige Anzahl Minuten, erlaubt sind 0 bis " +
                                        std::to_string(CaptureModes::kMaxIntervalMinutes),
                                    text);
    return minutes;
}

CaptureModes::CaptureModes(QObject* parent) : QObject(parent) {
    intervalTimer_.setInterval(0);
    intervalTimer_.setSingleShot(true);
    // A coarse timer rounds waits of 20 s and more to whole seconds.
    intervalTimer_.setTimerType(Qt::PreciseTimer);
    connect(&intervalTimer_, &QTimer::timeout, this, &CaptureModes::checkIntervalSchedule);
}

void CaptureModes::setIntervalMode(bool on, const std::function<std::int32_t()>& readMinutes) {
    if (on == intervalMode_)
        return;
    intervalMode_ = on;
    if (!on) {
        setIntervalTimer(false, intervalMinutes_);
        emit modesChanged();
        return;
    }
    continuousMode_ = false;
    emit modesChanged();
    setIntervalTimer(true, readMinutes());
    emit modesChanged();
}

void CaptureModes::setContinuousMode(bool on) {
    if (on == continuousMode_)
        return;
    continuousMode_ = on;
    if (on) {
        withoutReconnect_ = true;
        // Clearing "alle" switches Timer2 off, and then it is switched off
        // once more: the same end either way.
        intervalMode_ = false;
        setIntervalTimer(false, intervalMinutes_);
    }
    emit modesChanged();
}

void CaptureModes::setWithoutReconnect(bool on) {
    // While continuous mode is on, the box cannot be cleared.
    withoutReconnect_ = on || continuousMode_;
    emit modesChanged();
}

void CaptureModes::setIntervalTimer(bool enabled, std::int32_t minutes) {
    intervalEnabled_ = enabled;
    intervalMinutes_ = minutes;
    const std::int64_t intervalMs = minutes * kMsPerMinute;
    // A zero interval would fire continuously; with 0 minutes it never fires.
    if (enabled && intervalMs > 0) {
        schedule_.start(CurrentClock().nowMs(), intervalMs); // (re)starts the count
        armIntervalTimer(intervalMs);
    } else {
        schedule_.stop();
        intervalTimer_.stop();
        intervalTimer_.setInterval(0);
    }
}

void CaptureModes::armIntervalTimer(std::int64_t milliseconds) {
    // One timer run holds at most a signed 32-bit count of milliseconds.
    intervalTimer_.start(static_cast<int>(std::clamp<std::int64_t>(milliseconds, 1, INT_MAX)));
}

std::int64_t CaptureModes::intervalDueAtMs() const {
    return intervalTimer_.isActive() ? schedule_.dueAtMs() : -1;
}

std::int64_t CaptureModes::msUntilIntervalDue() const {
    const std::int64_t due = intervalDueAtMs();
    return due < 0 ? -1 : std::max<std::int64_t>(due - CurrentClock().nowMs(), 0);
}

void CaptureModes::checkIntervalSchedule() {
    if (!intervalEnabled_ || !schedule_.running())
        return;
    const std::int64_t now = CurrentClock().nowMs();
    const bool due = schedule_.take(now);
    armIntervalTimer(schedule_.dueAtMs() - now);
    if (due)
        emit intervalDue();
}
