// The serial device itself: reads of what is waiting keep to their limit and
// append, a device that vanished says so after the bytes it delivered, and
// closing puts the line back after the output left.
#include "platform/serial_device.h"
#include "tests/support/pty_pair.h"

#include <QtTest>

#include <termios.h>
#include <thread>
#include <vector>

namespace {

// The restore call fails with these errno values, one per call, then works.
std::vector<int> restoreFailures;
int restoreCalls = 0;

int ScriptedRestore(int fd, const termios* settings) {
    if (restoreCalls++ < static_cast<int>(restoreFailures.size())) {
        errno = restoreFailures[static_cast<std::size_t>(restoreCalls - 1)];
        return -1;
    }
    return tcsetattr(fd, TCSANOW, settings);
}

} // namespace

Q_DECLARE_METATYPE(LineRestore)

class SerialDeviceTest : public QObject {
    Q_OBJECT

    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<SerialDevice> device;

private slots:
    void init() {
        pty = std::make_unique<PtyPair>();
        QVERIFY(pty->ok());
        int error = 0;
        device = SerialDevice::open(pty->slavePath(), error);
        QVERIFY(device);
        QCOMPARE(device->applyLine(SerialLineSettings{9600, 8}, error), LineSetup::Applied);
    }
    void cleanup() {
        device.reset();
        pty.reset();
        SetSerialRestoreCall(nullptr);
    }

    void closingRestoresTheLineOnceTheOutputLeft_data() {
        QTest::addColumn<bool>("farSideGone");
        QTest::addColumn<QList<int>>("failures");
        QTest::addColumn<LineRestore>("outcome");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("calls");
        QTest::newRow("restored") << false << QList<int>{} << LineRestore::Restored << 0 << 1;
        QTest::newRow("interrupted twice")
            << false << QList<int>{EINTR, EINTR} << LineRestore::Restored << 0 << 3;
        QTest::newRow("refused") << false << QList<int>{EIO} << LineRestore::Failed << EIO << 1;
        QTest::newRow("far side gone") << true << QList<int>{} << LineRestore::DeviceGone << 0 << 0;
    }
    void closingRestoresTheLineOnceTheOutputLeft() {
        QFETCH(bool, farSideGone);
        QFETCH(QList<int>, failures);
        QFETCH(LineRestore, outcome);
        QFETCH(int, error);
        QFETCH(int, calls);
        restoreFailures.assign(failures.begin(), failures.end());
        restoreCalls = 0;
        SetSerialRestoreCall(ScriptedRestore);
        QCOMPARE(device->write("last line\r"), SerialStatus::Ok);
        if (farSideGone)
            pty->closeMaster();

        device.reset();
        QCOMPARE(LastLineRestore().outcome, outcome);
        QCOMPARE(LastLineRestore().error, error);
        QCOMPARE(restoreCalls, calls);
        if (!farSideGone)
            QCOMPARE(pty->receiveOnFarSide(10), std::string("last line\r"));
    }

    void readAppendsToWhatIsThere() {
        QVERIFY(pty->sendFromFarSide(std::string(100, 'n')));
        std::string bytes = "old";
        QCOMPARE(device->readWaiting(100, bytes), SerialStatus::Ok);
        QCOMPARE(bytes, "old" + std::string(100, 'n'));
    }

    void waitingReadKeepsToItsLimit() {
        QVERIFY(pty->sendFromFarSide(std::string(3000, 'w')));
        std::string bytes;
        QCOMPARE(device->readWaiting(100, bytes), SerialStatus::Ok);
        QCOMPARE(bytes.size(), std::size_t(100));
        QCOMPARE(device->readWaiting(5000, bytes), SerialStatus::Ok);
        QCOMPARE(bytes, std::string(3000, 'w'));
    }

    void vanishingIsReportedAfterTheBytesBeforeIt() {
        QVERIFY(pty->sendFromFarSide("ab"));
        std::string bytes;
        QCOMPARE(device->readWaiting(100, bytes), SerialStatus::Ok);
        QCOMPARE(bytes, std::string("ab"));
        QVERIFY(!device->vanished());
        pty->closeMaster();
        QCOMPARE(device->readWaiting(100, bytes), SerialStatus::Vanished);
        QVERIFY(device->vanished());
        QCOMPARE(bytes, std::string("ab"));
        QCOMPARE(device->write("x"), SerialStatus::Vanished);
    }
};

QTEST_APPLESS_MAIN(SerialDeviceTest)
#include "test_serial_device.moc"
