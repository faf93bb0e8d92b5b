#include "tools/capture/service_watchdog.h"

#include <algorithm>
#include <climits>

ServiceWatchdog::ServiceWatchdog(QObject* parent)
    : ServiceWatchdog(ServiceNotifier::fromEnvironment(), parent) {}

ServiceWatchdog::ServiceWatchdog(ServiceNotifier notifier, QObject* parent)
    : QObject(parent), notifier_(std::move(notifier)) {
    const std::int64_t interval = notifier_.pingIntervalMs();
    if (interval <= 0)
        return;
    ping_.setInterval(static_cast<int>(std::min<std::int64_t>(interval, INT_MAX)));
    // Precise: a coarse timer may fire 5 % late, which eats into the half
    // of the time-out kept in hand.
    ping_.setTimerType(Qt::PreciseTimer);
    connect(&ping_, &QTimer::timeout, this, &ServiceWatchdog::ping);
    ping_.start();
}

void ServiceWatchdog::ready() {
    if (readySent_ || stoppingSent_)
        return;
    readySent_ = true;
    notifier_.ready();
    if (ping_.isActive())
        ping();
}

void ServiceWatchdog::stopping() {
    if (stoppingSent_)
        return;
    stoppingSent_ = true;
    ping_.stop();
    notifier_.stopping();
}

void ServiceWatchdog::ping() {
    notifier_.watchdogPing();
}
