// Waiting in a test for what it expects, never for a fixed time: runs the
// event loop until the condition holds or the limit has passed, looking
// every 20 ms. The limit is generous; a test that passes returns as soon as
// the condition holds.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

template <typename Condition> bool WaitUntil(Condition condition, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
    return true;
}
