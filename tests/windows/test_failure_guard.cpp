// The failure guard: what the message box shows, and that a failure ends the
// whole chain of handlers that led to it.
#include "platform/user_error.h"
#include "tests/support/recording_message_reporter.h"
#include "windows/failure_guard.h"

#include <QtTest>

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

    void sameMessageNeverStacksASecondBox() {
        // The boxes stay open while the timers go on failing under them.
        RecordingMessageReporter reporter;
        reporter.keepOpen = true;
        ReportFailure(QStringLiteral("Datei x kann nicht erstellt werden"));
        ReportFailure(QStringLiteral("Datei x kann nicht erstellt werden"));
        ReportFailure(QStringLiteral("Stream-Write-Fehler"));
        QCOMPARE(reporter.texts, QStringList({"Datei x kann nicht erstellt werden.",
                                              "Stream-Write-Fehler."}));
        // Once closed, the same text may open a box again.
        reporter.closeAll();
        ReportFailure(QStringLiteral("Datei x kann nicht erstellt werden"));
        QCOMPARE(reporter.texts.size(), 3);
    }
};

QTEST_MAIN(FailureGuardTest)
#include "test_failure_guard.moc"
