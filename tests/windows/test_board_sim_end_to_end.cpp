// The program against the simulated modem and board: dial, request a
// picture, and find in the received text exactly the JPEG the board saved,
// a picture the picture view shows, also when line noise NULs come along.
#include "capture/hex_capture.h"
#include "picture/picture_view.h"
#include "tests/support/fake_clock.h"
#include "tests/support/program_windows.h"
#include "tests/support/recording_message_reporter.h"
#include "ui_Unit1.h"

#include <QtTest>

namespace {

// Runs the event loop (and with it the data window's poll) until the received
// text holds the marker or the wall-clock time is up.
bool receivedTextReaches(TForm2& dataWindow, const std::string& marker, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (dataWindow.receivedText().find(marker) == std::string::npos) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

} // namespace

class BoardSimEndToEndTest : public QObject {
    Q_OBJECT
private:
    QProcess simulator_;

private slots:
    void cleanup() {
        simulator_.terminate();
        QVERIFY(simulator_.waitForFinished(5000));
        QCOMPARE(simulator_.exitStatus(), QProcess::NormalExit);
    }

    void dialledPictureArrivesAsTheBoardSavedIt_data() {
        QTest::addColumn<QStringList>("faults");
        QTest::newRow("modem chatter first") << QStringList{"--chatter"};
        // A NUL on the line is noise: dropped alone, the picture stays whole.
        QTest::newRow("NUL byte in the stream") << QStringList{"--chatter", "--nul"};
    }
    void dialledPictureArrivesAsTheBoardSavedIt() {
        QFETCH(QStringList, faults);
        QTemporaryDir saved;
        QVERIFY(saved.isValid());
        simulator_.start(BOARD_SIM_PATH,
                         QStringList{"--fast", "--dial-delay", "0", "--save", saved.path()} +
                             faults);
        QVERIFY(simulator_.waitForStarted());
        QVERIFY(simulator_.waitForReadyRead(5000));
        const QByteArray device = simulator_.readLine().trimmed();
        QVERIFY(device.startsWith("/dev/"));
        qputenv("MERLON_COM1", device);

        RecordingMessageReporter reporter;
        FakeClock clock; // the sequences' waits pass at once
        ProgramWindows w;
        // As a user does: dial, wait for the call, then ask for the picture (a
        // modem drops what comes in while it dials).
        w.form1.controls().Button3->click();
        QVERIFY(w.form2.connected());
        QVERIFY(receivedTextReaches(w.form2, "CONNECT", 10000));
        w.form1.controls().Button4->click();
        QVERIFY(receivedTextReaches(w.form2, "CAM_E", 20000));
        const std::string received = w.form2.receivedText();
        QVERIFY(received.find("CONNECT") < received.find("CAM_B")); // modem chatter first

        const DecodedCapture decoded = DecodeHexCapture(received);
        QVERIFY(decoded.endSeen);
        QFile picture(saved.filePath("picture-0001.jpg"));
        QVERIFY(picture.open(QIODevice::ReadOnly));
        QCOMPARE(QByteArray::fromStdString(decoded.bytes), picture.readAll());

        PictureView& view = *w.form1.controls().Image1;
        view.loadFile(picture.fileName().toStdString());
        view.grab();
        QCoreApplication::processEvents();
        QCOMPARE(view.decodedImage().size(), QSize(320, 240));
        QVERIFY(reporter.texts.isEmpty());
    }
};

QTEST_MAIN(BoardSimEndToEndTest)
#include "test_board_sim_end_to_end.moc"
