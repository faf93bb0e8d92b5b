#include "windows/window_clock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <climits>

std::int64_t WindowClock::nowMs() {
    return SystemClock().nowMs();
}

void WindowClock::waitUntilMs(std::int64_t deadlineMs) {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || QThread::currentThread() != application->thread()) {
        SystemClock().waitUntilMs(deadlineMs);
        return;
    }
    const HeldBackActions::Wait holding(heldBackActions());
    QEventLoop loop;
    QTimer wake;
    // A coarse timer may fire up to 5 % early or late; the line's timing
    // is the protocol.
    wake.setTimerType(Qt::PreciseTimer);
    wake.setSingleShot(true);
    QObject::connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
    // The timer counts on another clock than the deadline (and the
    // application quitting ends every loop): look again once woken.
    for (std::int64_t left = deadlineMs - nowMs(); left > 0; left = deadlineMs - nowMs()) {
        wake.start(static_cast<int>(std::min<std::int64_t>(left, INT_MAX)));
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
}
