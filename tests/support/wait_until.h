// Waiting in a test for what it expects, never for a fixed time: runs the
// event loop until the condition holds or the limit has passed, looking
// again every 20 ms (events are handled all the while). The limit is
// generous; a test that passes returns as soon as the condition holds.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

template <typename Condition> bool WaitUntil(Condition condition, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}
