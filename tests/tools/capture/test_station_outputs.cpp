// What the station leaves beside its pictures: the command after each
// picture (how it is called, a failing, a hanging and a slow one) and the
// metrics file.
#include "tools/capture/picture_hook.h"
#include "tools/capture/station_metrics.h"

#include <QtTest>
#include <csignal>
#include <unistd.h>

namespace {

QString contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Processes whose command line names the folder: what a hook started and
// left behind.
int processesNaming(const QString& folder) {
    int found = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile file(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (entry.toInt() > 0 && file.open(QIODevice::ReadOnly) &&
            file.readAll().contains(folder.toLocal8Bit()))
            ++found;
    }
    return found;
}

// Children of this process that ended but were never reaped.
int zombieChildren() {
    int zombies = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const QString stat = contentOf(QStringLiteral("/proc/%1/stat").arg(entry));
        const QStringList fields = stat.mid(stat.lastIndexOf(u')') + 2).split(u' ');
        if (fields.size() > 1 && fields[1].toLongLong() == ::getpid() && fields[0] == u"Z")
            ++zombies;
    }
    return zombies;
}

struct HookRig {
    QTemporaryDir folder;
    QStringList reported;
    std::unique_ptr<PictureHook> hook;

    // The script becomes the command's file, so that it gets the picture's
    // path as its $1 the way a user's own script would.
    explicit HookRig(const QString& script, HookLimits limits = {}) {
        limits.shell = limits.shell.empty() ? "/bin/sh" : limits.shell;
        QFile file(folder.filePath("hook.sh"));
        if (file.open(QIODevice::WriteOnly))
            file.write(script.toUtf8());
        hook = std::make_unique<PictureHook>(
            "sh '" + file.fileName().toStdString() + "'",
            [this](const std::string& line) { reported << QString::fromStdString(line); }, limits);
    }
    PictureHook::Picture picture(const QString& name, int attempt = 1) const {
        return {folder.filePath(name).toStdString(), 1234, "2026-12-09T04:10:00+01:00", attempt};
    }
    bool waitUntilIdle(int timeoutMs = 10000) const {
        QElapsedTimer clock;
        clock.start();
        while (hook->busy() && clock.elapsed() < timeoutMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return !hook->busy();
    }
};

} // namespace

class StationOutputsTest : public QObject {
    Q_OBJECT
private slots:
    // As merlon-capture does: the hook must get them back.
    void initTestCase() {
        std::signal(SIGPIPE, SIG_IGN);
        std::signal(SIGXFSZ, SIG_IGN);
    }

    // The path is an argument, never command text; the environment says the
    // rest; input is empty, the group its own, the ignored signals restored.
    void hookGetsThePictureSafely() {
        HookRig rig(QStringLiteral("cd \"$(dirname \"$1\")\" && printf '%s\\n' \"$1\" "
                                   "\"$MERLON_DATEI\" \"$MERLON_BYTES\" \"$MERLON_ZEIT\" "
                                   "\"$MERLON_VERSUCH\" >seen && cat >stdin && "
                                   "cut -d' ' -f5 /proc/$$/stat >group && echo $PPID >pid && "
                                   "grep SigIgn /proc/$$/status >ignored"));
        const QString name = QStringLiteral("Hof $(touch boese); x.jpg");
        rig.hook->picture(rig.picture(name, 2));
        QVERIFY(rig.waitUntilIdle());
        const QString path = rig.folder.filePath(name);
        QCOMPARE(contentOf(rig.folder.filePath("seen")),
                 path + "\n" + path + "\n1234\n2026-12-09T04:10:00+01:00\n2\n");
        QVERIFY(!QFile::exists(rig.folder.filePath("boese")));
        QCOMPARE(contentOf(rig.folder.filePath("stdin")), QString());
        // The group is the one of the shell merlon-capture started, not ours.
        QCOMPARE(contentOf(rig.folder.filePath("group")), contentOf(rig.folder.filePath("pid")));
        QVERIFY(contentOf(rig.folder.filePath("group")).trimmed().toInt() != ::getpgrp());
        const qulonglong ignored = contentOf(rig.folder.filePath("ignored"))
                                       .section(u'\t', 1)
                                       .trimmed()
                                       .toULongLong(nullptr, 16);
        QCOMPARE(ignored & ((1ull << (SIGPIPE - 1)) | (1ull << (SIGXFSZ - 1))), 0ull);
        QCOMPARE(rig.hook->counts().ok, 1u);
        QVERIFY(rig.reported.isEmpty());
    }

    void hookFailureIsOneLine_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("shell");
        QTest::newRow("exit code") << "exit 3"
                                   << "Der Befehl nach dem Bild %1 endete mit Rückgabewert 3"
                                   << "";
        QTest::newRow("signal") << "kill -KILL $PPID"
                                << "Der Befehl nach dem Bild %1 wurde durch Signal 9 (Killed) "
                                   "beendet"
                                << "";
        QTest::newRow("cannot start") << "exit 0"
                                      << "Der Befehl nach dem Bild %1 konnte nicht gestartet "
                                         "werden: Die Datei oder das Verzeichnis existiert nicht"
                                      << "/nicht/da/sh";
    }
    void hookFailureIsOneLine() {
        QFETCH(QString, command);
        QFETCH(QString, line);
        QFETCH(QString, shell);
        HookLimits limits;
        limits.shell = shell.toStdString();
        HookRig rig(command, limits);
        rig.hook->picture(rig.picture("a.jpg"));
        QVERIFY(rig.waitUntilIdle());
        QCOMPARE(rig.reported, QStringList{line.arg(rig.folder.filePath("a.jpg"))});
        QCOMPARE(rig.hook->counts().failed, 1u);
        QCOMPARE(zombieChildren(), 0);
    }

    // A command that ignores SIGTERM and leaves a child behind: the group is
    // killed, the run reported, and the next picture's command runs at once.
    void hangingHookIsEnded() {
        HookRig rig(QStringLiteral("if [ \"$MERLON_VERSUCH\" = 1 ]; then trap '' TERM; "
                                   "sleep 60 & sleep 60; else touch \"$1\"; fi"),
                    {300, 300});
        QElapsedTimer clock;
        clock.start();
        rig.hook->picture(rig.picture("haengt.jpg", 1));
        rig.hook->picture(rig.picture("danach.jpg", 2));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(rig.folder.filePath("danach.jpg")), 10000);
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(rig.waitUntilIdle());
        QCOMPARE(rig.hook->counts().timedOut, 1u);
        QCOMPARE(rig.hook->counts().ok, 1u);
        QCOMPARE(rig.reported.size(), 1);
        QVERIFY(rig.reported.first().contains(QStringLiteral("läuft länger als 300 ms")));
        QCOMPARE(zombieChildren(), 0);
        // Nothing of its group outlives the kill, not even when the shell
        // that led it went at the SIGTERM.
        QTRY_COMPARE_WITH_TIMEOUT(processesNaming(rig.folder.path()), 0, 10000);
    }

    // A command that leaves a child in the background: the child ends with
    // the station, or once the run's time is up, whichever comes first.
    void leftBehindIsEnded_data() {
        QTest::addColumn<int>("runMs");
        QTest::addColumn<bool>("stationStops");
        QTest::addColumn<QString>("line");
        QTest::newRow("station stops") << 600000 << true << "";
        QTest::newRow("run's time is up")
            << 300 << false
            << "Was der Befehl nach dem Bild %1 im Hintergrund gestartet hat, läuft länger als "
               "300 ms und wird beendet";
    }
    void leftBehindIsEnded() {
        QFETCH(int, runMs);
        QFETCH(bool, stationStops);
        QFETCH(QString, line);
        HookRig rig(QStringLiteral("(trap '' TERM; sleep 60; :) & (sleep 61; :) & exit 0"),
                    {runMs, 300});
        rig.hook->picture(rig.picture("a.jpg"));
        QVERIFY(rig.waitUntilIdle());
        QCOMPARE(rig.hook->counts().ok, 1u);
        QCOMPARE(processesNaming(rig.folder.path()), 2);
        if (stationStops)
            rig.hook.reset();
        QTRY_COMPARE_WITH_TIMEOUT(processesNaming(rig.folder.path()), 0, 10000);
        QCOMPARE(rig.reported.join('\n'),
                 line.isEmpty() ? line : line.arg(rig.folder.filePath("a.jpg")));
    }

    // Pictures faster than the command: the one running finishes, only the
    // newest waiting one follows, the others are counted and reported.
    void hookBacklogKeepsTheNewest() {
        HookRig rig(QStringLiteral("sleep 0.3; basename \"$1\" >>\"$(dirname \"$1\")/log\""));
        for (const char* name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg"})
            rig.hook->picture(rig.picture(name));
        QVERIFY(rig.waitUntilIdle());
        QCOMPARE(contentOf(rig.folder.filePath("log")), QStringLiteral("1.jpg\n4.jpg\n"));
        QCOMPARE(rig.hook->counts().skipped, 2u);
        QCOMPARE(rig.hook->counts().ok, 2u);
        QCOMPARE(rig.reported.size(), 2);
        QVERIFY(rig.reported.first().contains(rig.folder.filePath("2.jpg")));
    }

    // A port's name is bytes; the text format wants UTF-8 in label values.
    void metricsLabelIsUtf8_data() {
        QTest::addColumn<QByteArray>("port");
        QTest::addColumn<QByteArray>("label");
        QTest::newRow("UTF-8 kept") << QByteArray("tty-Küche") << QByteArray("tty-Küche");
        QTest::newRow("Latin-1 byte") << QByteArray("tty-K\xfc") << QByteArray("tty-K\xef\xbf\xbd");
        QTest::newRow("cut sequence") << QByteArray("a\xc3") << QByteArray("a\xef\xbf\xbd");
        QTest::newRow("overlong slash")
            << QByteArray("\xc0\xaf") << QByteArray("\xef\xbf\xbd\xef\xbf\xbd");
        QTest::newRow("surrogate")
            << QByteArray("\xed\xa0\x80") << QByteArray("\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
        QTest::newRow("four bytes kept")
            << QByteArray("\xf0\x9f\x93\xb7") << QByteArray("\xf0\x9f\x93\xb7");
    }
    void metricsLabelIsUtf8() {
        QFETCH(QByteArray, port);
        QFETCH(QByteArray, label);
        const std::string text = StationMetrics(port.toStdString()).text();
        QVERIFY(QByteArray::fromStdString(text).contains("{port=\"" + label + "\","));
    }

    // The calls: their seconds, the hang-ups by outcome (both there from the
    // start) and whether one is up, since when.
    void metricsCountTheCalls_data() {
        QTest::addColumn<QList<double>>("endedCallSeconds");
        QTest::addColumn<QStringList>("hangups");
        QTest::addColumn<bool>("up");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("no call yet")
            << QList<double>{} << QStringList{} << false
            << QStringList{"call_seconds_total 0", "hangups_total{outcome=\"ok\"} 0",
                           "hangups_total{outcome=\"failed\"} 0", "call_up 0",
                           "call_started_timestamp_seconds 0"};
        QTest::newRow("a call up") << QList<double>{} << QStringList{} << true
                                   << QStringList{"call_seconds_total 0", "call_up 1",
                                                  "call_started_timestamp_seconds 1796000000.5"};
        QTest::newRow("two calls ended, one hang-up unconfirmed")
            << QList<double>{62.25, 30} << QStringList{"ok", "failed"} << false
            << QStringList{"call_seconds_total 92.25", "hangups_total{outcome=\"ok\"} 1",
                           "hangups_total{outcome=\"failed\"} 1", "call_up 0",
                           "call_started_timestamp_seconds 0"};
    }
    void metricsCountTheCalls() {
        QFETCH(QList<double>, endedCallSeconds);
        QFETCH(QStringList, hangups);
        QFETCH(bool, up);
        QFETCH(QStringList, lines);
        StationMetrics metrics("ttyUSB0");
        metrics.setCallUp(true, 1796000000.5);
        for (const double seconds : endedCallSeconds)
            metrics.addCallSeconds(seconds);
        for (const QString& outcome : hangups)
            metrics.count(StationMetrics::Counter::Hangups, outcome.toStdString());
        metrics.setCallUp(up, 1796000000.5);
        const QString text = QString::fromStdString(metrics.text());
        for (QString line : lines) {
            // Each series with its port, as the file has it.
            line =
                "merlon_capture_" +
                (line.contains(u'{') ? line.replace(u'{', QStringLiteral("{port=\"ttyUSB0\","))
                                     : line.replace(u' ', QStringLiteral("{port=\"ttyUSB0\"} ")));
            QVERIFY2(text.contains(u'\n' + line + u'\n'), qPrintable(line));
        }
    }

    void metricsNameEverySeriesAndReplaceTheFile() {
        StationMetrics metrics("tty\"USB\\0");
        metrics.count(StationMetrics::Counter::Pictures, "damaged");
        metrics.count(StationMetrics::Counter::Attempts, "damaged");
        metrics.count(StationMetrics::Counter::Dials, "busy", 2);
        metrics.setIntervalSeconds(600);
        const QString text = QString::fromStdString(metrics.text());
        const QString port = QStringLiteral("port=\"tty\\\"USB\\\\0\"");
        QVERIFY(
            text.contains("merlon_capture_pictures_total{" + port + ",verdict=\"damaged\"} 1\n"));
        QVERIFY(text.contains("merlon_capture_pictures_total{" + port + ",verdict=\"sound\"} 0\n"));
        QVERIFY(text.contains("merlon_capture_dials_total{" + port + ",result=\"busy\"} 2\n"));
        QVERIFY(text.contains("merlon_capture_interval_seconds{" + port + "} 600\n"));
        // Every sample line names the port; every family says its type.
        for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts))
            QVERIFY2(line.startsWith(u'#') || line.contains(port), qPrintable(line));
        QCOMPARE(text.count(QStringLiteral("# TYPE ")), 13);
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument,
                                 metrics.count(StationMetrics::Counter::Dials, "bald"));

        QTemporaryDir folder;
        const QString path = folder.filePath("merlon.prom");
        metrics.writeTo(path.toStdString());
        metrics.count(StationMetrics::Counter::Pictures, "sound");
        metrics.writeTo(path.toStdString());
        QCOMPARE(contentOf(path), QString::fromStdString(metrics.text()));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"merlon.prom"});
    }
};

QTEST_GUILESS_MAIN(StationOutputsTest)
#include "test_station_outputs.moc"
