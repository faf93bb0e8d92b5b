// The data window and the COM window against a pseudo-terminal, with the test
// as the far side: connect, send, poll, disconnect and the menu items that
// reach them.
#include "serial/com_port.h"
#include "tests/support/pty_pair.h"
#include "tests/support/windows/recording_message_reporter.h"
#include "ui_Unit1.h"
#include "ui_Unit2.h"
#include "ui_Unit3.h"
#include "windows/Unit1.h"
#include "windows/Unit2.h"
#include "windows/Unit3.h"
#include "windows/failure_guard.h"
#include "windows/program_windows.h"

#include <QTextBlock>
#include <QtTest>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// The widget that Tab moves to from this one.
QWidget* nextTabStop(QWidget* widget) {
    QWidget* next = widget->nextInFocusChain();
    while (next != widget && !(next->focusPolicy() & Qt::TabFocus))
        next = next->nextInFocusChain();
    return next;
}

} // namespace

class DataWindowTest : public QObject {
    Q_OBJECT
private:
    PtyPair* pty_ = nullptr;

private slots:
    void init() {
        pty_ = new PtyPair;
        QVERIFY(pty_->ok());
        qputenv("MERLON_COM1", QByteArray::fromStdString(pty_->slavePath()));
        qputenv("MERLON_COM5", "/gibt/es/nicht");
    }
    void cleanup() {
        delete pty_;
        pty_ = nullptr;
    }

    void windowsStartAsDefined() {
        ProgramWindows w;
        w.form1.show();
        QVERIFY(!w.form2.isVisible());
        QVERIFY(!w.form3.isVisible());
        QCOMPARE(w.form2.windowTitle(), QStringLiteral("Datenfenster"));
        QCOMPARE(w.form2.size(), QSize(465, 603));
        QVERIFY(w.form2.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(w.form2.controls().Memo3->geometry(), QRect(8, 24, 177, 569));
        QCOMPARE(w.form2.controls().Memo1->geometry(), QRect(208, 24, 249, 569));
        QCOMPARE(w.form2.controls().Label3->text(), QStringLiteral("Gesendete Daten"));
        QCOMPARE(w.form2.controls().Label1->text(), QStringLiteral("Empfangene Daten"));
        QCOMPARE(w.form3.windowTitle(), QStringLiteral("COM"));
        QCOMPARE(w.form3.size(), QSize(115, 198));
        QVERIFY(w.form3.windowFlags() & Qt::WindowStaysOnTopHint);
        const ComPortFields fields = w.form3.fields();
        QCOMPARE(fields.port, std::string("1"));
        QCOMPARE(fields.speed, std::string("9600"));
        QCOMPARE(fields.dataBits, std::string("8"));
        Ui::TForm3& com = w.form3.controls();
        QCOMPARE(nextTabStop(com.Edit1), com.Edit2);
        QCOMPARE(nextTabStop(com.Edit2), com.Button1);
        QCOMPARE(nextTabStop(com.Button1), com.Edit3);
        QVERIFY(!w.form2.connected());
        QVERIFY(!w.form2.Timer1().isActive());
        QCOMPARE(w.form2.Timer1().interval(), 20);
    }

    void menuShowsAndHidesTheWindows() {
        ProgramWindows w;
        w.form1.show();
        w.form1.controls().Listenansicht1->trigger();
        QVERIFY(w.form2.isVisible());
        w.form2.close(); // the close box only hides
        QVERIFY(!w.form2.isVisible());
        w.form1.controls().COM1->trigger();
        QVERIFY(w.form3.isVisible());
        w.form3.controls().Button1->click();
        QVERIFY(!w.form3.isVisible());
        w.form2.Button1Click();
        w.form1.controls().COM1->trigger(); // while connected: nothing, silently
        QVERIFY(!w.form3.isVisible());
        w.form1.controls().COMschlieen1->trigger();
        QVERIFY(!w.form2.connected());
        QVERIFY(!w.form1.Timer1().isActive());
    }

    void sendWhileNotConnectedDropsTheLine() {
        ProgramWindows w;
        w.form2.setCommandField("BILD");
        w.form2.Button5Click();
        QCOMPARE(w.form2.controls().Memo3->toPlainText(), QString());
        QCOMPARE(pty_->receiveOnFarSide(1, 100), std::string());
    }

    void connectOpensOnceAndSendWrites() {
        ProgramWindows w;
        w.form1.Timer1().stop();
        w.form2.Button1Click();
        QVERIFY(w.form2.connected());
        QVERIFY(w.form2.Timer1().isActive());
        QVERIFY(w.form1.Timer1().isActive());
        const SerialDevice* opened = ComHandle.device.get();
        w.form2.Button1Click(); // a no-op: not reopened
        QCOMPARE(ComHandle.device.get(), opened);

        w.form2.setCommandField("CONBA");
        w.form2.Button5Click();
        w.form2.setCommandField("BILD");
        w.form2.Button5Click();
        QCOMPARE(pty_->receiveOnFarSide(11), std::string("CONBA\rBILD\r"));
        QCOMPARE(w.form2.controls().Memo3->toPlainText(), QStringLiteral("CONBA\nBILD"));

        // Days of pictures keep the newest thousand lines, not all of them.
        for (int line = 0; line < 1000; ++line)
            emit w.form2.terminal().lineSent(QByteArray::number(line));
        QPlainTextEdit& sent = *w.form2.controls().Memo3;
        QCOMPARE(sent.blockCount(), 1000);
        QCOMPARE(sent.document()->firstBlock().text(), QStringLiteral("0"));
        QCOMPARE(sent.document()->lastBlock().text(), QStringLiteral("999"));

        w.form2.Button3Click();
        QVERIFY(!w.form2.connected());
        QVERIFY(!w.form2.Timer1().isActive());
        QVERIFY(!w.form1.Timer1().isActive());
        QVERIFY(!ComHandle.isOpen());
    }

    void disconnectWhileNotConnectedKeepsTheCaptureTick() {
        ProgramWindows w;
        QVERIFY(w.form1.Timer1().isActive());
        w.form2.Button3Click();
        QVERIFY(w.form1.Timer1().isActive());
    }

    void failedConnectIsLeftHalfDone_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("message");
        QTest::newRow("no integer") << "x"
                                    << "'x' ist kein gültiger Integerwert.";
        QTest::newRow("empty") << ""
                               << "'' ist kein gültiger Integerwert.";
        QTest::newRow("umlaut") << "fünf"
                                << "'fünf' ist kein gültiger Integerwert.";
        QTest::newRow("device missing") << "5"
                                        << "COM5 (/gibt/es/nicht) kann nicht geöffnet werden";
    }
    void failedConnectIsLeftHalfDone() {
        QFETCH(QString, port);
        QFETCH(QString, message);
        RecordingMessageReporter reporter;
        ProgramWindows w;
        w.form1.Timer1().stop();
        w.form3.controls().Edit1->setText(port);
        Guarded([&] { w.form2.Button1Click(); });
        QCOMPARE(reporter.texts.size(), 1);
        QVERIFY2(reporter.texts.first().startsWith(message), qPrintable(reporter.texts.first()));
        QVERIFY(!w.form2.connected());
        QVERIFY(!w.form2.Timer1().isActive());
        QVERIFY(w.form1.Timer1().isActive()); // switched on before the opening failed
        w.form2.setCommandField("AT");
        w.form2.Button5Click();
        QCOMPARE(w.form2.controls().Memo3->toPlainText(), QString());
    }

    // Another program holds the port: the user reads why, the text received
    // before stays, and once the port is free connecting works again.
    void portHeldByAnotherProgram() {
        RecordingMessageReporter reporter;
        ProgramWindows w;
        w.form1.Timer1().stop();
        w.form2.Button1Click();
        QVERIFY(pty_->sendFromFarSide("OK\r\n"));
        QTRY_COMPARE(w.form2.receivedText(), std::string("OK\r\n"));
        w.form2.Button3Click();

        const int other = ::open(pty_->slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), 0);
        Guarded([&] { w.form2.Button1Click(); });
        ::close(other);
        QCOMPARE(reporter.texts,
                 QStringList{QString::fromStdString("COM1 (" + pty_->slavePath() +
                                                    ") kann nicht geöffnet werden: Das Gerät "
                                                    "oder die Ressource ist belegt.")});
        QVERIFY(!w.form2.connected());
        QCOMPARE(w.form2.receivedText(), std::string("OK\r\n"));

        w.form2.Button1Click();
        QVERIFY(w.form2.connected());
        w.form2.setCommandField("AT");
        w.form2.Button5Click();
        QCOMPARE(pty_->receiveOnFarSide(3), std::string("AT\r"));
    }

    void pollAppendsWhatCame_data() {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QByteArray>("received");
        QTest::newRow("two chunks")
            << QByteArray("OK\r\n") << QByteArray("CAM_B\r\n") << QByteArray("OK\r\nCAM_B\r\n");
        QTest::newRow("nothing appends nothing")
            << QByteArray("AT") << QByteArray() << QByteArray("AT");
        QTest::newRow("a NUL is dropped alone")
            << QByteArray("ab\0cd", 5) << QByteArray("e\0\0f", 4) << QByteArray("abcdef");
        QTest::newRow("more than one read takes") << QByteArray(100, 'A') << QByteArray(29, 'B')
                                                  << QByteArray(100, 'A') + QByteArray(29, 'B');
    }
    void pollAppendsWhatCame() {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(QByteArray, received);
        ProgramWindows w;
        w.form2.Button1Click();
        w.form2.Timer1().stop(); // polls are driven by hand here
        for (const QByteArray& chunk : {first, second}) {
            QVERIFY(pty_->sendFromFarSide(chunk.toStdString()));
            QVERIFY(pty_->waitUntilPending(std::size_t(chunk.size())));
            w.form2.Timer1Timer();
        }
        QCOMPARE(QByteArray::fromStdString(w.form2.receivedText()), received);
    }

    void vanishedDeviceIsReportedOnceAndClosed() {
        RecordingMessageReporter reporter;
        ProgramWindows w;
        w.form2.Button1Click(); // the poll runs on its timer from here
        QVERIFY(pty_->sendFromFarSide("CAM_B\r\nFF D8 "));
        QTRY_COMPARE(w.form2.receivedText(), std::string("CAM_B\r\nFF D8 "));
        pty_->closeMaster();
        QTRY_COMPARE_WITH_TIMEOUT(reporter.texts.size(), 1, 1000); // no waiting out time-outs
        QTest::qWait(200); // ten more polls' time: no second report comes
        QCOMPARE(reporter.texts.size(), 1);
        QVERIFY2(reporter.texts.first().contains("COM1"), qPrintable(reporter.texts.first()));
        QVERIFY(!w.form2.connected());
        QVERIFY(!w.form2.Timer1().isActive());
        QVERIFY(!ComHandle.isOpen());
        QCOMPARE(w.form2.receivedText(), std::string("CAM_B\r\nFF D8 "));
    }
};

QTEST_MAIN(DataWindowTest)
#include "test_data_window.moc"
