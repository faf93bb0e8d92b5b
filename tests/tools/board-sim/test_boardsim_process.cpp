// merlon-board-sim as the program meets it: a child process whose printed
// device this test opens as the far side, the way the serial port layer
// does. Modem dialogue, picture streams compared with the saved files, the
// call across closing and reopening, pacing, faults and their reports, the
// link and signals.
#include "capture/hex_capture.h"

#include <QtTest>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace {

const QString kSimulator = QStringLiteral(BOARD_SIM_PATH);
constexpr int kTimeoutMs = 10000;

QByteArray FileContents(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "(missing)";
    return file.readAll();
}

// Width and height from the frame header of a JPEG file; (0, 0) if none.
QSize JpegSize(const QByteArray& jpeg) {
    qsizetype i = 2;
    while (i + 9 < jpeg.size()) {
        if (static_cast<unsigned char>(jpeg[i]) != 0xFF)
            return {};
        const auto marker = static_cast<unsigned char>(jpeg[i + 1]);
        const int length = (static_cast<unsigned char>(jpeg[i + 2]) << 8) |
                           static_cast<unsigned char>(jpeg[i + 3]);
        if (marker >= 0xC0 && marker <= 0xC3) {
            const auto at = [&](qsizetype k) { return static_cast<unsigned char>(jpeg[k]); };
            return QSize((at(i + 7) << 8) | at(i + 8), (at(i + 5) << 8) | at(i + 6));
        }
        i += 2 + length;
    }
    return {};
}

DecodedCapture Decode(const QByteArray& text) {
    return DecodeHexCapture(std::string_view(text.constData(), text.size()));
}

QByteArray Bytes(const std::string& text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// The simulator as a child process; stopped with SIGTERM when it goes.
class Simulator {
public:
    explicit Simulator(const QStringList& arguments) {
        process_.start(kSimulator, arguments);
        if (process_.waitForStarted(kTimeoutMs))
            devicePath_ = QString::fromUtf8(readLine()).trimmed();
    }

    ~Simulator() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(kTimeoutMs))
                process_.kill();
        }
    }

    const QString& devicePath() const { return devicePath_; }
    QProcess& process() { return process_; }

    // Next line on stdout, without its line break; empty on time-out.
    QByteArray readLine() {
        QDeadlineTimer deadline(kTimeoutMs);
        while (!process_.canReadLine() && !deadline.hasExpired()) {
            if (!process_.waitForReadyRead(static_cast<int>(deadline.remainingTime())) &&
                process_.state() == QProcess::NotRunning)
                break;
        }
        return process_.readLine().trimmed();
    }

    // The file of the next picture the simulator reports.
    QString nextPictureFile() {
        const QByteArray line = readLine(); // "Bild 1: /dir/picture-0001.jpg (320x240, …)"
        const qsizetype colon = line.indexOf(": "), space = line.indexOf(" (");
        if (colon < 0 || space < colon)
            return {};
        return QString::fromUtf8(line.mid(colon + 2, space - colon - 2));
    }

private:
    QProcess process_;
    QString devicePath_;
};

// The program's side of the line: the device opened and set raw, as the
// serial port layer does it.
class FarSide {
public:
    explicit FarSide(const QString& path) {
        fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios settings{};
        if (fd_ >= 0 && tcgetattr(fd_, &settings) == 0) {
            cfmakeraw(&settings);
            tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    ~FarSide() {
        if (fd_ >= 0)
            ::close(fd_);
    }

    bool isOpen() const { return fd_ >= 0; }

    void send(const QByteArray& bytes) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.constData() + done, bytes.size() - done);
            if (n > 0)
                done += n;
            else if (errno == EAGAIN)
                waitFor(POLLOUT, 100);
            else
                return;
        }
    }

    // Reads until the received text holds needle; false on time-out.
    bool readUntil(const QByteArray& needle, int timeoutMs = kTimeoutMs) {
        return readWhile([&] { return !received.contains(needle); }, timeoutMs);
    }

    // Reads until the received text holds one of needles; false on time-out.
    bool readUntilOneOf(const QList<QByteArray>& needles) {
        return readWhile(
            [&] {
                return std::none_of(needles.begin(), needles.end(),
                                    [&](const QByteArray& n) { return received.contains(n); });
            },
            kTimeoutMs);
    }

    bool readAtLeast(qsizetype size) {
        return readWhile([&] { return received.size() < size; }, kTimeoutMs);
    }

    // Reads until a whole line starting with start has arrived.
    bool readLineStarting(const QByteArray& start) {
        return readWhile(
            [&] {
                const qsizetype at = received.indexOf(start);
                return at < 0 || received.indexOf("\r\n", at) < 0;
            },
            kTimeoutMs);
    }

    // Reads for a while, for checking that nothing (more) arrives.
    void readFor(int ms) {
        readWhile([] { return true; }, ms);
    }

    QByteArray received;

private:
    template <typename Condition> bool readWhile(Condition more, int timeoutMs) {
        QDeadlineTimer deadline(timeoutMs);
        while (more()) {
            if (deadline.hasExpired())
                return false;
            if (waitFor(POLLIN, static_cast<int>(deadline.remainingTime()))) {
                char buffer[65536];
                const ssize_t n = ::read(fd_, buffer, sizeof buffer);
                if (n > 0)
                    received.append(buffer, n);
            }
        }
        return true;
    }

    bool waitFor(short events, int ms) {
        pollfd poller{fd_, events, 0};
        return ::poll(&poller, 1, ms) > 0 && (poller.revents & events);
    }

    int fd_ = -1;
};

// Twelve dials and a picture in each call that comes up, hanging up
// after each: the fault lines on the error output, and the picture
// lines with the fault each names.
struct FaultRun {
    QByteArrayList faultLines;
    QByteArrayList pictureLines;
};

QByteArrayList StartingWith(const QByteArrayList& lines, const QByteArray& start) {
    QByteArrayList found;
    for (const QByteArray& line : lines)
        if (line.startsWith(start))
            found << line;
    return found;
}

// Picture lines without "(320x240, 9185 Bytes)": the time of day drawn into
// each picture changes its size from run to run.
QByteArrayList WithoutSizes(const QByteArrayList& lines) {
    QByteArrayList stripped;
    for (const QByteArray& line : lines)
        stripped << line.left(line.indexOf(" (")) + line.mid(line.indexOf(')') + 1);
    return stripped;
}

FaultRun RunWithFaults(const QString& seed) {
    FaultRun run;
    Simulator sim({"--fast", "--dial-delay", "0", "--faults", seed});
    FarSide far(sim.devicePath());
    for (int dial = 0; dial < 12; ++dial) {
        far.received.clear();
        far.send("ATD 0157\r");
        if (!far.readUntilOneOf({"CONNECT", "BUSY", "NO ANSWER", "NO DIALTONE"}))
            return {};
        if (!far.received.contains("CONNECT"))
            continue;
        far.send("BILD\r");
        run.pictureLines << sim.readLine();
        // Hangs up whether the picture is still on its way or the
        // call already dropped; a call that refuses the escape is ended
        // by the far side.
        far.received.clear();
        far.send("+++\rATH\r");
        if (!far.readUntilOneOf({"ATH\r\r\nOK\r\n", "NO CARRIER"}))
            return {};
    }
    sim.process().terminate();
    sim.process().waitForFinished(kTimeoutMs);
    for (const QByteArray& line : sim.process().readAllStandardError().split('\n'))
        if (line.contains(": Fehler "))
            run.faultLines << line;
    return run;
}

} // namespace

class TestBoardSimProcess : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

    QStringList saving(QStringList arguments) const {
        return arguments << "--save" << dir_.path() << "--dial-delay"
                         << "0";
    }

    // Brings the call up; what the modem said is cleared away.
    static bool dial(FarSide& far) {
        far.send("ATD 0157\r");
        const bool connected = far.readLineStarting("CONNECT ");
        far.received.clear();
        return connected;
    }

private slots:
    void init() { QVERIFY(dir_.isValid()); }

    void cleanup() {
        for (const QString& name : QDir(dir_.path()).entryList(QDir::Files))
            QFile::remove(dir_.filePath(name));
    }

    void modemAnswers_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("send");
        QTest::addColumn<QByteArray>("expect");
        QTest::newRow("AT") << QStringList{} << QByteArray("AT\r") << QByteArray("AT\r\r\nOK\r\n");
        QTest::newRow("AT, echo off")
            << QStringList{"--no-echo"} << QByteArray("AT\r") << QByteArray("\r\nOK\r\n");
        QTest::newRow("dial") << QStringList{"--dial-delay", "0"} << QByteArray("ATD 0157\r")
                              << QByteArray("ATD 0157\r\r\nCONNECT 9600\r\n");
        QTest::newRow("dial, speed")
            << QStringList{"--dial-delay", "0", "--baud", "2400"} << QByteArray("ATD 0157\r")
            << QByteArray("ATD 0157\r\r\nCONNECT 2400\r\n");
        QTest::newRow("busy") << QStringList{"--dial-delay", "0", "--busy=1"}
                              << QByteArray("ATD 1\r") << QByteArray("ATD 1\r\r\nBUSY\r\n");
        QTest::newRow("no answer")
            << QStringList{"--dial-delay", "0", "--no-answer"} << QByteArray("ATD 1\r")
            << QByteArray("ATD 1\r\r\nNO ANSWER\r\n");
        QTest::newRow("no dial tone")
            << QStringList{"--dial-delay", "0", "--no-dialtone"} << QByteArray("ATD 1\r")
            << QByteArray("ATD 1\r\r\nNO DIALTONE\r\n");
        QTest::newRow("numeric") << QStringList{"--dial-delay", "0", "--numeric", "--no-echo"}
                                 << QByteArray("AT\rATD 1\r") << QByteArray("0\r12\r");
        QTest::newRow("silent, echo stays")
            << QStringList{"--silent"} << QByteArray("AT\rATI\r")
            << QByteArray("AT\rATI\r\r\nMerlon Board-Simulator\r\n");
    }

    void modemAnswers() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, send);
        QFETCH(QByteArray, expect);
        Simulator sim(arguments);
        FarSide far(sim.devicePath());
        QVERIFY2(far.isOpen(), qPrintable(sim.devicePath()));
        far.send(send);
        QVERIFY2(far.readUntil(expect), far.received.constData());
        far.readFor(100);
        QCOMPARE(far.received, expect);
    }

    void pictureMatchesSavedFile_data() {
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<QSize>("size");
        QTest::newRow("small") << QByteArray("CONBA\rCONSI\rCONRL\r") << QSize(320, 240);
        QTest::newRow("large, flash, direct")
            << QByteArray("CONBE\rCONSD\rCONRH\r") << QSize(640, 480);
        QTest::newRow("one write, CR LF")
            << QByteArray("CONBE\r\nCONSI\r\nCONRL\r\n") << QSize(320, 240);
    }

    // The stream decodes to exactly the bytes of the file the simulator
    // saved, so the program's stored picture can be compared byte for byte.
    void pictureMatchesSavedFile() {
        QFETCH(QByteArray, options);
        QFETCH(QSize, size);
        Simulator sim(saving({"--fast"}));
        FarSide far(sim.devicePath());
        QVERIFY(dial(far));
        far.send(options + "BILD\r");
        QVERIFY(far.readUntil("CAM_E\r\n"));
        const QString file = sim.nextPictureFile();
        QCOMPARE(file, dir_.filePath("picture-0001.jpg"));
        const QByteArray saved = FileContents(file);
        QCOMPARE(JpegSize(saved), size);

        QVERIFY(far.received.startsWith("CAM_B\r\nFF D8 "));
        QVERIFY(far.received.endsWith("FF D9 CAM_E\r\n"));
        const DecodedCapture decoded = Decode(far.received);
        QVERIFY(decoded.endSeen);
        QCOMPARE(Bytes(decoded.bytes), saved);
    }

    void picturesAreNumbered() {
        Simulator sim(saving({"--fast"}));
        FarSide far(sim.devicePath());
        QVERIFY(dial(far));
        far.send("BILD\r");
        QVERIFY(far.readUntil("CAM_E\r\n"));
        const QByteArray first = far.received;
        far.received.clear();
        far.send("BILD\r");
        QVERIFY(far.readUntil("CAM_E\r\n"));
        QCOMPARE(sim.nextPictureFile(), dir_.filePath("picture-0001.jpg"));
        QCOMPARE(sim.nextPictureFile(), dir_.filePath("picture-0002.jpg"));
        QCOMPARE(Bytes(Decode(first).bytes), FileContents(dir_.filePath("picture-0001.jpg")));
        QCOMPARE(Bytes(Decode(far.received).bytes),
                 FileContents(dir_.filePath("picture-0002.jpg")));
        QVERIFY(first != far.received);
    }

    void noPictureBeforeTheCall() {
        Simulator sim(saving({"--fast"}));
        FarSide far(sim.devicePath());
        far.send("CONBA\rCONSI\rCONRL\rBILD\rAT\r");
        QVERIFY(far.readUntil("OK\r\n"));
        far.readFor(200);
        QCOMPARE(far.received, QByteArray("CONBA\rCONSI\rCONRL\rBILD\rAT\r\r\nOK\r\n"));
        QVERIFY(QDir(dir_.path()).entryList(QDir::Files).isEmpty());
    }

    // The program closes the port after each interval picture and reopens
    // it for the next; the call must still be up then.
    void callSurvivesClosingThePort() {
        Simulator sim(saving({"--fast"}));
        {
            FarSide far(sim.devicePath());
            QVERIFY(dial(far));
        }
        {
            FarSide far(sim.devicePath());
            far.send("BILD\r");
            QVERIFY(far.readUntil("CAM_E\r\n"));
            QVERIFY(!far.received.contains("CONNECT"));
            QCOMPARE(Bytes(Decode(far.received).bytes), FileContents(sim.nextPictureFile()));
        }
        FarSide far(sim.devicePath());
        far.send("BILD\r");
        QVERIFY(far.readUntil("CAM_E\r\n"));
    }

    void hangUpWithEscape() {
        Simulator sim(saving({"--fast"}));
        FarSide far(sim.devicePath());
        QVERIFY(dial(far));
        far.send("+++\r");
        QVERIFY(far.readUntil("\r\nOK\r\n"));
        far.send("ATH\r");
        QVERIFY(far.readUntil("ATH\r\r\nOK\r\n"));
        far.received.clear();
        far.send("BILD\rAT\r");
        QVERIFY(far.readUntil("AT\r\r\nOK\r\n"));
        QCOMPARE(far.received, QByteArray("BILD\rAT\r\r\nOK\r\n"));
    }

    void pacing_data() {
        QTest::addColumn<bool>("fast");
        QTest::newRow("230400 Bit/s") << false;
        QTest::newRow("--fast") << true;
    }

    // 230400 bit/s carry 23040 characters a second; a paced stream cannot
    // come sooner. The bound is loose, a slow machine only makes it later.
    void pacing() {
        QFETCH(bool, fast);
        QStringList arguments{"--baud", "230400", "--quality", "30"};
        if (fast)
            arguments << "--fast";
        Simulator sim(saving(arguments));
        FarSide far(sim.devicePath());
        QVERIFY(dial(far));
        QElapsedTimer clock;
        clock.start();
        far.send("BILD\r");
        QVERIFY(far.readUntil("CAM_E\r\n"));
        const double seconds = clock.nsecsElapsed() / 1e9;
        const double lineTime = far.received.size() / 23040.0;
        qInfo("%lld characters in %.3f s, line time %.3f s", qlonglong(far.received.size()),
              seconds, lineTime);
        if (fast)
            QVERIFY(seconds < 0.5 * lineTime);
        else
            QVERIFY(seconds > 0.8 * lineTime);
    }

    void faults_data() {
        QTest::addColumn<QString>("flag");
        QTest::addColumn<QByteArray>("waitFor");
        QTest::addColumn<bool>("endSeen");
        QTest::addColumn<bool>("decodesToFile");
        QTest::addColumn<QByteArray>("mustContain");
        QTest::newRow("chatter") << "--chatter" << QByteArray("CAM_E\r\n") << true << true
                                 << QByteArray("Kamera bereit\r\nBelichtung 1/60 s\r\nCAM_B\r\n");
        QTest::newRow("NUL") << "--nul" << QByteArray("CAM_E\r\n") << true << true
                             << QByteArray(" \0", 2);
        QTest::newRow("lower case") << "--lowercase" << QByteArray("CAM_E\r\n") << true << false
                                    << QByteArray("CAM_B\r\nff d8 ff e0 ");
        QTest::newRow("hang-up") << "--hangup-mid-picture" << QByteArray("NO CARRIER\r\n") << false
                                 << false << QByteArray("\r\nNO CARRIER\r\n");
        // The saved file is what the board meant to send.
        QTest::newRow("digit dropped") << "--drop-digit" << QByteArray("CAM_E\r\n") << true << false
                                       << QByteArray("FF D9 CAM_E\r\n");
        QTest::newRow("digit changed") << "--flip-digit" << QByteArray("CAM_E\r\n") << true << false
                                       << QByteArray("FF D9 CAM_E\r\n");
    }

    void faults() {
        QFETCH(QString, flag);
        QFETCH(QByteArray, waitFor);
        QFETCH(bool, endSeen);
        QFETCH(bool, decodesToFile);
        QFETCH(QByteArray, mustContain);
        Simulator sim(saving({"--fast", flag}));
        FarSide far(sim.devicePath());
        QVERIFY(dial(far));
        far.send("BILD\r");
        QVERIFY(far.readUntil(waitFor));
        const QByteArray saved = FileContents(sim.nextPictureFile());
        const DecodedCapture decoded = Decode(far.received);
        QCOMPARE(decoded.endSeen, endSeen);
        QCOMPARE(Bytes(decoded.bytes) == saved, decodesToFile);
        QVERIFY(far.received.contains(mustContain));
    }

    void hangUpEndsTheCall() {
        Simulator sim(saving({"--fast", "--hangup-mid-picture"}));
        FarSide far(sim.devicePath());
        QVERIFY(dial(far));
        far.send("BILD\r");
        QVERIFY(far.readUntil("NO CARRIER\r\n"));
        far.received.clear();
        far.send("BILD\rAT\r"); // back in command mode: echoed, answered by the modem
        QVERIFY(far.readUntil("AT\r\r\nOK\r\n"));
        QCOMPARE(far.received, QByteArray("BILD\rAT\r\r\nOK\r\n"));
    }

    // "=1": only the first picture is cut; the next one is whole, and what
    // the program's decoder makes of both together is their bytes in a row.
    void cutBeforeEndOnce() {
        Simulator sim(saving({"--fast", "--cut-before-end=1"}));
        FarSide far(sim.devicePath());
        QVERIFY(dial(far));
        far.send("BILD\r");
        const QByteArray first = FileContents(sim.nextPictureFile());
        QVERIFY(far.readAtLeast(7 + 3 * first.size())); // all pairs, no end marker
        far.send("BILD\r");
        QVERIFY(far.readUntil("CAM_E\r\n"));
        const QByteArray second = FileContents(sim.nextPictureFile());
        QCOMPARE(far.received.count("CAM_B"), 2);
        QCOMPARE(far.received.count("CAM_E"), 1);
        QVERIFY(far.received.indexOf("CAM_E") > far.received.lastIndexOf("CAM_B"));
        const DecodedCapture decoded = Decode(far.received);
        QVERIFY(decoded.endSeen);
        QCOMPARE(Bytes(decoded.bytes), first + second);
    }

    void randomFaultsRepeat() {
        const FaultRun first = RunWithFaults("42");
        const FaultRun second = RunWithFaults("42");
        QVERIFY(!first.faultLines.isEmpty());
        QCOMPARE(first.faultLines, second.faultLines);
        QCOMPARE(WithoutSizes(first.pictureLines), WithoutSizes(second.pictureLines));
        QVERIFY(!StartingWith(first.faultLines, "Anwahl ").isEmpty());
        QVERIFY(!first.pictureLines.isEmpty());
        // Each picture line names the fault its error line reports, or
        // none.
        for (const QByteArray& line : first.pictureLines) {
            const QByteArray number = line.mid(5, line.indexOf(':') - 5);
            const QByteArrayList reported = StartingWith(first.faultLines, "Bild " + number + ": ");
            if (line.endsWith(") fehlerfrei")) {
                QVERIFY2(reported.isEmpty(), line.constData());
                continue;
            }
            const qsizetype at = line.indexOf(") Fehler: ");
            QVERIFY2(at > 0 && reported.size() == 1, line.constData());
            const QByteArray name = line.mid(at + 10);
            QVERIFY2(reported[0].startsWith("Bild " + number + ": Fehler " + name + " ("),
                     reported[0].constData());
        }
    }

    void link_data() {
        QTest::addColumn<QString>("before"); // what is at the link path
        QTest::addColumn<int>("signal");
        QTest::newRow("nothing, SIGTERM") << "" << int(SIGTERM);
        QTest::newRow("nothing, SIGINT") << "" << int(SIGINT);
        QTest::newRow("stale link") << "link" << int(SIGTERM);
    }

    void link() {
        QFETCH(QString, before);
        QFETCH(int, signal);
        const QString path = dir_.filePath("com1");
        if (before == "link")
            QVERIFY(QFile::link(dir_.filePath("gone/ttyX"), path));
        Simulator sim({"--link", path, "--dial-delay", "0"});
        QCOMPARE(QFileInfo(path).symLinkTarget(), sim.devicePath());
        {
            FarSide far(path); // the way MERLON_COM1 leads the program there
            far.send("AT\r");
            QVERIFY(far.readUntil("OK\r\n"));
        }
        ::kill(static_cast<pid_t>(sim.process().processId()), signal);
        QVERIFY(sim.process().waitForFinished(kTimeoutMs));
        QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.process().exitCode(), 0);
        struct stat info {};
        QCOMPARE(::lstat(path.toLocal8Bit().constData(), &info), -1);
    }

    void linkNeverReplacesAFile() {
        const QString path = dir_.filePath("com1");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me");
        file.close();
        Simulator sim({"--link", path});
        QVERIFY(sim.process().state() == QProcess::NotRunning ||
                sim.process().waitForFinished(kTimeoutMs));
        QCOMPARE(sim.process().exitCode(), 1);
        QVERIFY(sim.devicePath().isEmpty());
        QVERIFY(sim.process().readAllStandardError().contains(path.toUtf8()));
        QCOMPARE(FileContents(path), QByteArray("keep me"));
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        QTest::newRow("help") << QStringList{"--help"} << 0
                              << "Simuliert Modem und Merlon-Board an einem Pseudo-Terminal";
        QTest::newRow("unknown option")
            << QStringList{"--turbo"} << 2 << "Unbekannte Option: --turbo";
        QTest::newRow("bad speed")
            << QStringList{"--baud", "schnell"} << 2
            << "'schnell' ist für --baud nicht gültig, erlaubt sind 10 bis 4000000";
    }

    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        QProcess process;
        process.start(kSimulator, arguments);
        QVERIFY(process.waitForFinished(kTimeoutMs));
        QCOMPARE(process.exitCode(), exitCode);
        const QString output =
            QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
        QVERIFY2(output.contains(says), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TestBoardSimProcess)
#include "test_boardsim_process.moc"
