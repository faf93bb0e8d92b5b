// The serial device itself: reads of what is waiting keep to their limit and
// append, and a device that vanished says so after the bytes it delivered.
#include "platform/serial_device.h"
#include "tests/support/pty_pair.h"

#include <QtTest>

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
