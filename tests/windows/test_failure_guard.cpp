// The failure guard: what the message box shows, that a failure ends the
// whole chain of handlers that led to it, and that what arrives during a
// wait is acted on after the handler that waited.
#include "platform/user_error.h"
#include "tests/support/windows/fake_window_clock.h"
#include "tests/support/windows/recording_message_reporter.h"
#include "windows/failure_guard.h"

#include <QAction>
#include <QPushButton>
#include <QtTest>

namespace {

// The handlers of a window, each noting that it ran.
class Handlers : public QObject {
public:
    QStringList ran;
    void handler() {
        ran << "handler";
        CurrentClock().sleepMs(1000);
        ran << "handler done";
    }
    void click() { ran << "click"; }
    void menu() { ran << "menu"; }
    void tick() { ran << "tick"; }
    void waits() {
        ran << "waits";
        CurrentClock().sleepMs(1000);
        ran << "waited";
    }
    void fails() {
        ran << "fails";
        throw UserError("Stream-Write-Fehler");
    }
    void key() { ran << "key"; }
    // The port is closed: the poll no longer applies.
    bool connected = true;
    void disconnect() {
        ran << "disconnect";
        connected = false;
    }
    void poll() { ran << "poll"; }
    void quits() {
        ran << "quits";
        EndHeldBackActions();
    }
};

} // namespace

class FailureGuardTest : public QObject {
    Q_OBJECT
private slots:
    void titleIsProgramNameWithLowerCaseTail_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("title");
        QTest::newRow("plain") << "/usr/local/bin/merlon-eva"
                               << "merlon-eva";
        QTest::newRow("first letter kept, rest lowered") << "/opt/Merlon-EVA"
                                                         << "Merlon-eva";
        QTest::newRow("extension dropped") << "C:/Programme/Project1.exe"
                                           << "Project1";
        QTest::newRow("only the last extension") << "/x/KONVERTER.Neu.bin"
                                                 << "Konverter.neu";
    }
    void titleIsProgramNameWithLowerCaseTail() {
        QFETCH(QString, path);
        QFETCH(QString, title);
        QCOMPARE(MessageBoxTitle(path), title);
    }

    void fullStopOnlyAfterCharactersAboveIt_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Stream-Write-Fehler"
                                << "Stream-Write-Fehler.";
        QTest::newRow("digit") << "JPEG-Fehler #42"
                               << "JPEG-Fehler #42.";
        QTest::newRow("quote") << "'x' ist kein gültiger Integerwert'"
                               << "'x' ist kein gültiger Integerwert'";
        QTest::newRow("full stop itself") << "Ende."
                                          << "Ende.";
        QTest::newRow("slash is above") << "Pfad /"
                                        << "Pfad /.";
        QTest::newRow("parenthesis is below") << "(leer)"
                                              << "(leer)";
        QTest::newRow("umlaut") << "Größe"
                                << "Größe.";
        QTest::newRow("empty") << ""
                               << "";
    }
    void fullStopOnlyAfterCharactersAboveIt() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(MessageBoxText(message), shown);
    }

    void failureEndsTheWholeChainAndIsShownOnce() {
        RecordingMessageReporter reporter;
        QStringList steps;
        auto inner = [&] {
            steps << "inner";
            throw UserError::withDetail("Datei %s kann nicht erstellt werden", "/x/y.jpg");
        };
        auto outer = [&] {
            steps << "outer";
            inner();
            steps << "after inner";
        };
        Guarded(outer);
        QCOMPARE(steps, QStringList({"outer", "inner"}));
        QCOMPARE(reporter.texts, QStringList{"Datei /x/y.jpg kann nicht erstellt werden."});
        QCOMPARE(reporter.titles.size(), 1);
        QCOMPARE(reporter.titles.first(), MessageBoxTitle(QCoreApplication::applicationFilePath()));
    }

    void runningOutOfMemoryIsReportedNotFatal() {
        RecordingMessageReporter reporter;
        Guarded([] { throw std::bad_alloc(); });
        QCOMPARE(reporter.texts.size(), 1);
        QVERIFY(reporter.texts.first().contains(QStringLiteral("Arbeitsspeicher")));
    }

    void guardedSlotRunsTheMember() {
        RecordingMessageReporter reporter;
        struct Target {
            int calls = 0;
            void fail() {
                ++calls;
                throw UserError("Stream-Write-Fehler");
            }
        } target;
        GuardedSlot(&target, &Target::fail)();
        QCOMPARE(target.calls, 1);
        QCOMPARE(reporter.texts, QStringList{"Stream-Write-Fehler."});
    }

    // What arrives during the waits, one group per wait in the order the
    // waits come: c a click, m a menu item, t a timer's tick, w an action
    // that waits itself, f one that fails, q one that ends the program (as
    // the close box does), p the poll's tick (while connected); k a key and
    // d a click on "COM schließen" that the window system keeps until the
    // event loop runs again.
    void actionsDuringAWaitRunAfterTheHandler_data() {
        QTest::addColumn<QString>("arrivals");
        QTest::addColumn<QStringList>("ran");
        const QStringList handler = {"handler", "handler done"};
        QTest::newRow("nothing") << "" << handler;
        QTest::newRow("ticks before presses, presses in their order")
            << "ctm" << handler + QStringList{"tick", "click", "menu"};
        QTest::newRow("kept input before ticks")
            << "tck" << handler + QStringList{"key", "tick", "click"};
        QTest::newRow("a tick that still applies runs") << "p" << handler + QStringList{"poll"};
        QTest::newRow("a tick that no longer applies is dropped")
            << "pd" << handler + QStringList{"disconnect"};
        QTest::newRow("nothing after the end of the program")
            << "cqtc" << handler + QStringList{"tick", "click", "quits"};
        QTest::newRow("a timer's ticks make one")
            << "tctt" << handler + QStringList{"tick", "click"};
        QTest::newRow("two clicks stay two") << "cc" << handler + QStringList{"click", "click"};
        QTest::newRow("an action that waits holds back again")
            << "wm|c" << handler + QStringList{"waits", "waited", "menu", "click"};
        QTest::newRow("a failing action ends only itself")
            << "fc" << handler + QStringList{"fails", "click"};
    }
    void actionsDuringAWaitRunAfterTheHandler() {
        QFETCH(QString, arrivals);
        RecordingMessageReporter reporter;
        FakeWindowClock clock;
        Handlers handlers;
        QPushButton button;
        QObject::connect(&button, &QPushButton::clicked, &handlers,
                         GuardedSlot(&handlers, &Handlers::click));
        QAction menuItem;
        QObject::connect(&menuItem, &QAction::triggered, &handlers,
                         GuardedSlot(&handlers, &Handlers::menu));
        QTimer timer; // fires once at the next pass of the event loop
        timer.setInterval(0);
        timer.setSingleShot(true);
        int fired = 0;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++fired; });
        QObject::connect(&timer, &QTimer::timeout, &handlers,
                         GuardedTimerSlot(&handlers, &Handlers::tick));
        QTimer pollTimer;
        pollTimer.setInterval(0);
        pollTimer.setSingleShot(true);
        QObject::connect(&pollTimer, &QTimer::timeout, [&] { ++fired; });
        QObject::connect(
            &pollTimer, &QTimer::timeout, &handlers,
            GuardedTimerSlot(&handlers, &Handlers::poll, [&] { return handlers.connected; }));
        // Delivered by the event loop when it runs again, as a click or key
        // the window system kept during the wait.
        auto keptInput = [&](void (Handlers::*member)()) {
            QMetaObject::invokeMethod(&handlers, GuardedSlot(&handlers, member),
                                      Qt::QueuedConnection);
        };
        auto tick = [&](QTimer& which) {
            const int firedBefore = fired;
            which.start();
            QTRY_VERIFY(fired > firedBefore);
        };

        const QStringList groups = arrivals.split(u'|');
        std::size_t wait = 0;
        clock.duringWait = [&](std::int64_t) {
            if (wait >= std::size_t(groups.size()))
                return;
            const QStringList before = handlers.ran;
            for (const QChar arrival : groups[int(wait++)]) {
                switch (arrival.unicode()) {
                case 'c':
                    button.click();
                    break;
                case 'm':
                    menuItem.trigger();
                    break;
                case 't':
                    tick(timer);
                    break;
                case 'p':
                    tick(pollTimer);
                    break;
                case 'k':
                    keptInput(&Handlers::key);
                    break;
                case 'd':
                    keptInput(&Handlers::disconnect);
                    break;
                case 'q':
                    GuardedSlot(&handlers, &Handlers::quits)();
                    break;
                case 'w':
                    GuardedSlot(&handlers, &Handlers::waits)();
                    break;
                case 'f':
                    GuardedSlot(&handlers, &Handlers::fails)();
                    break;
                }
            }
            QCOMPARE(handlers.ran, before); // nothing ran during the wait
        };
        GuardedSlot(&handlers, &Handlers::handler)();
        QTEST(handlers.ran, "ran");
        QCOMPARE(reporter.texts.size(), arrivals.count(u'f'));
        QCOMPARE(fired, arrivals.count(u't') + arrivals.count(u'p'));
    }

    void sameMessageNeverStacksASecondBox() {
        // The boxes stay open while the timers go on failing under them.
        RecordingMessageReporter reporter;
        reporter.keepOpen = true;
        ReportFailure(QStringLiteral("Datei x kann nicht erstellt werden"));
        ReportFailure(QStringLiteral("Datei x kann nicht erstellt werden"));
        ReportFailure(QStringLiteral("Stream-Write-Fehler"));
        QCOMPARE(reporter.texts,
                 QStringList({"Datei x kann nicht erstellt werden.", "Stream-Write-Fehler."}));
        // Once closed, the same text may open a box again.
        reporter.closeAll();
        ReportFailure(QStringLiteral("Datei x kann nicht erstellt werden"));
        QCOMPARE(reporter.texts.size(), 3);
    }
};

QTEST_MAIN(FailureGuardTest)
#include "test_failure_guard.moc"
