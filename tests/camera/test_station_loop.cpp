// The station's loop as a table: mode × what the line does → the lines sent
// (with their times on the fake clock), the events, and where it ends.
#include "camera/station_loop.h"
#include "capture/hex_capture.h"
#include "platform/user_error.h"
#include "tests/picture/jpeg_samples.h"
#include "tests/support/fake_clock.h"

#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <map>

namespace {

// The line as a log: every line sent with its time, every opening and
// closing; the text the far side sent so far.
class ScriptedLine : public StationLine {
public:
    explicit ScriptedLine(FakeClock& clock, QStringList& log) : clock_(clock), log_(log) {}
    void open() override {
        if (refusedOpenings > 0) {
            --refusedOpenings;
            throw UserError("COM1 kann nicht geöffnet werden");
        }
        if (!open_)
            log_ << QStringLiteral("open");
        open_ = true;
    }
    void close() override {
        if (open_)
            log_ << QStringLiteral("close");
        open_ = false;
    }
    void send(const std::string& line) override {
        log_ << QStringLiteral(">%1@%2").arg(QString::fromStdString(line)).arg(clock_.now);
    }
    void sendBytes(const std::string& bytes) override {
        log_ << QStringLiteral(">%1@%2").arg(QString::fromStdString(bytes)).arg(clock_.now);
    }
    const std::string& received() const override { return text; }
    void clearReceived() override { text.clear(); }

    std::string text;
    int refusedOpenings = 0;

private:
    FakeClock& clock_;
    QStringList& log_;
    bool open_ = false;
};

class EventLog : public StationReader {
public:
    explicit EventLog(QStringList& log) : log_(log) {}
    void read(const StationEvent& event) override {
        switch (event.kind) {
        case StationEvent::Kind::DialAnswered:
            log_ << QStringLiteral("dial:%1").arg(DialResultLabel(*event.dial));
            break;
        case StationEvent::Kind::PictureStored:
            log_ << QStringLiteral("stored@%1").arg(event.atMs);
            break;
        case StationEvent::Kind::PictureKeptAside:
            log_ << QStringLiteral("aside");
            break;
        case StationEvent::Kind::AttemptEnded:
            log_ << QStringLiteral("ended:%1:%2")
                        .arg(AttemptOutcomeLabel(event.outcome))
                        .arg(event.attempt);
            break;
        case StationEvent::Kind::PictureGivenUp:
            log_ << QStringLiteral("given_up");
            break;
        case StationEvent::Kind::CallBegun:
            log_ << QStringLiteral("call");
            break;
        case StationEvent::Kind::CallEnded:
            log_ << QStringLiteral("call_ended:%1").arg(event.callSeconds);
            break;
        case StationEvent::Kind::HangUpEnded:
            log_ << (event.hangUpOk ? QStringLiteral("hangup:ok")
                                    : QStringLiteral("hangup:failed"));
            break;
        case StationEvent::Kind::Finished:
            log_ << QStringLiteral("finished:%1").arg(event.exitCode);
            break;
        default:
            break;
        }
    }

private:
    QStringList& log_;
};

std::string SoundStream() {
    return "CAM_B\r\n" + EncodeHexPairs(SolidJpeg(16, 16, Qt::red)) + "CAM_E\r\n";
}

std::string DamagedStream() {
    std::string stream = SoundStream();
    stream.erase(stream.size() / 2 / 3 * 3 + 1, 1);
    return stream;
}

const QString kRequest = QStringLiteral(">CONBA@%1 >CONSI@%2 >CONRL@%3 >BILD@%4");

QString RequestAt(std::int64_t ms) {
    return kRequest.arg(ms).arg(ms + 1000).arg(ms + 2000).arg(ms + 3000);
}

} // namespace

class StationLoopTest : public QObject {
    Q_OBJECT
private slots:
    void transitions_data();
    void transitions();
    void dialReadsTheModemsAnswer_data();
    void dialReadsTheModemsAnswer();
};

void StationLoopTest::transitions_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("dialFirst");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<int>("refusedOpenings");
    // What the far side does, step by step: a modem's answer or a picture
    // arrives, or the clock runs to the loop's next deadline ("wait").
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("finalState");

    const int one = int(StationSettings::Mode::OnePicture);
    const int interval = int(StationSettings::Mode::Interval);
    const int continuous = int(StationSettings::Mode::Continuous);
    const int finished = int(StationState::Finished);

    QTest::newRow("one picture, judged as soon as it is in")
        << one << false << 3 << 0 << "wait wait wait sound"
        << "open " + RequestAt(0) + " stored@3000 ended:sound:1 finished:0" << finished;
    // The call the station made ends with the escape after a second of
    // silence (and a margin), its answer after another, and "ATH".
    const QString hungUpAt5000 = " >+++@5100 >ATH@6100 hangup:ok call_ended:5.1";
    QTest::newRow("CONNECT: the request at once, the call ended before the end")
        << one << true << 3 << 0 << "OK wait CONNECT wait wait wait sound wait wait OK OK"
        << "open >AT@0 >ATD 0157@1000 dial:connect call " + RequestAt(1000) +
               " stored@4000 ended:sound:1" + hungUpAt5000 + " finished:0"
        << finished;
    QTest::newRow("interval with a dial: the call ends after each picture")
        << interval << true << 3 << 0 << "OK wait CONNECT wait wait wait sound wait wait OK OK wait"
        << "open >AT@0 >ATD 0157@1000 dial:connect call " + RequestAt(1000) +
               " stored@4000 ended:sound:1" + hungUpAt5000 + " >AT@60000"
        << int(StationState::CheckingModem);
    QTest::newRow("a hang-up the modem does not answer is told, the run ends all the same")
        << one << true << 3 << 0 << "OK wait CONNECT wait wait wait sound wait wait wait"
        << "open >AT@0 >ATD 0157@1000 dial:connect call " + RequestAt(1000) +
               " stored@4000 ended:sound:1 >+++@5100 hangup:failed finished:0"
        << finished;
    QTest::newRow("the modem still in a call: the escape, ATH, AT once more")
        << one << true << 3 << 0 << "wait wait wait OK OK OK wait CONNECT"
        << "open >AT@0 >+++@2000 >ATH@3000 >AT@3000 >ATD 0157@4000 dial:connect call >CONBA@4000"
        << int(StationState::Requesting);
    QTest::newRow("a silent modem: probed, then dialled blind and given its time")
        << one << true << 3 << 0
        << "wait wait wait wait wait wait wait wait wait wait sound wait wait wait wait"
        << "open >AT@0 >+++@2000 >ATH@5000 >AT@7000 >ATD 0157@9000 dial:silent " +
               RequestAt(39000) + " stored@42000 ended:sound:1 >+++@43100 >ATH@46100 finished:0"
        << finished;
    QTest::newRow("stopped with a call up: the call ends first")
        << continuous << true << 3 << 0
        << "OK wait CONNECT wait wait wait sound stop wait wait OK OK"
        << "open >AT@0 >ATD 0157@1000 dial:connect call " + RequestAt(1000) +
               " stored@4000 ended:sound:1 >CONBA@4000" + hungUpAt5000 + " finished:0"
        << finished;
    QTest::newRow("busy twice: a pause, then given up")
        << one << true << 2 << 0 << "OK wait BUSY wait OK wait BUSY"
        << "open >AT@0 >ATD 0157@1000 dial:busy ended:dial_failed:1 close open >AT@6000 "
           ">ATD 0157@7000 dial:busy ended:dial_failed:2 close given_up finished:1"
        << finished;
    QTest::newRow("damaged: asked again at once on the open line")
        << one << false << 3 << 0 << "wait wait wait damaged wait wait wait sound"
        << "open " + RequestAt(0) + " aside ended:damaged:1 " + RequestAt(3000) +
               " stored@6000 ended:sound:2 finished:0"
        << finished;
    QTest::newRow("damaged on the last try: given up")
        << one << false << 1 << 0 << "wait wait wait damaged"
        << "open " + RequestAt(0) + " aside ended:damaged:1 given_up finished:1" << finished;
    QTest::newRow("the call drops while the picture arrives")
        << one << false << 2 << 0 << "wait wait wait NOCARRIER wait wait wait wait sound"
        << "open " + RequestAt(0) + " ended:line_dropped:1 close open " + RequestAt(8000) +
               " stored@11000 ended:sound:2 finished:0"
        << finished;
    QTest::newRow("no picture within the time")
        << one << false << 1 << 0 << "wait wait wait wait"
        << "open " + RequestAt(0) + " ended:no_picture:1 close given_up finished:1" << finished;
    QTest::newRow("a port that cannot be opened is no try")
        << one << false << 3 << 1 << ""
        << "ended:port_failed:1 given_up finished:1" << finished;
    QTest::newRow("continuous: the next request right after the picture")
        << continuous << false << 3 << 0 << "wait wait wait sound wait wait wait sound"
        << "open " + RequestAt(0) + " stored@3000 ended:sound:1 " + RequestAt(3000) +
               " stored@6000 ended:sound:1 >CONBA@6000"
        << int(StationState::Requesting);
    QTest::newRow("interval: the port closes, the next picture on the schedule")
        << interval << false << 3 << 0 << "wait wait wait sound wait"
        << "open " + RequestAt(0) + " stored@3000 ended:sound:1 close open >CONBA@60000"
        << int(StationState::Requesting);
    QTest::newRow("interval: the schedule ends a try still under way")
        << interval << false << 3 << 0 << "wait wait wait wait"
        << "open " + RequestAt(0) + " ended:no_picture:1 close given_up open >CONBA@60000"
        << int(StationState::Requesting);
}

void StationLoopTest::transitions() {
    QFETCH(int, mode);
    QFETCH(bool, dialFirst);
    QFETCH(int, attempts);
    QFETCH(int, refusedOpenings);
    QFETCH(QString, script);
    QFETCH(QString, expected);
    QFETCH(int, finalState);

    FakeClock clock;
    QTemporaryDir folder;
    QStringList log;
    ScriptedLine line(clock, log);
    line.refusedOpenings = refusedOpenings;
    EventLog events(log);
    StationSettings settings;
    settings.mode = StationSettings::Mode(mode);
    settings.minutes = 1;
    settings.dialFirst = dialFirst;
    settings.attempts = attempts;
    settings.answerWaitMs = 30000;
    // Shorter than the interval, longer than a pause.
    settings.pictureTimeoutMs = mode == int(StationSettings::Mode::Interval) ? 120000 : 20000;
    settings.stem = folder.filePath(QStringLiteral("Hof")).toStdString();
    settings.phoneNumber = "0157";
    StationLoop loop(settings, line);
    loop.addReader(events);

    const std::map<QString, std::string> arrivals = {
        {QStringLiteral("OK"), "\r\nOK\r\n"},
        {QStringLiteral("CONNECT"), "\r\nCONNECT 9600\r\n"},
        {QStringLiteral("BUSY"), "\r\nBUSY\r\n"},
        {QStringLiteral("NOCARRIER"), "\r\nNO CARRIER\r\n"},
        {QStringLiteral("sound"), SoundStream()},
        {QStringLiteral("damaged"), DamagedStream()},
    };
    loop.start();
    for (const QString& step : script.split(' ', Qt::SkipEmptyParts)) {
        if (step == QLatin1String("stop")) {
            loop.stop();
            continue;
        }
        if (step == QLatin1String("wait")) {
            QVERIFY2(loop.nextDeadlineMs() >= clock.now, qPrintable(log.join(' ')));
            clock.now = loop.nextDeadlineMs();
            loop.timeReached();
            continue;
        }
        line.text += arrivals.at(step);
        loop.lineChanged();
    }
    QCOMPARE(log.join(' '), expected);
    QCOMPARE(int(loop.state()), finalState);
}

void StationLoopTest::dialReadsTheModemsAnswer_data() {
    QTest::addColumn<QStringList>("answers"); // "ms text": the far side writes at ms
    QTest::addColumn<QString>("result");
    QTest::addColumn<int>("requestAt"); // the first request line, -1 for none
    QTest::newRow("CONNECT after 2 s")
        << QStringList{"3000 \r\nCONNECT 9600\r\n"} << "connect" << 3000;
    QTest::newRow("echo, then CONNECT")
        << QStringList{"1000 ATD 0157\r", "1500 \r\nCONNECT\r\n"} << "connect" << 1500;
    QTest::newRow("CONNECT in two pieces")
        << QStringList{"1500 \r\nCONN", "2500 ECT 9600\r\n"} << "connect" << 2500;
    QTest::newRow("numeric CONNECT 9600") << QStringList{"2000 12\r"} << "connect" << 2000;
    QTest::newRow("BUSY") << QStringList{"2000 \r\nBUSY\r\n"} << "busy" << -1;
    QTest::newRow("numeric BUSY") << QStringList{"2000 7\r"} << "busy" << -1;
    QTest::newRow("NO DIALTONE") << QStringList{"1200 \r\nNO DIALTONE\r\n"} << "no_dialtone" << -1;
    QTest::newRow("the answer to AT is not the dial's")
        << QStringList{"200 \r\nERROR\r\n", "4000 \r\nCONNECT\r\n"} << "connect" << 4000;
    QTest::newRow("RING, then nothing")
        << QStringList{"2000 \r\nRING\r\n"} << "silent" << 1000 + 30000;
    QTest::newRow("silent modem") << QStringList{} << "silent" << 1000 + 30000;
}

void StationLoopTest::dialReadsTheModemsAnswer() {
    QFETCH(QStringList, answers);
    QFETCH(int, requestAt);
    FakeClock clock;
    QTemporaryDir folder;
    QStringList log;
    ScriptedLine line(clock, log);
    StationSettings settings;
    settings.dialFirst = true;
    settings.answerWaitMs = 30000;
    settings.pictureTimeoutMs = 300000;
    settings.stem = folder.filePath(QStringLiteral("Hof")).toStdString();
    settings.phoneNumber = "0157";
    StationLoop loop(settings, line);
    EventLog events(log);
    loop.addReader(events);
    loop.start();
    // The far side's lines and the loop's deadlines, in the order of time;
    // the modem answers "AT" at once.
    for (const QString& answer : QStringList{"0 \r\nOK\r\n"} + answers) {
        const std::int64_t at = answer.section(u' ', 0, 0).toLongLong();
        while (loop.nextDeadlineMs() >= 0 && loop.nextDeadlineMs() <= at &&
               loop.state() != StationState::Arriving) {
            clock.now = loop.nextDeadlineMs();
            loop.timeReached();
        }
        clock.now = std::max(clock.now, at);
        line.text += answer.section(u' ', 1).toStdString();
        loop.lineChanged();
    }
    while (loop.state() == StationState::Dialling || loop.state() == StationState::AwaitingAnswer) {
        clock.now = loop.nextDeadlineMs();
        loop.timeReached();
    }
    const QString told = log.join(' ');
    QVERIFY2(told.startsWith(QStringLiteral("open >AT@0 >ATD 0157@1000")), qPrintable(told));
    QFETCH(QString, result);
    QVERIFY2(log.contains(QStringLiteral("dial:") + result), qPrintable(told));
    if (requestAt < 0) {
        QVERIFY2(!told.contains(QStringLiteral(">CONBA")), qPrintable(told));
        return;
    }
    // The request follows the answer at once.
    QVERIFY2(log.contains(QStringLiteral(">CONBA@%1").arg(requestAt)), qPrintable(told));
}

QTEST_GUILESS_MAIN(StationLoopTest)
#include "test_station_loop.moc"
