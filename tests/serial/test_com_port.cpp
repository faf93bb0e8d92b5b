// The port routines on a pseudo-terminal pair, the test playing the modem:
// opening with the COM window's texts, the line they set up, reads that
// never wait, byte-wise writes and a far side that goes away.
#include "platform/com_port_names.h"
#include "platform/serial_device.h"
#include "platform/user_error.h"
#include "serial/com_port.h"
#include "tests/serial/termios2_probe.h"
#include "tests/support/pty_pair.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>
#include <vector>

namespace {

const ComPortFields PortThree{"3", "9600", "8"};

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const UserError& error) {
        return error.what();
    }
    return "(no failure)";
}

struct LineState {
    tcflag_t iflag, oflag, cflag, lflag;
    speed_t ispeed, ospeed;
    cc_t vmin, vtime;
    bool operator==(const LineState& other) const {
        return iflag == other.iflag && oflag == other.oflag && cflag == other.cflag &&
               lflag == other.lflag && ispeed == other.ispeed && ospeed == other.ospeed &&
               vmin == other.vmin && vtime == other.vtime;
    }
};

LineState LineStateOf(int fd) {
    termios line{};
    tcgetattr(fd, &line);
    return {line.c_iflag,       line.c_oflag,       line.c_cflag,    line.c_lflag,
            cfgetispeed(&line), cfgetospeed(&line), line.c_cc[VMIN], line.c_cc[VTIME]};
}

// Counts the write calls the port makes, to show one byte goes per call.
std::vector<std::string> writeCalls;
ssize_t CountingWrite(int fd, const void* data, std::size_t size) {
    const ssize_t written = ::write(fd, data, size);
    if (written > 0)
        writeCalls.emplace_back(static_cast<const char*>(data), static_cast<std::size_t>(written));
    return written;
}

} // namespace

class ComPortTest : public QObject {
    Q_OBJECT

    std::unique_ptr<PtyPair> pty;

    void openOnPty(const ComPortFields& fields = PortThree) {
        OpenComPort(fields);
        QVERIFY(ComHandle.isOpen());
    }

private slots:
    void init() {
        pty = std::make_unique<PtyPair>();
        QVERIFY(pty->ok());
        setenv("MERLON_COM3", pty->slavePath().c_str(), 1);
    }
    void cleanup() {
        CloseComPort(ComHandle);
        SetSerialWriteCall(nullptr);
        unsetenv("MERLON_COM3");
        pty.reset();
    }

    void portNumbersMapToDevices_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QString>("device");
        QTest::newRow("COM1 default") << 1 << QByteArray() << "/dev/ttyS0";
        QTest::newRow("COM19 default") << 19 << QByteArray() << "/dev/ttyS18";
        QTest::newRow("COM1 from environment") << 1 << QByteArray("/dev/ttyUSB0") << "/dev/ttyUSB0";
        QTest::newRow("empty variable counts as unset") << 7 << QByteArray("") << "/dev/ttyS6";
    }
    void portNumbersMapToDevices() {
        QFETCH(int, number);
        QFETCH(QByteArray, variable);
        QFETCH(QString, device);
        const std::string name = "MERLON_COM" + std::to_string(number);
        if (variable.isNull())
            unsetenv(name.c_str());
        else
            setenv(name.c_str(), variable.constData(), 1);
        QCOMPARE(QString::fromStdString(ComPortDevicePath(number)), device);
        QCOMPARE(ComPortName(number), "COM" + std::to_string(number));
        unsetenv(name.c_str());
    }

    // Bad fields are reported in field order, and before anything is opened.
    void badFieldsOpenNothing_data() {
        QTest::addColumn<QByteArray>("port");
        QTest::addColumn<QByteArray>("speed");
        QTest::addColumn<QByteArray>("dataBits");
        QTest::addColumn<QString>("message");
        QTest::newRow("port letter") << QByteArray("a") << QByteArray("x") << QByteArray("y")
                                     << "'a' ist kein gültiger Integerwert";
        QTest::newRow("port empty") << QByteArray("") << QByteArray("9600") << QByteArray("8")
                                    << "'' ist kein gültiger Integerwert";
        QTest::newRow("speed after port")
            << QByteArray("3") << QByteArray("96OO") << QByteArray("z")
            << "'96OO' ist kein gültiger Integerwert";
        QTest::newRow("data bits last") << QByteArray("3") << QByteArray("9600") << QByteArray("8 ")
                                        << "'8 ' ist kein gültiger Integerwert";
        QTest::newRow("port 0") << QByteArray("0") << QByteArray("x") << QByteArray("8")
                                << "'0' ist keine gültige Portnummer, erlaubt sind 1 bis 19";
        QTest::newRow("port 20") << QByteArray("20") << QByteArray("9600") << QByteArray("8")
                                 << "'20' ist keine gültige Portnummer, erlaubt sind 1 bis 19";
        QTest::newRow("port negative")
            << QByteArray("-3") << QByteArray("9600") << QByteArray("8")
            << "'-3' ist keine gültige Portnummer, erlaubt sind 1 bis 19";
        QTest::newRow("port hex beyond range")
            << QByteArray("$14") << QByteArray("9600") << QByteArray("8")
            << "'$14' ist keine gültige Portnummer, erlaubt sind 1 bis 19";
        QTest::newRow("speed 0")
            << QByteArray("3") << QByteArray("0") << QByteArray("x")
            << "'0' ist keine gültige Geschwindigkeit, erlaubt sind Werte ab 1 Bit/s";
        QTest::newRow("speed negative")
            << QByteArray("3") << QByteArray("-9600") << QByteArray("8")
            << "'-9600' ist keine gültige Geschwindigkeit, erlaubt sind Werte ab 1 Bit/s";
        QTest::newRow("data bits 4")
            << QByteArray("3") << QByteArray("9600") << QByteArray("4")
            << "'4' ist keine gültige Anzahl Datenbits, erlaubt sind 5 bis 8";
        QTest::newRow("data bits 9")
            << QByteArray("3") << QByteArray("9600") << QByteArray("9")
            << "'9' ist keine gültige Anzahl Datenbits, erlaubt sind 5 bis 8";
        QTest::newRow("data bits 300 not cut to 44")
            << QByteArray("3") << QByteArray("9600") << QByteArray("300")
            << "'300' ist keine gültige Anzahl Datenbits, erlaubt sind 5 bis 8";
    }
    void badFieldsOpenNothing() {
        QFETCH(QByteArray, port);
        QFETCH(QByteArray, speed);
        QFETCH(QByteArray, dataBits);
        QFETCH(QString, message);
        const LineState before = LineStateOf(pty->slave());
        const ComPortFields fields{port.toStdString(), speed.toStdString(), dataBits.toStdString()};
        QCOMPARE(QString::fromStdString(MessageOf([&] { OpenComPort(fields); })), message);
        QVERIFY(!ComHandle.isOpen());
        QVERIFY(LineStateOf(pty->slave()) == before);
    }

    void openFailureNamesPortDeviceAndReason_data() {
        QTest::addColumn<QByteArray>("device");
        QTest::addColumn<bool>("holdLock");
        QTest::addColumn<QString>("reason");
        QTest::newRow("absent") << QByteArray("/nonexistent/ttyMerlon") << false
                                << "Datei oder Verzeichnis nicht gefunden";
        QTest::newRow("not a tty")
            << QByteArray("/dev/null") << false << "Das Gerät ist keine serielle Schnittstelle";
        QTest::newRow("busy") << QByteArray() << true << "Das Gerät oder die Ressource ist belegt";
    }
    void openFailureNamesPortDeviceAndReason() {
        QFETCH(QByteArray, device);
        QFETCH(bool, holdLock);
        QFETCH(QString, reason);
        const std::string path = device.isEmpty() ? pty->slavePath() : device.toStdString();
        setenv("MERLON_COM3", path.c_str(), 1);
        // Another program holding the port, as the port routines themselves do.
        const int other = holdLock ? ::open(path.c_str(), O_RDWR | O_NOCTTY) : -1;
        if (holdLock)
            QCOMPARE(flock(other, LOCK_EX | LOCK_NB), 0);
        const std::string message = MessageOf([] { OpenComPort(PortThree); });
        if (other >= 0)
            ::close(other);
        QCOMPARE(QString::fromStdString(message),
                 QString::fromStdString("COM3 (" + path + ") kann nicht geöffnet werden: ") +
                     reason);
        QVERIFY(!ComHandle.isOpen());
    }

    void openFailureWithoutPermission() {
        if (geteuid() == 0)
            QSKIP("root may open any file; permission is not refused");
        QTemporaryFile locked;
        QVERIFY(locked.open());
        QVERIFY(locked.setPermissions(QFileDevice::Permissions()));
        setenv("MERLON_COM3", locked.fileName().toLocal8Bit().constData(), 1);
        QCOMPARE(QString::fromStdString(MessageOf([] { OpenComPort(PortThree); })),
                 "COM3 (" + locked.fileName() + ") kann nicht geöffnet werden: Keine Berechtigung");
    }

    void lineIsRawWithGivenSpeed_data() {
        QTest::addColumn<QByteArray>("speed");
        QTest::addColumn<quint32>("expected");
        QTest::newRow("9600") << QByteArray("9600") << 9600u;
        QTest::newRow("57600") << QByteArray("57600") << 57600u;
        QTest::newRow("115200 whole, not its low 16 bits") << QByteArray("115200") << 115200u;
        QTest::newRow("hex field") << QByteArray("$4B0") << 1200u;
        QTest::newRow("non-standard 12345") << QByteArray("12345") << 12345u;
        QTest::newRow("non-standard 250000") << QByteArray("250000") << 250000u;
        QTest::newRow("one bit per second") << QByteArray("1") << 1u;
    }
    void lineIsRawWithGivenSpeed() {
        QFETCH(QByteArray, speed);
        QFETCH(quint32, expected);
        openOnPty({"3", speed.toStdString(), "8"});
        QCOMPARE(ProbeLineSpeed(pty->slave()), expected);

        termios line{};
        QCOMPARE(tcgetattr(pty->slave(), &line), 0);
        QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        QCOMPARE(line.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        QCOMPARE(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), tcflag_t(0));
        QCOMPARE(line.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), tcflag_t(0));
        QCOMPARE(line.c_oflag & OPOST, tcflag_t(0));
        QCOMPARE(int(line.c_cc[VMIN]), 0);
        QCOMPARE(int(line.c_cc[VTIME]), 0);
    }

    // A pseudo-terminal always keeps 8 data bits; asking it for fewer must
    // not leave a port behind that silently runs with 8.
    void dataBitsTheDeviceIgnoresAreRefused_data() {
        QTest::addColumn<int>("dataBits");
        QTest::newRow("5") << 5;
        QTest::newRow("6") << 6;
        QTest::newRow("7") << 7;
    }
    void dataBitsTheDeviceIgnoresAreRefused() {
        QFETCH(int, dataBits);
        const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
        const tcflag_t wanted = sizes[dataBits - 5];

        termios probe{};
        tcgetattr(pty->slave(), &probe);
        const termios original = probe;
        probe.c_cflag = (probe.c_cflag & ~CSIZE) | wanted;
        tcsetattr(pty->slave(), TCSANOW, &probe);
        tcgetattr(pty->slave(), &probe);
        const bool deviceKeepsIt = (probe.c_cflag & CSIZE) == wanted;
        tcsetattr(pty->slave(), TCSANOW, &original);
        const LineState before = LineStateOf(pty->slave());

        const ComPortFields fields{"3", "9600", std::to_string(dataBits)};
        const std::string message = MessageOf([&] { OpenComPort(fields); });
        if (deviceKeepsIt) {
            QCOMPARE(QString::fromStdString(message), QString("(no failure)"));
            QCOMPARE(LineStateOf(pty->slave()).cflag & CSIZE, wanted);
            return;
        }
        QCOMPARE(QString::fromStdString(message),
                 QString::fromStdString("COM3 (" + pty->slavePath() + ") unterstützt " +
                                        std::to_string(dataBits) + " Datenbits nicht"));
        QVERIFY(!ComHandle.isOpen());
        QVERIFY(LineStateOf(pty->slave()) == before);
        int error = 0;
        QVERIFY(SerialDevice::open(pty->slavePath(), error) != nullptr);
    }

    void closingRestoresTheLineAndFreesThePort() {
        const LineState before = LineStateOf(pty->slave());
        openOnPty();
        QVERIFY(!(LineStateOf(pty->slave()) == before));
        int exclusive = -1;
        QCOMPARE(ioctl(pty->slave(), TIOCGEXCL, &exclusive), 0);
        QCOMPARE(exclusive, 1);

        CloseComPort(ComHandle);
        QVERIFY(!ComHandle.isOpen());
        QVERIFY(LineStateOf(pty->slave()) == before);
        QCOMPARE(ioctl(pty->slave(), TIOCGEXCL, &exclusive), 0);
        QCOMPARE(exclusive, 0);
        openOnPty();
    }

    void secondOpenerIsRefused() {
        openOnPty();
        int error = 0;
        QVERIFY(SerialDevice::open(pty->slavePath(), error) == nullptr);
        QCOMPARE(error, EBUSY);
        QVERIFY(pty->sendFromFarSide("ok"));
        std::string text;
        QCOMPARE(ReadComChunk(ComHandle, text), PortStatus::Ok);
        QCOMPARE(text, std::string("ok"));
    }

    void reopeningThroughTheHandleWorks() {
        openOnPty();
        openOnPty({"3", "19200", "8"});
        QCOMPARE(ProbeLineSpeed(pty->slave()), 19200u);
    }

    void writeSendsLineAndReturnByteByByte_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("BILD") << QByteArray("BILD");
        QTest::newRow("empty sends the return alone") << QByteArray("");
        QTest::newRow("line feed not translated") << QByteArray("a\nb");
        QTest::newRow("NUL and high bytes") << QByteArray("\0\xff\x80\x03", 4);
    }
    void writeSendsLineAndReturnByteByByte() {
        QFETCH(QByteArray, line);
        openOnPty();
        writeCalls.clear();
        SetSerialWriteCall(CountingWrite);
        const std::string sent = line.toStdString();
        QCOMPARE(WriteComLine(ComHandle, sent), PortStatus::Ok);

        const std::string expected = sent + '\r';
        QCOMPARE(pty->receiveOnFarSide(expected.size() + 1, 200), expected);
        QCOMPARE(writeCalls.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            QCOMPARE(writeCalls[i], std::string(1, expected[i]));
    }

    void chunkReturnsAtOnceWhenFull() {
        openOnPty();
        QVERIFY(pty->sendFromFarSide(std::string(40, 'h')));
        std::string text = "old";
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(ReadComChunk(ComHandle, text), PortStatus::Ok);
        QVERIFY2(timer.elapsed() < 150, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(text, std::string(28, 'h'));
        QCOMPARE(ReadComChunk(ComHandle, text), PortStatus::Ok);
        QCOMPARE(text, std::string(12, 'h'));
    }

    // The poll runs on the window thread: a read takes what is there and
    // never waits for more (the old time-outs waited up to 380 ms).
    void chunkNeverWaits_data() {
        QTest::addColumn<QByteArray>("waiting");
        QTest::newRow("nothing gives an empty text") << QByteArray();
        QTest::newRow("three bytes give three characters") << QByteArray("A1 ");
        QTest::newRow("bytes kept as they are") << QByteArray("\r\n\0\x03\x11\xff", 6);
    }
    void chunkNeverWaits() {
        QFETCH(QByteArray, waiting);
        openOnPty();
        QVERIFY(pty->sendFromFarSide(waiting.toStdString()));
        std::string text = "old";
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(ReadComChunk(ComHandle, text), PortStatus::Ok);
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(text, waiting.toStdString());
        QVERIFY2(elapsed < 100, qPrintable(QString::number(elapsed)));
    }

    void bytesArrivingLaterWaitForTheNextChunk() {
        openOnPty();
        QVERIFY(pty->sendFromFarSide(std::string(20, 'a')));
        std::string text;
        QCOMPARE(ReadComChunk(ComHandle, text), PortStatus::Ok);
        QCOMPARE(text, std::string(20, 'a'));
        QVERIFY(pty->sendFromFarSide(std::string(8, 'b')));
        QCOMPARE(ReadComChunk(ComHandle, text), PortStatus::Ok);
        QCOMPARE(text, std::string(8, 'b'));
    }

    void waitingReadTakesEverythingThere() {
        openOnPty();
        std::string sent;
        for (int i = 0; i < 3000; ++i)
            sent += static_cast<char>('0' + i % 43);
        QVERIFY(pty->sendFromFarSide(sent));
        std::string text = "before:";
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(ReadComWaiting(ComHandle, text), PortStatus::Ok);
        QCOMPARE(text, "before:" + sent);
        QVERIFY(timer.elapsed() < 100);

        QCOMPARE(ReadComWaiting(ComHandle, text), PortStatus::Ok);
        QCOMPARE(text, "before:" + sent);
    }

    // A far side that never pauses must not hold the call forever.
    void waitingReadReturnsDuringAFlood() {
        openOnPty();
        std::atomic<bool> stop{false};
        // Non-blocking, so that the far side notices `stop` even when the
        // line is full.
        fcntl(pty->master(), F_SETFL, fcntl(pty->master(), F_GETFL) | O_NONBLOCK);
        std::thread farSide([this, &stop] {
            const std::string block(4096, 'f');
            while (!stop) {
                pollfd watch{pty->master(), POLLOUT, 0};
                if (poll(&watch, 1, 20) > 0)
                    (void)!::write(pty->master(), block.data(), block.size());
            }
        });
        std::string text;
        auto reading = std::async(std::launch::async, [&text] {
            PortStatus status = PortStatus::Ok;
            for (int i = 0; i < 20; ++i) {
                text.clear();
                status = ReadComWaiting(ComHandle, text);
            }
            return status;
        });
        const bool returned =
            reading.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        stop = true;
        farSide.join();
        QVERIFY(returned);
        QCOMPARE(reading.get(), PortStatus::Ok);
        QVERIFY(text.size() <= kComWaitingLimit);
    }

    void vanishedFarSideIsReportedPromptly() {
        openOnPty();
        pty->closeMaster();
        for (int round = 0; round < 2; ++round) {
            std::string text = "kept";
            QElapsedTimer timer;
            timer.start();
            QCOMPARE(ReadComChunk(ComHandle, text), PortStatus::Vanished);
            QCOMPARE(ReadComWaiting(ComHandle, text), PortStatus::Vanished);
            QCOMPARE(WriteComLine(ComHandle, "BILD"), PortStatus::Vanished);
            QVERIFY2(timer.elapsed() < 100, qPrintable(QString::number(timer.elapsed())));
            QCOMPARE(text, std::string("kept"));
        }
        CloseComPort(ComHandle);
        QVERIFY(!ComHandle.isOpen());
    }

    // The far side stops reading, so the write waits; then it goes away.
    void blockedWriteEndsWhenFarSideVanishes() {
        openOnPty();
        const std::string longLine(1 << 20, 'w');
        auto writing = std::async(std::launch::async,
                                  [&longLine] { return WriteComLine(ComHandle, longLine); });
        QVERIFY(writing.wait_for(std::chrono::milliseconds(300)) == std::future_status::timeout);
        pty->closeMaster();
        QVERIFY(writing.wait_for(std::chrono::seconds(5)) == std::future_status::ready);
        QCOMPARE(writing.get(), PortStatus::Vanished);
    }

    void closedHandleReadsAndWritesNothing() {
        std::string text = "kept";
        QCOMPARE(ReadComChunk(ComHandle, text), PortStatus::Vanished);
        QCOMPARE(ReadComWaiting(ComHandle, text), PortStatus::Vanished);
        QCOMPARE(WriteComLine(ComHandle, "AT"), PortStatus::Vanished);
        QCOMPARE(text, std::string("kept"));
        CloseComPort(ComHandle);
        QVERIFY(!ComHandle.isOpen());
    }
};

QTEST_APPLESS_MAIN(ComPortTest)
#include "test_com_port.moc"
