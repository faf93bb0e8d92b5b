// merlon-capture against the simulated modem and board, as a service runs
// it: the pictures it stores are the board's byte for byte, a damaged one is
// kept aside and asked for again, the call goes as the modem tells it, it
// keeps going when the port goes away and comes back, a stop leaves neither
// a picture's name nor the port behind, and a one-picture run that cannot
// open its port fails with the window's message. What it leaves for others:
// the metrics, the command after a picture, the newest copy.
#include "capture/hex_capture.h"
#include "platform/serial_device.h"
#include "tests/support/modem_call.h"
#include "tests/support/wait_until.h"

#include <QtTest>
#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The value of one series in a metrics file's text, or -1 when it is not there.
double Sample(const QByteArray& text, const QString& series) {
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith(series.toUtf8() + ' '))
            return line.mid(series.toUtf8().size() + 1).toDouble();
    return -1;
}

// Every file in the folder, hidden ones included, oldest first.
QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Time | QDir::Reversed);
}

// The simulated board behind a fixed link, so that a restarted board is
// found under the same name.
struct Board {
    QProcess process;
    QString saveDir;
    bool started = false;

    Board(const QString& link, const QString& folder, const QStringList& extra) : saveDir(folder) {
        QDir().mkpath(saveDir);
        process.start(BOARD_SIM_PATH,
                      QStringList{"--dial-delay", "0", "--save", saveDir, "--link", link} + extra);
        started = process.waitForStarted() && process.waitForReadyRead(5000) &&
                  process.readLine().startsWith("/dev/");
    }
    ~Board() {
        process.terminate();
        process.waitForFinished(5000);
    }
    QString picture(int number) const {
        return saveDir + QStringLiteral("/picture-%1.jpg").arg(number, 4, 10, QChar(u'0'));
    }
    // Waits until the board has begun to send its first picture.
    bool sendingFirstPicture() {
        return WaitUntil([&] { return process.readAllStandardOutput().contains("Bild 1:"); },
                         20000);
    }
    // Waits until the modem has taken a dial and is ringing the far side.
    bool dialling() {
        QByteArray events;
        return WaitUntil(
            [&] {
                events += process.readAllStandardError();
                return events.contains(QByteArrayLiteral("Modem: wählt"));
            },
            20000);
    }
};

// Places the call by hand; tries for a while, since the run may hold the
// port for a moment.
bool PlaceCall(const QString& link) {
    return WaitUntil([&] { return PlaceModemCall(link.toStdString()); }, 20000);
}

// merlon-capture with its two outputs collected as they come.
struct CaptureTool {
    QProcess process;
    QByteArray out, err;

    explicit CaptureTool(
        const QStringList& arguments, const QString& workingDirectory = {},
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
        process.setWorkingDirectory(workingDirectory);
        process.setProcessEnvironment(environment);
        process.start(CAPTURE_TOOL_PATH, arguments);
        process.waitForStarted();
    }
    ~CaptureTool() {
        process.kill();
        process.waitForFinished(5000);
    }
    QStringList storedLines() {
        out += process.readAllStandardOutput();
        return QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts);
    }
    QString errors() {
        err += process.readAllStandardError();
        return QString::fromUtf8(err);
    }
    bool storedAtLeast(int count, int timeoutMs) {
        return WaitUntil([&] { return storedLines().size() >= count; }, timeoutMs);
    }
    // The exit code, or -1 when it did not end in time or ended by a signal.
    int finished(int timeoutMs) {
        if (!WaitUntil([&] { return process.state() == QProcess::NotRunning; }, timeoutMs))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    void signal(int number) { ::kill(static_cast<pid_t>(process.processId()), number); }
};

// Where systemd would hear a Type=notify service: an abstract datagram
// socket, each message taken with the time it came.
class ServiceManagerSocket {
public:
    ServiceManagerSocket() : name_("@merlon-capture-test-" + QByteArray::number(getpid())) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, name_.constData() + 1, name_.size() - 1);
        bound_ =
            ::bind(fd_, reinterpret_cast<sockaddr*>(&address),
                   static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name_.size())) == 0;
        clock_.start();
    }
    ~ServiceManagerSocket() { ::close(fd_); }
    bool bound() const { return bound_; }
    const QByteArray& name() const { return name_; }

    struct Message {
        QByteArray text;
        qint64 atMs;
    };
    // What came since the last look.
    const QList<Message>& messages() {
        char buffer[512];
        ssize_t n = 0;
        while ((n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0)
            messages_.append({QByteArray(buffer, static_cast<int>(n)), clock_.elapsed()});
        return messages_;
    }
    bool received(const QByteArray& text) {
        const QList<Message>& all = messages();
        return std::any_of(all.begin(), all.end(),
                           [&](const Message& message) { return message.text == text; });
    }

private:
    QByteArray name_;
    int fd_ = -1;
    bool bound_ = false;
    QElapsedTimer clock_;
    QList<Message> messages_;
};

} // namespace

class CaptureToolTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> scratch_;
    QString link_;
    QString folder_; // where the run stores its pictures

    QString stem() const { return folder_ + QStringLiteral("/Hof"); }
    QString stored(const QString& line) const { return line.section(QStringLiteral(": "), 0, 0); }

private slots:
    void init() {
        scratch_ = std::make_unique<QTemporaryDir>();
        link_ = scratch_->filePath(QStringLiteral("com"));
        folder_ = scratch_->filePath(QStringLiteral("bilder"));
        QDir().mkpath(folder_);
    }

    void onePictureIsTheBoardsPicture_data() {
        QTest::addColumn<bool>("byComNumber");
        QTest::newRow("COM1 mapped to the device") << true;
        QTest::newRow("device path") << false;
    }
    void onePictureIsTheBoardsPicture() {
        QFETCH(bool, byComNumber);
        Board board(link_, scratch_->filePath(QStringLiteral("board")), {"--fast"});
        QVERIFY(board.started);
        QVERIFY(PlaceCall(link_));
        qputenv("MERLON_COM1", link_.toLocal8Bit());
        CaptureTool tool({"--port", byComNumber ? QStringLiteral("COM1") : link_, "--name", stem(),
                          "--wartezeit", "60"});
        QCOMPARE(tool.finished(60000), 0);
        const QStringList lines = tool.storedLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].contains(QRegularExpression(": \\d+ Bytes, \\d{4}-\\d\\d-\\d\\d ")));
        QVERIFY(stored(lines[0]).startsWith(stem() + u'_'));
        QCOMPARE(filesIn(folder_), QStringList{QFileInfo(stored(lines[0])).fileName()});
        QCOMPARE(contentOf(stored(lines[0])), contentOf(board.picture(1)));
        QCOMPARE(tool.errors(), QString());
    }

    void continuousRunStoresPictureAfterPicture() {
        Board board(link_, scratch_->filePath(QStringLiteral("board")), {"--fast"});
        QVERIFY(board.started);
        QVERIFY(PlaceCall(link_));
        CaptureTool tool({"--port", link_, "--name", stem(), "--fortlaufend", "--gross"});
        QVERIFY(tool.storedAtLeast(5, 90000));
        tool.signal(SIGTERM);
        QCOMPARE(tool.finished(10000), 0);
        const QStringList lines = tool.storedLines();
        for (int k = 0; k < 5; ++k)
            QCOMPARE(contentOf(stored(lines[k])), contentOf(board.picture(k + 1)));
        QCOMPARE(filesIn(folder_).size(), lines.size());
        QCOMPARE(tool.errors(), QString());
    }

    void runGoesOnWhenThePortComesBack() {
        auto board = std::make_unique<Board>(link_, scratch_->filePath(QStringLiteral("board1")),
                                             QStringList{"--fast"});
        QVERIFY(board->started);
        QVERIFY(PlaceCall(link_));
        CaptureTool tool({"--port", link_, "--name", stem(), "--fortlaufend", "--wartezeit", "15"});
        QVERIFY(tool.storedAtLeast(1, 30000));
        board.reset(); // the device goes away, as a pulled adapter does
        const QString dropped = "Die Verbindung über " + link_ +
                                " ist abgebrochen: das Gerät ist nicht mehr erreichbar";
        QVERIFY(WaitUntil([&] { return tool.errors().contains(dropped); }, 10000));
        const int before = tool.storedLines().size();

        board = std::make_unique<Board>(link_, scratch_->filePath(QStringLiteral("board2")),
                                        QStringList{"--fast"});
        QVERIFY(board->started);
        QVERIFY(PlaceCall(link_));
        QVERIFY(tool.storedAtLeast(before + 1, 60000));
        const QString next = stored(tool.storedLines().at(before));
        QCOMPARE(contentOf(next), contentOf(board->picture(1)));
        tool.signal(SIGTERM);
        QCOMPARE(tool.finished(10000), 0);
    }

    void stopLeavesNoPictureAndFreesThePort_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("whileDialling");
        QTest::newRow("SIGTERM while the picture arrives") << int(SIGTERM) << false;
        QTest::newRow("SIGINT while the picture arrives") << int(SIGINT) << false;
        QTest::newRow("SIGTERM during the wait for the call") << int(SIGTERM) << true;
    }
    void stopLeavesNoPictureAndFreesThePort() {
        QFETCH(int, signal);
        QFETCH(bool, whileDialling);
        // At the line's own pace a picture takes half a minute to arrive; a
        // call that takes 20 s to come up keeps the run waiting for CONNECT.
        Board board(link_, scratch_->filePath(QStringLiteral("board")),
                    whileDialling ? QStringList{"--dial-delay", "20000"} : QStringList{});
        QVERIFY(board.started);
        QStringList arguments{"--port", link_, "--name", stem()};
        if (whileDialling) {
            arguments << "--anwahl";
        } else {
            QVERIFY(PlaceCall(link_));
        }
        CaptureTool tool(arguments);
        // The stop lands while the run waits for the modem's answer, or once
        // the picture has begun to arrive.
        QVERIFY(whileDialling ? board.dialling() : board.sendingFirstPicture());
        // Well before the wait or the picture would have ended by itself.
        tool.signal(signal);
        QCOMPARE(tool.finished(5000), 0);
        QCOMPARE(filesIn(folder_), QStringList());
        QCOMPARE(tool.errors(), QString());
        int error = 0;
        QVERIFY(SerialDevice::open(link_.toStdString(), error) != nullptr);
    }

    void damagedPicturesAreKeptAsideAndAskedForAgain_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("kept");
        QTest::newRow("a digit lost in the first picture") << "--drop-digit=1" << 3 << 0 << 1;
        QTest::newRow("every picture damaged") << "--drop-digit" << 2 << 1 << 2;
    }
    void damagedPicturesAreKeptAsideAndAskedForAgain() {
        QFETCH(QString, fault);
        QFETCH(int, attempts);
        QFETCH(int, exitCode);
        QFETCH(int, kept);
        Board board(link_, scratch_->filePath(QStringLiteral("board")), {"--fast", fault});
        QVERIFY(board.started);
        QVERIFY(PlaceCall(link_));
        CaptureTool tool(
            {"--port", link_, "--name", stem(), "--versuche", QString::number(attempts)});
        QCOMPARE(tool.finished(60000), exitCode);

        const QRegularExpression sound(QStringLiteral("^Hof_\\d+\\.jpg$"));
        const QRegularExpression aside(QStringLiteral("^Hof_\\d+\\.beschaedigt\\.(jpg|txt)$"));
        const QStringList files = filesIn(folder_);
        QCOMPARE(files.filter(aside).size(), 2 * kept);
        QCOMPARE(files.size(), 2 * kept + (exitCode == 0 ? 1 : 0));
        for (const QString& picture : files.filter(QStringLiteral(".beschaedigt.jpg"))) {
            // What is kept is what the decoder gives for the text beside it.
            const QString text =
                QString(picture).replace(QStringLiteral(".jpg"), QStringLiteral(".txt"));
            const QByteArray received = contentOf(folder_ + u'/' + text);
            QVERIFY(received.startsWith("CAM_B") && received.endsWith("CAM_E"));
            QCOMPARE(contentOf(folder_ + u'/' + picture),
                     QByteArray::fromStdString(DecodeHexCapture(received.toStdString()).bytes));
        }
        const QStringList lines = tool.storedLines();
        const QString errors = tool.errors();
        QCOMPARE(errors.count(QStringLiteral(": Bild beschädigt, beiseitegelegt als ")), kept);
        QVERIFY(errors.contains(
            QStringLiteral("merlon-capture: Versuch 1 von %1: Bild beschädigt").arg(attempts)));
        if (exitCode != 0) {
            QCOMPARE(lines, QStringList());
            return;
        }
        // The sound second picture is the only one under a picture's name.
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].endsWith(QStringLiteral(", Versuch 2 von 3")));
        QCOMPARE(files.filter(sound), QStringList{QFileInfo(stored(lines[0])).fileName()});
        QCOMPARE(contentOf(stored(lines[0])), contentOf(board.picture(2)));
    }

    void callGoesAsTheModemTellsIt_data() {
        QTest::addColumn<QStringList>("boardOptions");
        QTest::addColumn<QStringList>("toolOptions");
        QTest::addColumn<QString>("failure"); // on standard error, or empty
        QTest::addColumn<int>("attempt");     // of the picture stored
        QTest::addColumn<int>("boardPicture");
        // From the start of the run to the board's taking "BILD" (1 s "AT" to
        // "ATD", then the answer, then 3 s of option lines).
        QTest::addColumn<int>("requestAfterMs");
        QTest::addColumn<int>("requestBeforeMs");
        const QStringList dial{"--anwahl"};
        QTest::newRow("CONNECT after 2 s")
            << QStringList{"--dial-delay", "2000"} << dial << QString() << 1 << 1 << 6000 << 20000;
        QTest::newRow("BUSY, then CONNECT")
            << QStringList{"--dial-delay", "500", "--busy=1"} << dial
            << "Versuch 1 von 3: Besetzt (BUSY)" << 2 << 1 << 10000 << 25000;
        QTest::newRow("numeric result codes") << QStringList{"--dial-delay", "2000", "--numeric"}
                                              << dial << QString() << 1 << 1 << 6000 << 20000;
        QTest::newRow("numeric BUSY, then numeric CONNECT")
            << QStringList{"--dial-delay", "500", "--numeric", "--busy=1"} << dial
            << "Versuch 1 von 3: Besetzt (BUSY)" << 2 << 1 << 10000 << 25000;
        QTest::newRow("silent modem: the request after --anwahlzeit")
            << QStringList{"--dial-delay", "500", "--silent"}
            << QStringList{"--anwahl", "--anwahlzeit", "4"} << QString() << 1 << 1 << 8000 << 25000;
        QTest::newRow("NO CARRIER in the middle of the picture")
            << QStringList{"--dial-delay", "500", "--hangup-mid-picture=1"} << dial
            << "Versuch 1 von 3: Die Verbindung ist während des Bildes abgebrochen (NO CARRIER)"
            << 2 << 2 << 4000 << 20000;
    }
    void callGoesAsTheModemTellsIt() {
        QFETCH(QStringList, boardOptions);
        QFETCH(QStringList, toolOptions);
        QFETCH(QString, failure);
        QFETCH(int, attempt);
        QFETCH(int, boardPicture);
        QFETCH(int, requestAfterMs);
        QFETCH(int, requestBeforeMs);
        Board board(link_, scratch_->filePath(QStringLiteral("board")),
                    QStringList{"--fast"} + boardOptions);
        QVERIFY(board.started);
        QElapsedTimer sinceStart;
        sinceStart.start();
        CaptureTool tool(QStringList{"--port", link_, "--name", stem()} + toolOptions);
        QVERIFY(board.sendingFirstPicture());
        const qint64 requestedAt = sinceStart.elapsed();
        QVERIFY2(requestedAt >= requestAfterMs && requestedAt < requestBeforeMs,
                 qPrintable(QString::number(requestedAt)));
        // Well before --wartezeit (300 s) would have ended a dropped call.
        QCOMPARE(tool.finished(60000), 0);
        const QStringList lines = tool.storedLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].endsWith(QStringLiteral(", Versuch %1 von 3").arg(attempt)));
        QCOMPARE(contentOf(stored(lines[0])), contentOf(board.picture(boardPicture)));
        QCOMPARE(tool.errors(),
                 failure.isEmpty() ? QString() : "merlon-capture: " + failure + u'\n');
    }

    // Each call the station made is ended (the escape, ATH), so that the
    // next dial finds the modem listening and the request follows its
    // CONNECT within seconds: two one-picture runs, and three pictures of an
    // interval run.
    void eachCallIsEnded_data() {
        QTest::addColumn<QStringList>("toolOptions");
        QTest::addColumn<int>("runs");
        QTest::addColumn<int>("pictures"); // of each run
        QTest::newRow("one picture, twice") << QStringList{"--anwahl"} << 2 << 1;
        QTest::newRow("--alle 1, three pictures")
            << QStringList{"--anwahl", "--alle", "1"} << 1 << 3;
    }
    void eachCallIsEnded() {
        QFETCH(QStringList, toolOptions);
        QFETCH(int, runs);
        QFETCH(int, pictures);
        Board board(link_, scratch_->filePath(QStringLiteral("board")),
                    {"--fast", "--dial-delay", "1000"});
        QVERIFY(board.started);
        for (int run = 0; run < runs; ++run) {
            CaptureTool tool(QStringList{"--port", link_, "--name", stem()} + toolOptions);
            if (pictures > 1) {
                QVERIFY(tool.storedAtLeast(pictures, (pictures - 1) * 60000 + 30000));
                tool.signal(SIGTERM);
            }
            QCOMPARE(tool.finished(60000), 0);
            QCOMPARE(tool.errors(), QString());
        }
        const int calls = runs * pictures;
        QByteArray log;
        QVERIFY(WaitUntil(
            [&] {
                log += board.process.readAllStandardError();
                return log.count("Modem: aufgelegt") == calls;
            },
            10000));
        // "HH:MM:SS.mmm Modem: …": each "BILD" within 5 s of its CONNECT.
        auto msOfDay = [](const QByteArray& line) {
            const QTime time =
                QTime::fromString(QString::fromLatin1(line.left(12)), "HH:mm:ss.zzz");
            return time.isValid() ? time.msecsSinceStartOfDay() : -1;
        };
        int connectedAt = -1;
        int requests = 0;
        for (const QByteArray& line : log.split('\n')) {
            if (line.contains("Antwort CONNECT"))
                connectedAt = msOfDay(line);
            if (line.contains("Board-Zeile BILD")) {
                QVERIFY(connectedAt >= 0);
                QVERIFY2(msOfDay(line) - connectedAt < 5000, line.constData());
                connectedAt = -1; // the next request needs a call of its own
                ++requests;
            }
        }
        QCOMPARE(requests, calls);
        QCOMPARE(log.count("Escape +++"), calls);
    }

    // As a systemd service with a two-second watchdog: ready once started,
    // a ping at least every 1.2 s through the silent modem's 20 s (the event
    // loop turns through every wait), and stopping on SIGTERM.
    void pingsComeThroughTheSilentModemsWait() {
        ServiceManagerSocket manager;
        QVERIFY(manager.bound());
        Board board(link_, scratch_->filePath(QStringLiteral("board")),
                    QStringList{"--fast", "--dial-delay", "500", "--silent"});
        QVERIFY(board.started);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("NOTIFY_SOCKET"), QString::fromLatin1(manager.name()));
        environment.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("2000000"));
        CaptureTool tool(
            QStringList{"--port", link_, "--name", stem(), "--anwahl", "--anwahlzeit", "20"}, {},
            environment);
        QVERIFY(WaitUntil([&] { return manager.received("READY=1"); }, 10000));
        const qint64 readyAtMs = manager.messages().last().atMs;
        // Heard as they come: each message's time is the time it arrived.
        QVERIFY(WaitUntil(
            [&] {
                manager.messages();
                return board.process.readAllStandardOutput().contains("Bild 1:");
            },
            60000));
        // On SIGTERM the station ends the call it may have made (a few
        // seconds): the pings go on meanwhile, heard as they come.
        tool.signal(SIGTERM);
        QVERIFY(WaitUntil(
            [&] {
                manager.messages();
                return tool.process.state() == QProcess::NotRunning;
            },
            20000));
        QCOMPARE(tool.finished(1000), 0);
        QVERIFY(WaitUntil([&] { return manager.received("STOPPING=1"); }, 5000));

        qint64 lastPingMs = readyAtMs;
        qint64 longestGapMs = 0;
        for (const auto& message : manager.messages())
            if (message.text == "WATCHDOG=1") {
                longestGapMs = std::max(longestGapMs, message.atMs - lastPingMs);
                lastPingMs = message.atMs;
            }
        QVERIFY2(lastPingMs - readyAtMs >= 20000, qPrintable(QString::number(lastPingMs)));
        QVERIFY2(longestGapMs <= 1200, qPrintable(QString::number(longestGapMs)));
    }

    // The metrics from the start, before any picture, and after a damaged
    // one and a sound one; the command after the sound one sees it stored.
    void metricsAndTheCommandAfterAPicture() {
        Board board(link_, scratch_->filePath(QStringLiteral("board")),
                    {"--fast", "--drop-digit=1", "--dial-delay", "3000"});
        QVERIFY(board.started);
        const QString metrics = scratch_->filePath(QStringLiteral("merlon.prom"));
        const QString seen = scratch_->filePath(QStringLiteral("gesehen"));
        const QString hook = QStringLiteral("cp \"$1\" '%1.jpg'; printf '%s\\n' \"$1\" "
                                            "\"$MERLON_DATEI\" \"$MERLON_BYTES\" \"$MERLON_ZEIT\" "
                                            "\"$MERLON_VERSUCH\" >'%1'; :")
                                 .arg(seen);
        const qint64 startedAt = QDateTime::currentSecsSinceEpoch();
        // A name without a folder: the command still gets the path from the root.
        CaptureTool tool(
            {"--port", link_, "--name", "Hof", "--anwahl", "--metriken", metrics, "--danach", hook},
            folder_);
        QVERIFY(WaitUntil([&] { return QFile::exists(metrics); }, 10000));
        const QByteArray before = contentOf(metrics);
        const QString port = "{port=\"" + link_ + "\"";
        auto series = [&](const char* name, const char* label = nullptr) {
            return "merlon_capture_" + QString::fromLatin1(name) + port +
                   (label ? "," + QString::fromLatin1(label) : QString()) + u'}';
        };
        QCOMPARE(Sample(before, series("pictures_total", "verdict=\"damaged\"")), 0.0);
        QCOMPARE(Sample(before, series("attempts_total", "outcome=\"sound\"")), 0.0);
        QCOMPARE(Sample(before, series("dials_total", "result=\"connect\"")), 0.0);
        QCOMPARE(Sample(before, series("last_sound_picture_timestamp_seconds")), 0.0);
        QVERIFY(Sample(before, series("start_time_seconds")) >= startedAt);

        QCOMPARE(tool.finished(60000), 0);
        const QStringList lines = tool.storedLines();
        QCOMPARE(lines.size(), 1);
        const QString picture = folder_ + u'/' + stored(lines[0]);
        const QByteArray after = contentOf(metrics);
        QCOMPARE(Sample(after, series("pictures_total", "verdict=\"damaged\"")), 1.0);
        QCOMPARE(Sample(after, series("pictures_total", "verdict=\"sound\"")), 1.0);
        QCOMPARE(Sample(after, series("attempts_total", "outcome=\"damaged\"")), 1.0);
        QCOMPARE(Sample(after, series("attempts_total", "outcome=\"sound\"")), 1.0);
        QCOMPARE(Sample(after, series("dials_total", "result=\"connect\"")), 1.0);
        QCOMPARE(Sample(after, series("hook_runs_total", "outcome=\"ok\"")), 1.0);
        QCOMPARE(Sample(after, series("last_picture_bytes")), double(contentOf(picture).size()));
        const double soundAt = Sample(after, series("last_sound_picture_timestamp_seconds"));
        QVERIFY(soundAt >= startedAt && soundAt <= QDateTime::currentSecsSinceEpoch() + 1);
        QVERIFY(Sample(after, series("line_bytes_per_second")) > 0);
        QCOMPARE(Sample(after, series("interval_seconds")), 0.0);
        QCOMPARE(filesIn(scratch_->path()).filter(QStringLiteral(".prom")),
                 QStringList{"merlon.prom"});

        const QStringList told = QString::fromUtf8(contentOf(seen)).split(u'\n');
        QCOMPARE(told.mid(0, 3),
                 (QStringList{picture, picture, QString::number(contentOf(picture).size())}));
        QVERIFY2(told.value(3).contains(QRegularExpression(QStringLiteral(
                     "^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"))),
                 qPrintable(told.value(3)));
        QCOMPARE(told.value(4), QStringLiteral("2"));
        QCOMPARE(contentOf(seen + ".jpg"), contentOf(picture));
        QVERIFY(tool.errors().contains(QStringLiteral("Bild beschädigt, beiseitegelegt")));
    }

    // A reader that opened the newest copy goes on reading that picture,
    // whole, while the name already gives the next one.
    void newestCopyIsReplacedWhileRead() {
        Board board(link_, scratch_->filePath(QStringLiteral("board")), {"--fast"});
        QVERIFY(board.started);
        QVERIFY(PlaceCall(link_));
        const QString newest = scratch_->filePath(QStringLiteral("neuestes.jpg"));
        CaptureTool tool({"--port", link_, "--name", stem(), "--fortlaufend", "--zeitnamen",
                          "--neuestes", newest});
        QVERIFY(tool.storedAtLeast(1, 30000));
        QFile reader(newest);
        QVERIFY(reader.open(QIODevice::ReadOnly));
        QVERIFY(tool.storedAtLeast(2, 30000));
        tool.signal(SIGTERM);
        QCOMPARE(tool.finished(10000), 0);
        const QStringList lines = tool.storedLines();
        QCOMPARE(reader.readAll(), contentOf(board.picture(1)));
        QCOMPARE(contentOf(newest), contentOf(board.picture(lines.size())));
        QVERIFY(contentOf(board.picture(1)) != contentOf(board.picture(2)));
        const QRegularExpression byTime(
            QStringLiteral("^Hof_\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d(_\\d+)?\\.jpg$"));
        for (const QString& line : lines)
            QVERIFY2(QFileInfo(stored(line)).fileName().contains(byTime), qPrintable(line));
        QCOMPARE(filesIn(scratch_->path()).filter(QStringLiteral("neuestes")),
                 QStringList{"neuestes.jpg"});
        QCOMPARE(tool.errors(), QString());
    }

    void onePictureRunFailsOnAPortThatNeverOpens_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("message");
        QTest::newRow("device path")
            << "/nirgends/tty"
            << "merlon-capture: /nirgends/tty kann nicht geöffnet werden: Datei oder Verzeichnis "
               "nicht gefunden\n";
        QTest::newRow("COM number")
            << "COM7"
            << "merlon-capture: COM7 (/nirgends/com7) kann nicht geöffnet werden: Datei oder "
               "Verzeichnis nicht gefunden\n";
    }
    void onePictureRunFailsOnAPortThatNeverOpens() {
        QFETCH(QString, port);
        QFETCH(QString, message);
        qputenv("MERLON_COM7", "/nirgends/com7");
        CaptureTool tool({"--port", port, "--name", stem()});
        QCOMPARE(tool.finished(10000), 1);
        QCOMPARE(tool.errors(), message);
        QCOMPARE(tool.storedLines(), QStringList());
        QCOMPARE(filesIn(folder_), QStringList());
    }
};

QTEST_GUILESS_MAIN(CaptureToolTest)
#include "test_capture_tool.moc"
