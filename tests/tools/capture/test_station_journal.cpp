// The station's journal: one JSON line a attempt, in the metrics' words,
// readable by any JSON reader whatever bytes the names hold.
#include "tools/capture/station_readers.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <sstream>

class StationJournalTest : public QObject {
    Q_OBJECT
private slots:
    void stringsAreValidJson_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("read"); // what a JSON reader gets back
        QTest::newRow("plain") << QByteArray("Hof_1.jpg") << QStringLiteral("Hof_1.jpg");
        QTest::newRow("quote, backslash, line end")
            << QByteArray("a\"b\\c\r\n") << QStringLiteral("a\"b\\c\r\n");
        QTest::newRow("UTF-8 kept")
            << QByteArray("Besetzt für Größe") << QStringLiteral("Besetzt für Größe");
        QTest::newRow("Latin-1 byte") << QByteArray("Gr\xf6\xdf"
                                                    "e")
                                      << QStringLiteral("Gr\uFFFD\uFFFDe");
        QTest::newRow("cut sequence") << QByteArray("x\xc3") << QStringLiteral("x\uFFFD");
        QTest::newRow("surrogate")
            << QByteArray("\xed\xa0\x80") << QStringLiteral("\uFFFD\uFFFD\uFFFD");
    }
    void stringsAreValidJson() {
        QFETCH(QByteArray, bytes);
        const std::string json = "[" + JsonString(bytes.toStdString()) + "]";
        QJsonParseError error{};
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        QTEST(document.array().at(0).toString(), "read");
    }

    void everyAttemptIsOneLine_data() {
        QTest::addColumn<QByteArray>("before"); // what the journal held
        QTest::newRow("new journal") << QByteArray();
        QTest::newRow("a whole line before") << QByteArray("{\"outcome\":\"sound\"}\n");
        QTest::newRow("a torn line before") << QByteArray("{\"outcome\":\"so");
    }
    void everyAttemptIsOneLine() {
        QFETCH(QByteArray, before);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("protokoll.jsonl"));
        if (!before.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(before) == before.size());
        }
        std::ostringstream errors;
        StandardError standardError(errors, false);
        {
            JournalFile journal(path.toStdString(), "COM1", 600, standardError);
            StationEvent event;
            event.kind = StationEvent::Kind::AttemptBegun;
            journal.read(event);
            event.kind = StationEvent::Kind::PictureStored;
            event.lineCharactersPerSecond = 2880;
            journal.read(event);
            event.kind = StationEvent::Kind::AttemptEnded;
            event.attempt = 2;
            event.attempts = 3;
            event.outcome = AttemptOutcome::Sound;
            event.dial = DialResult::Connect;
            event.file = folder.filePath(QStringLiteral("Hof_1.jpg")).toStdString();
            event.bytes = 9000;
            event.attemptStartMs = 1000;
            event.atMs = 4500;
            event.wallMs = 1796000000000;
            journal.read(event);
            event.outcome = AttemptOutcome::DialFailed;
            event.dial = DialResult::Busy;
            event.file = "/anderswo/Hof_2.jpg";
            event.message = "Besetzt (BUSY)";
            journal.read(event);
        }
        QVERIFY(errors.str().empty());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.takeLast(), QByteArray()); // ends with a line end
        QCOMPARE(lines.size(), (before.isEmpty() ? 0 : 1) + 2);
        const QJsonObject sound = QJsonDocument::fromJson(lines.at(lines.size() - 2)).object();
        const QJsonObject busy = QJsonDocument::fromJson(lines.last()).object();
        QCOMPARE(sound.value("outcome").toString(), QStringLiteral("sound"));
        QCOMPARE(sound.value("dial").toString(), QStringLiteral("connect"));
        QCOMPARE(sound.value("file").toString(), QStringLiteral("Hof_1.jpg")); // in its folder
        QCOMPARE(sound.value("attempt").toInt(), 2);
        QCOMPARE(sound.value("attempts").toInt(), 3);
        QCOMPARE(sound.value("bytes").toInt(), 9000);
        QCOMPARE(sound.value("seconds").toDouble(), 3.5);
        QCOMPARE(sound.value("port").toString(), QStringLiteral("COM1"));
        QCOMPARE(sound.value("interval_seconds").toDouble(), 600.0);
        QCOMPARE(sound.value("line_bytes_per_second").toDouble(), 2880.0);
        QVERIFY(sound.value("message").isNull());
        QVERIFY(QDateTime::fromString(sound.value("time").toString(), Qt::ISODate).isValid());
        QVERIFY(sound.value("time").toString().contains(QRegularExpression("[+-]\\d\\d:\\d\\d$")));
        QCOMPARE(busy.value("file").toString(), QStringLiteral("/anderswo/Hof_2.jpg"));
        QCOMPARE(busy.value("message").toString(), QStringLiteral("Besetzt (BUSY)"));
    }
};

QTEST_GUILESS_MAIN(StationJournalTest)
#include "test_station_journal.moc"
