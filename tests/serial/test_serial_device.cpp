// The serial device itself: the read time-outs behave like a COM port's,
// the interval only counting once bytes flow, and reads of what is waiting
// keep to their limit.
#include "platform/serial_device.h"
#include "tests/support/pty_pair.h"

#include <QElapsedTimer>
#include <QtTest>

#include <thread>

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
        // Total time-out 10 ms × 100 + 100 ms = 1100 ms, interval 300 ms.
        device->setReadTimeouts(SerialReadTimeouts{300, 10, 100});
    }
    void cleanup() {
        device.reset();
        pty.reset();
    }

    void intervalEndsReadAfterLastByte() {
        QVERIFY(pty->sendFromFarSide("x"));
        std::string bytes;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(device->read(100, bytes), SerialStatus::Ok);
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(bytes, std::string("x"));
        QVERIFY2(elapsed >= 295 && elapsed < 600, qPrintable(QString::number(elapsed)));
    }

    void intervalWaitsForTheFirstByte() {
        std::string bytes;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(device->read(100, bytes), SerialStatus::Ok);
        const qint64 elapsed = timer.elapsed();
        QVERIFY(bytes.empty());
        QVERIFY2(elapsed >= 1095 && elapsed < 1400, qPrintable(QString::number(elapsed)));
    }

    // Bytes 150 ms apart never trip the 300 ms interval; the total ends it.
    void totalEndsAReadThatKeepsTrickling() {
        std::thread farSide([this] {
            for (int i = 0; i < 10; ++i) {
                pty->sendFromFarSide("t");
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
            }
        });
        std::string bytes;
        QElapsedTimer timer;
        timer.start();
        const SerialStatus status = device->read(100, bytes);
        const qint64 elapsed = timer.elapsed();
        farSide.join();
        QCOMPARE(status, SerialStatus::Ok);
        QVERIFY2(elapsed >= 1095 && elapsed < 1400, qPrintable(QString::number(elapsed)));
        QVERIFY2(bytes.size() >= 6 && bytes.size() <= 9, bytes.c_str());
        QCOMPARE(bytes, std::string(bytes.size(), 't'));
    }

    void readAppendsToWhatIsThere() {
        QVERIFY(pty->sendFromFarSide(std::string(100, 'n')));
        std::string bytes = "old";
        QCOMPARE(device->read(100, bytes), SerialStatus::Ok);
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

    void bytesReadBeforeVanishingAreKept() {
        QVERIFY(pty->sendFromFarSide("ab"));
        std::thread farSide([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            pty->closeMaster();
        });
        std::string bytes;
        const SerialStatus first = device->read(100, bytes);
        farSide.join();
        QCOMPARE(first, SerialStatus::Ok);
        QCOMPARE(bytes, std::string("ab"));
        QVERIFY(device->vanished());
        QCOMPARE(device->read(100, bytes), SerialStatus::Vanished);
        QCOMPARE(device->write("x"), SerialStatus::Vanished);
    }
};

QTEST_APPLESS_MAIN(SerialDeviceTest)
#include "test_serial_device.moc"
