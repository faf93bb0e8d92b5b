// The program against the simulated modem and board: dial, request a
// picture, and find in the received text exactly the JPEG the board saved,
// a picture the picture view shows; then let the live capture store it, by
// hand and back to back.
#include "camera/terminal.h"
#include "capture/hex_capture.h"
#include "picture/picture_view.h"
#include "tests/support/fake_clock.h"
#include "tests/support/windows/recording_message_reporter.h"
#include "ui_Unit1.h"
#include "windows/program_windows.h"

#include <QtTest>

namespace {

// Runs the event loop (and with it the data window's poll) until the received
// text holds the marker or the wall-clock time is up. Each poll may block for
// its read time-out, so QTRY's step counting would overshoot by far.
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

// Runs the event loop (polls and capture ticks) until the folder holds
// `count` pictures or the wall-clock time is up; oldest first.
QStringList waitForPictures(const QString& folder, int count, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    QStringList names;
    while (clock.elapsed() < timeoutMs) {
        names = QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files,
                                       QDir::Time | QDir::Reversed);
        if (names.size() >= count)
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return names;
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The program with its pictures going to a scratch folder, the sequences'
// waits passing at once and messages recorded.
struct LiveProgram {
    RecordingMessageReporter reporter;
    FakeClock clock;
    QTemporaryDir folder;
    ProgramWindows w;
    Ui::TForm1& ui = w.form1.controls();

    LiveProgram() { ui.Edit2->setText(folder.filePath(QStringLiteral("Kamera"))); }
    // "Datenverbindung aufbauen", then wait for the call as a user does (a
    // modem drops what comes in while it dials).
    bool dial() {
        ui.Button3->click();
        return receivedTextReaches(w.form2, "CONNECT", 10000);
    }
};

} // namespace

class BoardSimEndToEndTest : public QObject {
    Q_OBJECT
private:
    // A fresh board for each test: its modem starts without a call.
    QProcess simulator_;
    std::unique_ptr<QTemporaryDir> saved_;

    QString boardPicture(int number) const {
        return saved_->filePath(QStringLiteral("picture-%1.jpg").arg(number, 4, 10, QChar(u'0')));
    }

    // Starts the board with the usual options and these; COM1 is its line.
    bool startSimulator(const QStringList& extra) {
        simulator_.start(BOARD_SIM_PATH, QStringList{"--dial-delay", "0", "--chatter", "--save",
                                                     saved_->path()} +
                                             extra);
        if (!simulator_.waitForStarted() || !simulator_.waitForReadyRead(5000))
            return false;
        const QByteArray device = simulator_.readLine().trimmed();
        qputenv("MERLON_COM1", device);
        return device.startsWith("/dev/");
    }

private slots:
    void init() {
        saved_ = std::make_unique<QTemporaryDir>();
        QVERIFY(saved_->isValid());
    }
    void cleanup() {
        if (simulator_.state() == QProcess::NotRunning)
            return;
        simulator_.terminate();
        QVERIFY(simulator_.waitForFinished(5000));
        QCOMPARE(simulator_.exitStatus(), QProcess::NormalExit);
    }

    void dialledPictureArrivesAsTheBoardSavedIt() {
        QVERIFY(startSimulator({"--fast"}));
        RecordingMessageReporter reporter;
        FakeClock clock; // the sequences' waits pass at once
        ProgramWindows w;
        // As a user does: dial, wait for the call, then ask for the picture (a
        // modem drops what comes in while it dials).
        w.form1.controls().Button3->click();
        QVERIFY(w.form2.connected());
        w.form1.Timer1().stop(); // here the test reads the received text itself
        QVERIFY(receivedTextReaches(w.form2, "CONNECT", 10000));
        w.form1.controls().Button4->click();
        QVERIFY(receivedTextReaches(w.form2, "CAM_E", 20000));
        const std::string received = w.form2.receivedText();
        QVERIFY(received.find("CONNECT") < received.find("CAM_B")); // modem chatter first

        const DecodedCapture decoded = DecodeHexCapture(received);
        QVERIFY(decoded.endSeen);
        QFile saved(boardPicture(1));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(QByteArray::fromStdString(decoded.bytes), saved.readAll());

        PictureView& view = *w.form1.controls().Image1;
        view.loadFile(saved.fileName().toStdString());
        view.grab();
        QCoreApplication::processEvents();
        QCOMPARE(view.decodedImage().size(), QSize(320, 240));
        QVERIFY(reporter.texts.isEmpty());
    }

    void livePictureIsStoredShownAndCleared_data() {
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<bool>("show");
        QTest::addColumn<bool>("stored"); // else the text waits for its end
        QTest::newRow("Bild anzeigen") << QStringList() << true << true;
        QTest::newRow("not shown") << QStringList() << false << true;
        QTest::newRow("NUL on the line") << QStringList{"--nul"} << true << true;
        QTest::newRow("cut before the end") << QStringList{"--cut-before-end"} << true << false;
    }
    void livePictureIsStoredShownAndCleared() {
        QFETCH(QStringList, faults);
        QFETCH(bool, show);
        QFETCH(bool, stored);
        QVERIFY(startSimulator(QStringList{"--fast"} + faults));
        LiveProgram program;
        auto& [reporter, clock, folder, w, ui] = program;
        ui.CheckBox1->setChecked(show);
        QVERIFY(program.dial());
        ui.Button4->click();
        const QStringList pictures = waitForPictures(folder.path(), 1, stored ? 20000 : 3000);
        QCOMPARE(pictures.size(), stored ? 1 : 0);
        ui.Image1->grab();
        QCOMPARE(ui.Image1->decodedImage().size(), show && stored ? QSize(320, 240) : QSize(32, 32));
        QVERIFY(reporter.texts.isEmpty());
        if (!stored) {
            QVERIFY(w.form2.receivedText().find("CAM_B") != std::string::npos); // nothing lost
            return;
        }
        QVERIFY(pictures.first().startsWith(QStringLiteral("Kamera_")));
        QCOMPARE(contentOf(folder.filePath(pictures.first())), contentOf(boardPicture(1)));
        QVERIFY(w.form2.receivedText().find("CAM_") == std::string::npos);
    }

    void deviceVanishingMidPictureIsReportedOnceAndKeepsTheText() {
        QVERIFY(startSimulator({"--baud", "9600"}));
        LiveProgram program;
        auto& [reporter, clock, folder, w, ui] = program;
        QVERIFY(program.dial());
        ui.Button4->click();
        QVERIFY(receivedTextReaches(w.form2, "CAM_B\r\nFF D8 ", 20000));
        simulator_.kill(); // as a pulled adapter
        QVERIFY(simulator_.waitForFinished(5000));
        QTRY_VERIFY(!w.form2.connected());
        QTest::qWait(1500); // a capture tick would run here if it still ran
        QCOMPARE(reporter.texts.size(), 1);
        QVERIFY(reporter.texts.first().startsWith(
            QStringLiteral("Die Verbindung über COM1 ist abgebrochen")));
        QVERIFY(w.form2.receivedText().find("CAM_B\r\nFF D8 ") != std::string::npos);
        QVERIFY(QDir(folder.path()).isEmpty());
        QVERIFY(!w.form1.Timer1().isActive());
    }

    void continuousModeTakesPictureAfterPicture() {
        QVERIFY(startSimulator({"--fast"}));
        LiveProgram program;
        auto& [reporter, clock, folder, w, ui] = program;
        ui.CheckBox1->setChecked(false);
        // Each request must follow a stored picture: count the requests.
        int requests = 0;
        connect(&w.form2.terminal(), &Terminal::lineSent, this, [&](const QByteArray& line) {
            if (line == "BILD")
                ++requests;
        });
        QVERIFY(program.dial());
        ui.CheckBox7->setChecked(true);
        QVERIFY(ui.CheckBox5->isChecked());
        ui.Button4->click();
        const QStringList stored = waitForPictures(folder.path(), 5, 60000);
        QVERIFY(stored.size() >= 5);
        QVERIFY(w.form2.connected());
        for (int k = 0; k < 5; ++k)
            QCOMPARE(contentOf(folder.filePath(stored[k])), contentOf(boardPicture(k + 1)));
        QCOMPARE(requests, stored.size() + 1); // the first by hand, one after each picture
        ui.CheckBox7->setChecked(false);
        QVERIFY(reporter.texts.isEmpty());
    }
};

QTEST_MAIN(BoardSimEndToEndTest)
#include "test_board_sim_end_to_end.moc"
