// The capture session and the terminal without any window, with a
// pseudo-terminal as the far side and a fake clock for the sequences' waits.
#include "camera/capture_controls.h"
#include "camera/capture_session.h"
#include "camera/capture_status.h"
#include "camera/picture_verdict.h"
#include "camera/received_text.h"
#include "camera/terminal.h"
#include "capture/hex_capture.h"
#include "jpeg_samples.h"
#include "platform/user_error.h"
#include "tests/support/fake_clock.h"
#include "tests/support/pty_pair.h"
#include "tests/support/wait_until.h"

#include <QtTest>
#include <functional>

namespace {

struct FakeControls : CaptureControls {
    std::string stem;
    bool show = false;
    std::function<void(const std::string&)> onShow;
    std::vector<std::string> shown;

    std::string fileStem() override { return stem; }
    std::string phoneNumber() override { return "0157"; }
    bool flash() override { return false; }
    bool direct() override { return true; }
    bool large() override { return false; }
    bool showsPictures() override { return show; }
    void showPicture(const std::string& path) override {
        if (onShow)
            onShow(path);
        shown.push_back(path);
    }
};

// The session wired to a terminal on a fresh pseudo-terminal, as COM1.
struct Rig {
    PtyPair pty;
    FakeClock clock;
    FakeControls controls;
    PlainReceivedText received;
    CaptureSession session;
    Terminal terminal{received};
    QTemporaryDir folder;
    std::vector<std::pair<std::uint32_t, QByteArray>> sent; // time, line

    explicit Rig(PictureStore store = PictureStore(PictureNaming::TickCount,
                                                   UnsoundPictures::StoredAsAny))
        : session(controls, store) {
        qputenv("MERLON_COM1", QByteArray::fromStdString(pty.slavePath()));
        session.setTerminal(&terminal);
        controls.stem = folder.filePath(QStringLiteral("Kamera")).toStdString();
        QObject::connect(&terminal, &Terminal::lineSent,
                         [this](const QByteArray& line) { sent.emplace_back(clock.now, line); });
    }
    ~Rig() { terminal.disconnectPort(); }

    QStringList pictures() const {
        return QDir(folder.path()).entryList({QStringLiteral("*.jpg")}, QDir::Files);
    }
    QStringList files() const {
        return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    // Sends from the far side and returns once the bytes can be read.
    bool arrive(const std::string& bytes) {
        return pty.sendFromFarSide(bytes) && pty.waitUntilPending(bytes.size());
    }
    QByteArray picture(const QString& name) const {
        QFile file(folder.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

const std::string kStream = "OK\r\nCONNECT 9600\r\nCAM_B\r\nFF D8 01 02 FF D9 CAM_E";
const QByteArray kPicture = QByteArray::fromHex("FFD80102FFD9");

// A small sound picture as the board sends it, and the same with one digit
// lost in its middle.
std::string SoundStream() {
    const std::string jpeg = SolidJpeg(16, 16, Qt::red);
    return "CAM_B\r\n" + EncodeHexPairs(jpeg) + "CAM_E\r\n";
}
std::string DamagedStream() {
    std::string stream = SoundStream();
    stream.erase(stream.size() / 2 / 3 * 3 + 1, 1);
    return stream;
}

// The minutes field as the window reads it when "alle" is ticked.
std::function<std::int32_t()> MinutesOf(const std::string& text) {
    return [text] { return ParseIntervalMinutes(text); };
}

// What the station stores with: damaged pictures aside, names by the time.
PictureStore StationStore() {
    return PictureStore(PictureNaming::LocalTime, UnsoundPictures::KeptAside);
}

QString messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const UserError& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

} // namespace

class CaptureSessionTest : public QObject {
    Q_OBJECT
private slots:
    void storesOnlyCompletePictures_data() {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<QByteArray>("stored"); // "-" for no file
        QTest::addColumn<bool>("cleared");
        QTest::newRow("chatter, then a picture")
            << QByteArray::fromStdString(kStream) << kPicture << true;
        QTest::newRow("no end marker yet")
            << QByteArray("CAM_B\r\nFF D8 01 ") << QByteArray("-") << false;
        QTest::newRow("start then end") << QByteArray("CAM_B\r\nCAM_E") << QByteArray() << true;
        QTest::newRow("chatter only") << QByteArray("OK\r\nCAM_E") << QByteArray("-") << false;
        QTest::newRow("second start marker inside")
            << QByteArray("CAM_B\r\nFF D8 CAM_B\r\nFF D9 CAM_E") << QByteArray::fromHex("FFD8FFD9")
            << true;
    }
    void storesOnlyCompletePictures() {
        QFETCH(QByteArray, received);
        QFETCH(QByteArray, stored);
        QFETCH(bool, cleared);
        Rig rig;
        rig.clock.now = 4712345;
        rig.received.append(received.toStdString());
        rig.session.timerTick();
        QCOMPARE(rig.session.captureBuffer(), received.toStdString());
        if (stored == "-") {
            QVERIFY(rig.pictures().isEmpty());
        } else {
            QCOMPARE(rig.pictures(), QStringList{QStringLiteral("Kamera_4712345.jpg")});
            QCOMPARE(rig.picture(QStringLiteral("Kamera_4712345.jpg")), stored);
        }
        QCOMPARE(rig.received.text().empty(), cleared);
    }

    void failingPictureIsStoredAndReportedOnce_data() {
        QTest::addColumn<bool>("displayFails"); // else the file cannot be created
        QTest::newRow("cannot create") << false;
        QTest::newRow("cannot display") << true;
    }
    void failingPictureIsStoredAndReportedOnce() {
        QFETCH(bool, displayFails);
        Rig rig;
        rig.session.modes().setContinuousMode(true);
        if (displayFails) {
            rig.controls.show = true;
            rig.controls.onShow = [](const std::string&) { throw UserError("JPEG-Fehler #42"); };
        } else {
            rig.controls.stem = rig.folder.filePath(QStringLiteral("fehlt/Kamera")).toStdString();
        }
        rig.received.append(kStream);
        QVERIFY(!messageOf([&] { rig.session.timerTick(); }).isEmpty());
        for (int tick = 0; tick < 3; ++tick) {
            rig.clock.now += 1000;
            QCOMPARE(messageOf([&] { rig.session.timerTick(); }), QString());
        }
        QCOMPARE(rig.pictures().size(), displayFails ? 1 : 0);
        // A picture not stored stays for the user; one stored but not
        // shown is done with, and the capture goes on.
        QCOMPARE(rig.received.text().empty(), displayFails);
        QCOMPARE(rig.sent.empty(), !displayFails); // continuous: the next "BILD"
        if (!displayFails) {                       // the folder typed right: the picture is stored
            rig.controls.stem = rig.folder.filePath(QStringLiteral("Kamera")).toStdString();
            rig.session.timerTick();
            QCOMPARE(rig.pictures().size(), 1);
            return;
        }

        QVERIFY(QString::fromStdString(DescribeProgress(rig.session.progress()))
                    .startsWith(QStringLiteral("Nicht angezeigt: JPEG-Fehler #42")));
        // A new picture is told again.
        rig.received.append("CAM_B\r\nFF D9 CAM_E");
        rig.clock.now += 1000;
        QVERIFY(!messageOf([&] { rig.session.timerTick(); }).isEmpty());
        QCOMPARE(rig.pictures().size(), 2);
    }

    void failedStoreIsRetriedQuietlyUntilItWorks() {
        Rig rig;
        rig.session.modes().setContinuousMode(true);
        const QString folder = rig.folder.filePath(QStringLiteral("neu"));
        rig.controls.stem = (folder + QStringLiteral("/Kamera")).toStdString();
        rig.received.append(kStream);
        QVERIFY(!messageOf([&] { rig.session.timerTick(); }).isEmpty());
        rig.clock.now += 1000;
        QCOMPARE(messageOf([&] { rig.session.timerTick(); }), QString());
        QVERIFY(rig.sent.empty());

        QVERIFY(QDir().mkdir(folder)); // the folder appears: the next tick stores
        rig.clock.now += 1000;
        QCOMPARE(messageOf([&] { rig.session.timerTick(); }), QString());
        QCOMPARE(QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files).size(), 1);
        QVERIFY(rig.received.text().empty());
        QVERIFY(!rig.sent.empty()); // continuous mode goes on
        QCOMPARE(rig.sent.back().second, QByteArray("BILD"));
    }

    void modeInterlocks_data() {
        QTest::addColumn<QString>("steps"); // i/I interval on/off, c/C continuous, r/R reconnect
        QTest::addColumn<bool>("interval");
        QTest::addColumn<bool>("continuous");
        QTest::addColumn<bool>("withoutReconnect");
        QTest::addColumn<bool>("timerEnabled");
        QTest::newRow("interval on") << "i" << true << false << false << true;
        QTest::newRow("interval off again") << "iI" << false << false << false << false;
        QTest::newRow("continuous while interval") << "ic" << false << true << true << false;
        QTest::newRow("interval while continuous") << "ci" << true << false << true << true;
        QTest::newRow("clear reconnect while continuous") << "cR" << false << true << true << false;
        QTest::newRow("clear reconnect after continuous")
            << "cCR" << false << false << false << false;
    }
    void modeInterlocks() {
        QFETCH(QString, steps);
        Rig rig;
        for (const QChar step : steps) {
            const bool on = step.isLower();
            switch (step.toLower().unicode()) {
            case 'i':
                rig.session.modes().setIntervalMode(on, MinutesOf("3"));
                break;
            case 'c':
                rig.session.modes().setContinuousMode(on);
                break;
            case 'r':
                rig.session.modes().setWithoutReconnect(on);
                break;
            }
        }
        QTEST(rig.session.modes().intervalMode(), "interval");
        QTEST(rig.session.modes().continuousMode(), "continuous");
        QTEST(rig.session.modes().withoutReconnect(), "withoutReconnect");
        QTEST(rig.session.modes().intervalTimerEnabled(), "timerEnabled");
        QCOMPARE(rig.session.modes().intervalTimer().isActive(),
                 rig.session.modes().intervalTimerEnabled());
        QCOMPARE(rig.session.modes().requestButtonsShown(), !rig.session.modes().intervalMode());
        if (rig.session.modes().intervalTimerEnabled())
            QCOMPARE(rig.session.modes().intervalTimer().interval(), 3 * 60000);
    }

    void minutesField_data() {
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("timerRuns");
        QTest::newRow("0 never fires") << "0" << QString() << false;
        QTest::newRow("largest") << "71582" << QString() << true;
        QTest::newRow("hex") << "$A" << QString() << true;
        QTest::newRow("no number") << "drei"
                                   << "'drei' ist kein gültiger Integerwert" << false;
        QTest::newRow("negative")
            << "-1"
            << "'-1' ist keine gültige Anzahl Minuten, erlaubt sind 0 bis 71582" << false;
        QTest::newRow("too many")
            << "71583"
            << "'71583' ist keine gültige Anzahl Minuten, erlaubt sind 0 bis 71582" << false;
    }
    void minutesField() {
        QFETCH(QString, minutes);
        QFETCH(QString, message);
        Rig rig;
        rig.session.modes().setContinuousMode(true);
        QCOMPARE(messageOf([&] {
                     rig.session.modes().setIntervalMode(true, MinutesOf(minutes.toStdString()));
                 }),
                 message);
        // Whatever the minutes, the buttons hide and continuous mode clears.
        QVERIFY(rig.session.modes().intervalMode());
        QVERIFY(!rig.session.modes().continuousMode());
        QVERIFY(!rig.session.modes().requestButtonsShown());
        QTEST(rig.session.modes().intervalTimer().isActive(), "timerRuns");
        QCOMPARE(rig.session.modes().intervalTimerEnabled(), message.isEmpty());
    }

    void intervalTickTiming_data() {
        QTest::addColumn<bool>("withoutReconnect");
        QTest::addColumn<QStringList>("lines"); // "time line"
        QTest::newRow("straight to the request")
            << false << QStringList{"60000 CONBA", "61000 CONSD", "62000 CONRL", "63000 BILD"};
        QTest::newRow("dial first")
            << true << QStringList{"60000 AT",    "61000 ATD 0157", "91000 CONBA",
                                   "92000 CONSD", "93000 CONRL",    "94000 BILD"};
    }
    void intervalTickTiming() {
        QFETCH(bool, withoutReconnect);
        Rig rig;
        rig.session.modes().setWithoutReconnect(withoutReconnect);
        rig.session.modes().setIntervalMode(true, MinutesOf("1"));
        QCOMPARE(rig.session.modes().intervalTimer().interval(), 60000);
        rig.received.append("alter Text");
        rig.clock.now = 60000; // the timer's first tick
        rig.session.intervalTick();
        QStringList lines;
        for (const auto& [time, line] : rig.sent)
            lines << QString::number(time) + u' ' + QString::fromLatin1(line);
        QTEST(lines, "lines");
        QVERIFY(rig.received.text().empty());
        QVERIFY(rig.terminal.connected());

        // The answer stored: without "ohne Reconnect" the port closes.
        rig.received.append(kStream);
        rig.session.timerTick();
        QCOMPARE(rig.terminal.connected(), withoutReconnect);
        QCOMPARE(rig.session.captureTimer().isActive(), withoutReconnect);
    }

    // The interval timer simulated on the fake clock: each time it wakes
    // when its run is over plus the lateness, the session checks its
    // schedule, and each tick's handler takes its time.
    void intervalKeepsToItsSchedule_data() {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("lateMs");    // every wake this late
        QTest::addColumn<int>("handlerMs"); // every tick's handler this long
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("step"); // schedule points from one tick to the next
        QTest::newRow("on time") << 1 << 0 << 0 << 100 << 1;
        QTest::newRow("late wakes are not carried on") << 1 << 900 << 34000 << 100 << 1;
        QTest::newRow("missed ticks make one") << 1 << 150000 << 0 << 10 << 3;
        QTest::newRow("longer than one timer run") << 71582 << 20 << 0 << 3 << 1;
    }
    void intervalKeepsToItsSchedule() {
        QFETCH(int, minutes);
        QFETCH(int, lateMs);
        QFETCH(int, handlerMs);
        QFETCH(int, ticks);
        QFETCH(int, step);
        Rig rig;
        const std::int64_t start = 5000000;
        const std::int64_t intervalMs = std::int64_t(minutes) * 60000;
        rig.clock.now = start;
        std::vector<std::int64_t> tickedAt;
        QObject::connect(&rig.session.modes(), &CaptureModes::intervalDue, [&] {
            tickedAt.push_back(rig.clock.now);
            rig.clock.now += handlerMs;
        });
        rig.session.modes().setIntervalMode(true, MinutesOf(std::to_string(minutes)));
        QCOMPARE(rig.session.modes().intervalDueAtMs(), start + intervalMs);

        std::int64_t armedAt = start;
        int wakes = 0;
        while (tickedAt.size() < std::size_t(ticks) && wakes < 10 * ticks) {
            QVERIFY(rig.session.modes().intervalTimer().isActive());
            QVERIFY(rig.session.modes().intervalTimer().interval() > 0);
            const std::size_t before = tickedAt.size();
            rig.clock.now = armedAt + rig.session.modes().intervalTimer().interval() + lateMs;
            armedAt = rig.clock.now; // the timer is set again before the handler runs
            rig.session.modes().checkIntervalSchedule();
            ++wakes;
            if (tickedAt.size() == before)
                continue;
            // Due at the n-th schedule point, and the next one set n + step.
            const std::int64_t n = 1 + std::int64_t(before) * step;
            QCOMPARE(tickedAt.back(), start + n * intervalMs + lateMs);
            QCOMPARE(rig.session.modes().intervalDueAtMs(), start + (n + step) * intervalMs);
        }
        QCOMPARE(tickedAt.size(), std::size_t(ticks));
        // Long intervals go in parts, short ones in one run.
        QCOMPARE(wakes > ticks, intervalMs > INT32_MAX);
    }

    void statusTellsRateAndTimeLeft_data() {
        QTest::addColumn<int>("lastStored"); // bytes of a picture stored before, 0 for none
        QTest::addColumn<QString>("ticks");  // "<ms>:<bytes so far>" for each capture tick
        QTest::addColumn<QString>("status");
        QTest::newRow("first tick") << 0 << "0:100"
                                    << "Bild wird empfangen: 100 Bytes";
        QTest::newRow("a tick is too short to tell") << 0 << "0:100 500:200"
                                                     << "Bild wird empfangen: 200 Bytes";
        QTest::newRow("9600 Bit/s, nothing stored yet")
            << 0 << "0:0 1000:320 2000:640"
            << "Bild wird empfangen: 640 Bytes, 320 B/s";
        QTest::newRow("seconds left")
            << 50000 << "0:0 1000:3200 2000:6400"
            << "Bild wird empfangen: 6400 Bytes, 3,2 kB/s, noch etwa 14 s";
        QTest::newRow("minutes left") << 30000 << "0:0 1000:320 2000:640"
                                      << "Bild wird empfangen: 640 Bytes, 320 B/s, noch etwa 2 min";
        QTest::newRow("fast line") << 200000 << "0:0 1000:25000 2000:50000"
                                   << "Bild wird empfangen: 50000 Bytes, 25 kB/s, noch etwa 6 s";
        QTest::newRow("bigger than the last one") << 500 << "0:0 1000:320 2000:640"
                                                  << "Bild wird empfangen: 640 Bytes, 320 B/s";
        QTest::newRow("line stalled") << 5000 << "0:640 1000:640 2000:640"
                                      << "Bild wird empfangen: 640 Bytes, 0 B/s";
        // The rate follows the last five seconds, not the whole picture.
        QTest::newRow("line slowed down")
            << 100000
            << "0:0 1000:10000 2000:20000 3000:20100 4000:20200 5000:20300 6000:20400 "
               "7000:20500 8000:20600"
            << "Bild wird empfangen: 20600 Bytes, 100 B/s, noch etwa 13 min";
        // A new picture starts the measure again.
        QTest::newRow("next picture") << 0 << "0:0 1000:3200 2000:6400 5000:100 5500:200"
                                      << "Bild wird empfangen: 200 Bytes";
    }
    void statusTellsRateAndTimeLeft() {
        QFETCH(int, lastStored);
        QFETCH(QString, ticks);
        Rig rig;
        auto stream = [](int bytes) {
            std::string text = "CAM_B\r\n";
            for (int k = 0; k < bytes; ++k)
                text += "00 ";
            return text;
        };
        if (lastStored > 0) {
            rig.received.append(stream(lastStored) + "CAM_E");
            rig.session.timerTick();
            QCOMPARE(rig.pictures().size(), 1);
        }
        for (const QString& tick : ticks.split(u' ')) {
            rig.clock.now = 1000000 + tick.section(u':', 0, 0).toLongLong();
            rig.received.clear();
            rig.received.append(stream(tick.section(u':', 1).toInt()));
            rig.session.timerTick();
        }
        QTEST(QString::fromStdString(DescribeProgress(rig.session.progress())), "status");
    }

    void continuousModeRequestsAfterEachStoredPicture() {
        Rig rig;
        rig.session.modes().setContinuousMode(true);
        rig.received.append("CAM_B\r\nFF D8 ");
        rig.session.timerTick();
        QVERIFY(rig.sent.empty()); // nothing until a picture is complete
        rig.received.append("FF D9 CAM_E");
        rig.session.timerTick();
        QCOMPARE(rig.sent.size(), std::size_t(4));
        QCOMPARE(rig.sent.back().second, QByteArray("BILD"));
        QVERIFY(rig.terminal.connected());
    }

    void connectKeepsTheCaptureTickPhase() {
        Rig rig;
        rig.session.captureTimer().start();
        const int runningTimer = rig.session.captureTimer().timerId();
        rig.terminal.connectPort();
        QCOMPARE(rig.session.captureTimer().timerId(), runningTimer);
    }

    void pictureCompletedBeforeTheLineDropsIsStored() {
        Rig rig;
        rig.terminal.connectPort();
        QVERIFY(rig.pty.sendFromFarSide(kStream));
        // What the far side wrote but nobody read is gone once it closes.
        QVERIFY(WaitUntil(
            [&] {
                rig.terminal.poll();
                return rig.received.text().size() >= kStream.size();
            },
            5000));
        rig.pty.closeMaster();
        QString message;
        QVERIFY(WaitUntil(
            [&] {
                message = messageOf([&] { rig.terminal.poll(); });
                return !message.isEmpty();
            },
            5000));
        QVERIFY(message.startsWith(QStringLiteral("Die Verbindung über COM1 ist abgebrochen")));
        QVERIFY(!rig.terminal.connected());
        QCOMPARE(rig.pictures().size(), 1);
        QCOMPARE(rig.picture(rig.pictures().first()), kPicture);
    }

    void picturesAreJudged_data() {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<bool>("keepAside");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<QStringList>("files");
        const QByteArray sound = QByteArray::fromStdString(SoundStream());
        const QByteArray damaged = QByteArray::fromStdString(DamagedStream());
        const QByteArray unreadable("CAM_B\r\nFF D8 01 02 FF D9 CAM_E\r\n");
        const QStringList plain{"Kamera_4712345.jpg"};
        QTest::newRow("window: sound") << sound << false << "in Ordnung" << plain;
        QTest::newRow("window: damaged") << damaged << false << "beschädigt" << plain;
        QTest::newRow("window: unreadable") << unreadable << false << "unlesbar" << plain;
        QTest::newRow("station: sound") << sound << true << "in Ordnung" << plain;
        QTest::newRow("station: damaged")
            << damaged << true << "beschädigt"
            << QStringList{"Kamera_4712345.beschaedigt.jpg", "Kamera_4712345.beschaedigt.txt"};
        QTest::newRow("station: unreadable")
            << unreadable << true << "unlesbar"
            << QStringList{"Kamera_4712345.unlesbar.jpg", "Kamera_4712345.unlesbar.txt"};
    }
    void picturesAreJudged() {
        QFETCH(QByteArray, stream);
        QFETCH(bool, keepAside);
        QFETCH(QString, verdict);
        QFETCH(QStringList, files);
        Rig rig(keepAside ? PictureStore(PictureNaming::TickCount, UnsoundPictures::KeptAside)
                          : PictureStore(PictureNaming::TickCount, UnsoundPictures::StoredAsAny));
        rig.session.modes().setContinuousMode(true);
        int storedSignals = 0;
        QStringList keptAside;
        QObject::connect(&rig.session, &CaptureSession::pictureStored,
                         [&](const QString&, qint64) { ++storedSignals; });
        QObject::connect(
            &rig.session, &CaptureSession::pictureKeptAside,
            [&](const QString& picture, const QString& text, qint64, PictureVerdict judged) {
                keptAside << QFileInfo(picture).fileName() << QFileInfo(text).fileName()
                          << QString::fromUtf8(VerdictText(judged));
            });
        rig.clock.now = 4712345;
        const std::string received = "CONNECT 9600\r\n" + stream.toStdString() + "Rest";
        rig.received.append(received);
        rig.session.timerTick();

        QCOMPARE(rig.files(), files);
        // The bytes stored are the decoder's, whatever the verdict.
        const DecodedCapture decoded = DecodeHexCapture(received);
        QCOMPARE(rig.picture(files[0]), QByteArray::fromStdString(decoded.bytes));
        QVERIFY(QString::fromStdString(DescribeProgress(rig.session.progress()))
                    .endsWith(QStringLiteral(" Bytes), ") + verdict));
        QVERIFY(rig.received.text().empty());
        const bool aside = files.size() == 2;
        if (aside) {
            QCOMPARE(rig.picture(files[1]), stream.left(stream.indexOf("CAM_E") + 5));
            QCOMPARE(keptAside, files + QStringList{verdict});
        }
        QCOMPARE(storedSignals, aside ? 0 : 1);
        // Whatever the verdict, the mode goes on.
        QVERIFY(!rig.sent.empty());
    }

    // A name comes again after a restart or a wrap of the tick count, and
    // with names by the time for two pictures in one second: the file there
    // stays as it is, the new picture gets the next number, and what the
    // front ends show is the name it got.
    void aTakenNameGetsTheNextNumber_data() {
        QTest::addColumn<bool>("station"); // keeps damaged ones aside, names by the time
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<QStringList>("before"); // files there already
        QTest::addColumn<int>("laterMs");        // the second picture after the first
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("second");
        QTest::newRow("window: the tick again after a restart")
            << false << false << QStringList() << 0 << QStringList{"Kamera_4712345.jpg"}
            << QStringList{"Kamera_4712345_2.jpg"};
        QTest::newRow("window: a damaged picture, a name taken twice")
            << false << true << QStringList{"Kamera_4712345.jpg"} << 0
            << QStringList{"Kamera_4712345_2.jpg"} << QStringList{"Kamera_4712345_3.jpg"};
        QTest::newRow("station: kept aside, the tick again")
            << true << true << QStringList() << 0
            << QStringList{"Kamera_2026-11-30_03-11-52.beschaedigt.jpg",
                           "Kamera_2026-11-30_03-11-52.beschaedigt.txt"}
            << QStringList{"Kamera_2026-11-30_03-11-52_2.beschaedigt.jpg",
                           "Kamera_2026-11-30_03-11-52_2.beschaedigt.txt"};
        QTest::newRow("station: only the text's name taken")
            << true << true << QStringList{"Kamera_2026-11-30_03-11-52.beschaedigt.txt"} << 1000
            << QStringList{"Kamera_2026-11-30_03-11-52_2.beschaedigt.jpg",
                           "Kamera_2026-11-30_03-11-52_2.beschaedigt.txt"}
            << QStringList{"Kamera_2026-11-30_03-11-53.beschaedigt.jpg",
                           "Kamera_2026-11-30_03-11-53.beschaedigt.txt"};
        QTest::newRow("station: two pictures in one second")
            << true << false << QStringList() << 600
            << QStringList{"Kamera_2026-11-30_03-11-52.jpg"}
            << QStringList{"Kamera_2026-11-30_03-11-52_2.jpg"};
    }
    void aTakenNameGetsTheNextNumber() {
        QFETCH(bool, station);
        QFETCH(bool, damaged);
        QFETCH(QStringList, before);
        QFETCH(int, laterMs);
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        // Central European time, from the rules themselves: no time zone
        // files needed.
        const QByteArray savedZone = qgetenv("TZ");
        qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        ::tzset();
        Rig rig(station ? StationStore()
                        : PictureStore(PictureNaming::TickCount, UnsoundPictures::StoredAsAny));
        for (const QString& name : before) {
            QFile file(rig.folder.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("alt") == 3);
        }
        QStringList announced;
        auto announce = [&](const QString& picture) { announced << QFileInfo(picture).fileName(); };
        QObject::connect(&rig.session, &CaptureSession::pictureStored,
                         [&](const QString& picture, qint64) { announce(picture); });
        QObject::connect(&rig.session, &CaptureSession::pictureKeptAside,
                         [&](const QString& picture, const QString&, qint64, PictureVerdict) {
                             announce(picture);
                         });
        const std::string stream = damaged ? DamagedStream() : SoundStream();
        auto storeAt = [&](std::int64_t now) {
            rig.clock.now = now;
            rig.received.clear();
            rig.received.append(stream);
            rig.session.timerTick();
        };

        // 4712345 ms after 2026-11-30 00:53:20 UTC: 03:11:52 in Berlin.
        storeAt(4712345);
        const QByteArray firstBytes = rig.picture(first[0]);
        storeAt(4712345 + laterMs);
        qputenv("TZ", savedZone);
        ::tzset();

        QStringList expected = before + first + second;
        expected.sort();
        QCOMPARE(rig.files(), expected);
        for (const QString& name : before)
            QCOMPARE(rig.picture(name), QByteArray("alt"));
        QVERIFY(!firstBytes.isEmpty());
        QCOMPARE(rig.picture(first[0]), firstBytes); // untouched by the second
        QCOMPARE(rig.picture(second[0]), firstBytes);
        QCOMPARE(announced, (QStringList{first[0], second[0]}));
        QCOMPARE(
            QString::fromStdString(DescribeProgress(rig.session.progress())).section(u' ', 1, 1),
            rig.folder.filePath(second[0]));
    }

    // A line that takes no data fails the send after the write's limit
    // instead of hanging, and stays connected. On the system's clock, since
    // the limit is real time the line is given.
    void sendToALineThatTakesNothingFailsAfterTheLimit_data() {
        QTest::addColumn<bool>("stoppedByXoff");
        QTest::addColumn<int>("lineBytes");
        QTest::newRow("far side stopped the line (XOFF)") << true << 2;
        QTest::newRow("far side never reads") << false << (1 << 20);
    }
    void sendToALineThatTakesNothingFailsAfterTheLimit() {
        QFETCH(bool, stoppedByXoff);
        QFETCH(int, lineBytes);
        PtyPair pty;
        QVERIFY(pty.ok());
        qputenv("MERLON_COM1", QByteArray::fromStdString(pty.slavePath()));
        PlainReceivedText received;
        Terminal terminal(received);
        terminal.connectPort();
        if (stoppedByXoff) {
            termios line{};
            QCOMPARE(tcgetattr(pty.slave(), &line), 0);
            line.c_iflag |= IXON;
            QCOMPARE(tcsetattr(pty.slave(), TCSANOW, &line), 0);
            // The byte after XOFF arrives once XOFF has been acted on.
            QVERIFY(pty.sendFromFarSide("\x13x"));
            QVERIFY(pty.waitUntilPending(1));
        }
        constexpr int kLimitMs = 300;
        terminal.setWriteLimitMs(kLimitMs);
        terminal.setCommandField(std::string(static_cast<std::size_t>(lineBytes), 'A'));
        // On the clock the limit is kept by: another rounds whole milliseconds
        // differently.
        const std::int64_t startMs = SystemClock().nowMs();
        QString message; // a LineDropped, which the station tells apart
        try {
            terminal.send();
        } catch (const LineDropped& error) {
            message = QString::fromUtf8(error.what());
        }
        QCOMPARE(message, QStringLiteral("Die Leitung nimmt keine Daten an"));
        const std::int64_t tookMs = SystemClock().nowMs() - startMs;
        QVERIFY2(tookMs >= kLimitMs && tookMs < kLimitMs + 5000,
                 qPrintable(QString::number(tookMs)));
        QVERIFY(terminal.connected());
        terminal.disconnectPort();
    }
};

QTEST_GUILESS_MAIN(CaptureSessionTest)
#include "test_capture_session.moc"
