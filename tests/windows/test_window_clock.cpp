// The window clock's waits, for real: the deadline is kept, the window
// paints and handles what is posted to it meanwhile, and a timer's action or
// a press over the accessibility interface waits until the handler that
// waited has returned.
#include "windows/failure_guard.h"
#include "windows/window_clock.h"

#include <QAccessible>
#include <QPushButton>
#include <QtTest>

namespace {

class PaintCounter : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

class Handlers : public QObject {
public:
    QStringList ran;
    void tick() { ran << "tick"; }
    void press() { ran << "press"; }
};

class Probe : public QObject {
public:
    std::function<void()> onEvent;

protected:
    void customEvent(QEvent*) override { onEvent(); }
};

} // namespace

class WindowClockTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { SetClock(nullptr); }

    void waitKeepsTheWindowAliveAndHoldsActionsBack() {
        WindowClock clock;
        SetClock(&clock);
        PaintCounter window;
        window.resize(100, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Handlers handlers;
        QPushButton button(&window);
        QObject::connect(&button, &QPushButton::clicked, &handlers,
                         GuardedSlot(&handlers, &Handlers::press));
        QTimer timer;
        timer.setInterval(10);
        int fired = 0;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++fired; });
        QObject::connect(&timer, &QTimer::timeout, &handlers,
                         GuardedTimerSlot(&handlers, &Handlers::tick));

        bool waiting = false;
        bool postedHandledInTheWait = false;
        Probe probe;
        probe.onEvent = [&] { postedHandledInTheWait = waiting; };
        std::int64_t waitedMs = 0;
        int paintsInTheWait = 0;
        int firedInTheWait = 0;
        QStringList ranInTheWait;
        Guarded([&] {
            timer.start();
            const int paintsBefore = window.paints;
            window.update();
            QCoreApplication::postEvent(&probe, new QEvent(QEvent::User));
            // A screen reader presses the button while the handler waits.
            QTimer::singleShot(20, [&] {
                QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&button);
                accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            });
            waiting = true;
            const std::int64_t start = clock.nowMs();
            clock.sleepMs(300);
            waitedMs = clock.nowMs() - start;
            waiting = false;
            paintsInTheWait = window.paints - paintsBefore;
            firedInTheWait = fired;
            ranInTheWait = handlers.ran;
            timer.stop();
        });
        QVERIFY2(waitedMs >= 300, qPrintable(QString::number(waitedMs)));
        QVERIFY(postedHandledInTheWait);
        QVERIFY(paintsInTheWait > 0);
        QVERIFY(firedInTheWait > 1);
        QCOMPARE(ranInTheWait, QStringList());
        // The press came after the first tick: one tick for all, then it.
        QCOMPARE(handlers.ran, QStringList({"tick", "press"}));
    }
};

QTEST_MAIN(WindowClockTest)
#include "test_window_clock.moc"
