// What the status line says for each mode and stage of the live capture,
// and the formatters it and the station share.
#include "camera/capture_session.h"
#include "camera/capture_status.h"
#include "camera/text_formats.h"

#include <QtTest>
#include <ctime>

namespace {

constexpr std::int64_t kNow = 1796000000000; // 2026-11-30 00:53:20 UTC

// A stage with its figures: "-", "arriving 1", "stored 5432", "not stored",
// "not shown".
CaptureProgress Progress(const QString& stage) {
    CaptureProgress progress;
    progress.pictureBytes = stage.section(u' ', -1).toULongLong();
    if (stage.startsWith(u"arriving"))
        progress.stage = CaptureProgress::Stage::Arriving;
    else if (stage.startsWith(u"stored")) {
        progress.stage = CaptureProgress::Stage::Stored;
        progress.fileName = "Kamera_4712.jpg";
    } else if (stage == u"not stored") {
        progress.stage = CaptureProgress::Stage::NotStored;
        progress.failure = "Datei /voll/Kamera_4712.jpg kann nicht erstellt werden";
    } else if (stage == u"not shown") {
        progress.stage = CaptureProgress::Stage::NotShown;
        progress.failure = "JPEG-Fehler #42";
    }
    return progress;
}

// "-", "fortlaufend", "alle 5", "alle 1 anwahl", "alle refused".
CaptureModeState Modes(const QString& mode) {
    CaptureModeState modes;
    modes.continuous = mode == u"fortlaufend";
    modes.interval = mode.startsWith(u"alle");
    modes.withoutReconnect = mode.endsWith(u"anwahl");
    modes.intervalTimerEnabled = modes.interval && !mode.endsWith(u"refused");
    modes.minutes = modes.intervalTimerEnabled ? mode.section(u' ', 1, 1).toInt() : 7;
    return modes;
}

} // namespace

class CaptureStatusTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qputenv("TZ", "UTC");
        tzset();
    }

    void statusLineSaysModeAndProgress_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("stage");
        QTest::addColumn<qint64>("msUntilDue");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing yet") << "-"
                                     << "-" << -1LL << "";
        QTest::newRow("one byte") << "-"
                                  << "arriving 1" << -1LL << "Bild wird empfangen: 1 Byte";
        QTest::newRow("stored") << "-"
                                << "stored 5432" << -1LL
                                << "Gespeichert: Kamera_4712.jpg (5432 Bytes), in Ordnung";
        QTest::newRow("stored one byte")
            << "-"
            << "stored 1" << -1LL << "Gespeichert: Kamera_4712.jpg (1 Byte), in Ordnung";
        QTest::newRow("not stored")
            << "-"
            << "not stored" << -1LL
            << "Nicht gespeichert: Datei /voll/Kamera_4712.jpg kann nicht erstellt werden";
        QTest::newRow("not shown, every minute")
            << "alle 1"
            << "not shown" << 60000LL
            << "Nicht angezeigt: JPEG-Fehler #42 \u2013 Jede Minute, nächstes Bild um 00:54:20";
        QTest::newRow("every five minutes, tomorrow")
            << "alle 5 anwahl"
            << "-" << 86400000LL
            << "Alle 5 Minuten mit Anwahl, nächstes Bild um 01.12.2026 00:53:20";
        QTest::newRow("zero minutes") << "alle 0"
                                      << "-" << -1LL << "Alle 0 Minuten: kein Bild geplant";
        QTest::newRow("refused minutes")
            << "alle refused"
            << "stored 2" << -1LL
            << "Gespeichert: Kamera_4712.jpg (2 Bytes), in Ordnung "
               "\u2013 Keine gültige Anzahl Minuten: kein Bild geplant";
        QTest::newRow("continuous")
            << "fortlaufend"
            << "-" << -1LL
            << "Fortlaufend: das nächste Bild wird gleich nach dem Speichern angefordert";
    }
    void statusLineSaysModeAndProgress() {
        QFETCH(QString, mode);
        QFETCH(QString, stage);
        QFETCH(qint64, msUntilDue);
        QTEST(
            QString::fromStdString(StatusLineText(Progress(stage), Modes(mode), msUntilDue, kNow)),
            "text");
    }

    void formattersSayCountsAndTimes_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no bytes") << QString::fromStdString(ByteCountText(0)) << "0 Bytes";
        QTest::newRow("one byte") << QString::fromStdString(ByteCountText(1)) << "1 Byte";
        QTest::newRow("one second") << QString::fromStdString(SecondsText(1)) << "1 Sekunde";
        QTest::newRow("seconds") << QString::fromStdString(SecondsText(30)) << "30 Sekunden";
        QTest::newRow("local time")
            << QString::fromStdString(LocalTimeText(kNow)) << "2026-11-30 00:53:20";
        QTest::newRow("local bytes back")
            << QString::fromStdString(LocalBytes(LocalText("Bild_1.jpg"))) << "Bild_1.jpg";
    }
    void formattersSayCountsAndTimes() {
        QFETCH(QString, text);
        QTEST(text, "expected");
    }
};

QTEST_MAIN(CaptureStatusTest)
#include "test_capture_status.moc"
