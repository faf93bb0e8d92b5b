// "Datenverbindung aufbauen" and "BILD": the exact bytes on the line, one
// write call each, their order and their spacing in time, on a fake clock
// with the test as the far side of a pseudo-terminal.
#include "platform/serial_device.h"
#include "serial/com_port.h"
#include "tests/support/fake_clock.h"
#include "tests/support/pty_pair.h"
#include "tests/support/windows/fake_window_clock.h"
#include "tests/support/windows/recording_message_reporter.h"
#include "ui_Unit1.h"
#include "ui_Unit2.h"
#include "ui_Unit3.h"
#include "windows/failure_guard.h"
#include "windows/program_windows.h"

#include <QtTest>
#include <termios.h>
#include <unistd.h>

namespace {

// Every write call that reaches a device: the fake time it was made at and
// the bytes it carried.
struct WriteCall {
    std::uint32_t at;
    std::string bytes;
};
FakeClock* loggingClock = nullptr;
std::vector<WriteCall> writeCalls;

ssize_t loggedWrite(int fd, const void* data, std::size_t size) {
    writeCalls.push_back({loggingClock ? static_cast<std::uint32_t>(loggingClock->now) : 0u,
                          std::string(static_cast<const char*>(data), size)});
    return ::write(fd, data, size);
}

// The write calls joined into lines, each with the time its first byte went.
QStringList linesWithTimes() {
    QStringList lines;
    std::string line;
    std::uint32_t startedAt = 0;
    for (const WriteCall& call : writeCalls) {
        if (line.empty())
            startedAt = call.at;
        line += call.bytes;
        if (call.bytes == "\r") {
            lines << QString("%1 %2").arg(startedAt).arg(QString::fromLatin1(line.c_str()));
            line.clear();
        }
    }
    return lines;
}

} // namespace

class CommandSequencesTest : public QObject {
    Q_OBJECT
private:
    PtyPair* pty_ = nullptr;
    FakeClock* clock_ = nullptr;

private slots:
    void init() {
        pty_ = new PtyPair;
        QVERIFY(pty_->ok());
        qputenv("MERLON_COM1", QByteArray::fromStdString(pty_->slavePath()));
        clock_ = new FakeClock;
        loggingClock = clock_;
        writeCalls.clear();
        SetSerialWriteCall(loggedWrite);
    }
    void cleanup() {
        SetSerialWriteCall(nullptr);
        loggingClock = nullptr;
        delete clock_;
        delete pty_;
    }

    void pictureRequestSendsTheOptionsASecondApart_data() {
        QTest::addColumn<bool>("flash");
        QTest::addColumn<bool>("direct");
        QTest::addColumn<bool>("large");
        QTest::addColumn<QStringList>("lines");
        for (int mask = 0; mask < 8; ++mask) {
            const bool flash = mask & 1, direct = mask & 2, large = mask & 4;
            QTest::addRow("Blitz %d Direkt %d Groß %d", flash, direct, large)
                << flash << direct << large
                << QStringList({QString("0 %1\r").arg(flash ? "CONBE" : "CONBA"),
                                QString("1000 %1\r").arg(direct ? "CONSD" : "CONSI"),
                                QString("2000 %1\r").arg(large ? "CONRH" : "CONRL"),
                                "3000 BILD\r"});
        }
    }
    void pictureRequestSendsTheOptionsASecondApart() {
        QFETCH(bool, flash);
        QFETCH(bool, direct);
        QFETCH(bool, large);
        QFETCH(QStringList, lines);
        ProgramWindows w;
        w.form1.controls().CheckBox2->setChecked(flash);
        w.form1.controls().CheckBox3->setChecked(direct);
        w.form1.controls().CheckBox4->setChecked(large);
        w.form1.controls().Button4->click();

        QCOMPARE(linesWithTimes(), lines);
        for (const WriteCall& call : writeCalls)
            QCOMPARE(call.bytes.size(), std::size_t(1)); // one write call per byte
        QCOMPARE(clock_->waits, std::vector<std::uint32_t>({1000, 1000, 1000})); // none after BILD
        const std::string onTheLine = pty_->receiveOnFarSide(6 + 6 + 6 + 5);
        QCOMPARE(QString::fromLatin1(onTheLine.c_str()),
                 lines.join("").remove(QRegularExpression("\\d+ ")));
        QCOMPARE(w.form2.controls().Memo3->toPlainText().split(u'\n').last(),
                 QStringLiteral("BILD"));
    }

    void dataConnectionDialsTheNumberAsTyped_data() {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QByteArray>("dialled");
        QTest::newRow("as defined") << "0157" << QByteArray("ATD 0157\r");
        QTest::newRow("empty keeps the space") << "" << QByteArray("ATD \r");
        QTest::newRow("spaces and letters kept") << " 0 157-W" << QByteArray("ATD  0 157-W\r");
        QTest::newRow("8-bit letters as bytes") << "ä1"
                                                << QByteArray("ATD \xE4"
                                                              "1\r");
    }
    void dataConnectionDialsTheNumberAsTyped() {
        QFETCH(QString, number);
        QFETCH(QByteArray, dialled);
        ProgramWindows w;
        w.form1.controls().Edit1->setText(number);
        w.form1.controls().Button3->click();
        QCOMPARE(clock_->waits, std::vector<std::uint32_t>({1000})); // none after the dial
        QCOMPARE(writeCalls.front().at, 0u);
        QCOMPARE(writeCalls.back().at, 1000u);
        QCOMPARE(QByteArray::fromStdString(pty_->receiveOnFarSide(3 + dialled.size())),
                 "AT\r" + dialled);
    }

    void checkBoxesAreReadWhenTheirLineGoesOut() {
        ProgramWindows w;
        clock_->duringWait = [&](std::uint32_t now) {
            if (now == 1000) { // after "CONBA" went out, before the next line
                w.form1.controls().CheckBox2->setChecked(true);
                w.form1.controls().CheckBox3->setChecked(true);
            }
        };
        w.form1.Button4Click();
        QCOMPARE(linesWithTimes(),
                 QStringList({"0 CONBA\r", "1000 CONSD\r", "2000 CONRL\r", "3000 BILD\r"}));
    }

    // The window goes on during the waits, but a click on "Datenverbindung
    // aufbauen" and the close box that come during "BILD" act after it, as
    // they did while the window was blocked: the lines keep their order and
    // their spacing.
    void clickAndCloseDuringTheWaitsActAfterTheSequence() {
        FakeWindowClock clock;
        loggingClock = &clock;
        ProgramWindows w;
        w.form1.show();
        bool shownThroughTheWaits = true;
        clock.duringWait = [&](std::int64_t now) {
            if (now == 1000) {
                w.form1.controls().Button3->click();
                w.form1.close();
            }
            shownThroughTheWaits = shownThroughTheWaits && w.form1.isVisible();
        };
        w.form1.controls().Button4->click();
        QCOMPARE(linesWithTimes(), QStringList({"0 CONBA\r", "1000 CONSI\r", "2000 CONRL\r",
                                                "3000 BILD\r", "3000 AT\r", "4000 ATD 0157\r"}));
        QCOMPARE(clock.waits, std::vector<std::uint32_t>({1000, 1000, 1000, 1000}));
        QVERIFY(shownThroughTheWaits); // closed after the dial, the last to wait
        QVERIFY(!w.form1.isVisible());
    }

    // What arrives during "BILD"'s first wait and is held back runs after the
    // sequence only if it still applies: p the poll's tick, i the interval's
    // tick, x the close box, b a click on "Datenverbindung aufbauen"; d a click
    // on "COM schließen" and a the clearing of "alle", as the window system
    // keeps them until the event loop runs again.
    void heldActionsRunOnlyWhileTheyStillApply_data() {
        QTest::addColumn<QString>("arrivals");
        QTest::addColumn<QStringList>("linesAfterTheRequest");
        QTest::addColumn<bool>("connectedAfter");
        QTest::newRow("the poll after COM schließen") << "pd" << QStringList() << false;
        QTest::newRow("the interval's tick after alle is cleared") << "ia" << QStringList() << true;
        QTest::newRow("the interval's tick while alle is ticked")
            << "i" << QStringList({"3000 CONBA\r", "4000 CONSI\r", "5000 CONRL\r", "6000 BILD\r"})
            << true;
        QTest::newRow("a click after the close box") << "xb" << QStringList() << true;
    }
    void heldActionsRunOnlyWhileTheyStillApply() {
        QFETCH(QString, arrivals);
        QFETCH(QStringList, linesAfterTheRequest);
        RecordingMessageReporter reporter;
        FakeWindowClock clock;
        loggingClock = &clock;
        ProgramWindows w;
        w.form1.show();
        w.form1.controls().Edit3->setText("1");
        w.form1.controls().CheckBox6->setChecked(true); // "alle" 1 Minuten
        int polls = 0;
        QObject::connect(&w.form2.Timer1(), &QTimer::timeout, [&] { ++polls; });
        auto keptClick = [](QObject* target, const char* method, auto... argument) {
            QMetaObject::invokeMethod(target, method, Qt::QueuedConnection, argument...);
        };
        bool first = true;
        clock.duringWait = [&](std::int64_t) {
            if (!std::exchange(first, false))
                return;
            for (const QChar arrival : arrivals) {
                switch (arrival.unicode()) {
                case 'p': {
                    const int before = polls;
                    QTRY_VERIFY(polls > before);
                    break;
                }
                case 'i':
                    emit w.form1.captureSession().modes().intervalDue();
                    break;
                case 'x':
                    w.form1.close();
                    break;
                case 'b':
                    w.form1.controls().Button3->click();
                    break;
                case 'd':
                    keptClick(w.form1.controls().COMschlieen1, "trigger");
                    break;
                case 'a':
                    keptClick(w.form1.controls().CheckBox6, "setChecked", Q_ARG(bool, false));
                    break;
                }
            }
        };
        w.form1.controls().Button4->click();
        QStringList expected = {"0 CONBA\r", "1000 CONSI\r", "2000 CONRL\r", "3000 BILD\r"};
        QCOMPARE(linesWithTimes(), expected + linesAfterTheRequest);
        QCOMPARE(reporter.texts, QStringList());
        QTEST(w.form2.connected(), "connectedAfter");
    }

    void pictureRequestOpensTheClosedPortWithTheComSettings() {
        ProgramWindows w;
        w.form3.controls().Edit2->setText("19200");
        QVERIFY(!w.form2.connected());
        w.form1.Button4Click();
        QVERIFY(w.form2.connected());
        QVERIFY(w.form2.Timer1().isActive());
        termios applied{};
        QCOMPARE(tcgetattr(pty_->slave(), &applied), 0);
        QCOMPARE(cfgetospeed(&applied), speed_t(B19200));
        QCOMPARE(linesWithTimes().size(), 4);
    }

    void integerErrorStopsTheSequenceAtItsFirstLine_data() {
        QTest::addColumn<bool>("pictureRequest");
        QTest::newRow("BILD") << true;
        QTest::newRow("Datenverbindung aufbauen") << false;
    }
    void integerErrorStopsTheSequenceAtItsFirstLine() {
        QFETCH(bool, pictureRequest);
        RecordingMessageReporter reporter;
        ProgramWindows w;
        w.form3.controls().Edit3->setText("acht");
        (pictureRequest ? w.form1.controls().Button4 : w.form1.controls().Button3)->click();
        QCOMPARE(reporter.texts, QStringList{"'acht' ist kein gültiger Integerwert."});
        QVERIFY(writeCalls.empty());
        QVERIFY(clock_->waits.empty());
        QCOMPARE(w.form2.controls().Memo3->toPlainText(), QString());
        QVERIFY(!w.form2.connected());
    }

    void failedOpenStopsTheSequenceToo() {
        RecordingMessageReporter reporter;
        ProgramWindows w;
        qputenv("MERLON_COM2", "/gibt/es/nicht");
        w.form3.controls().Edit1->setText("2");
        w.form1.controls().Button4->click();
        QCOMPARE(reporter.texts.size(), 1);
        QVERIFY(reporter.texts.first().startsWith("COM2 (/gibt/es/nicht) kann nicht geöffnet"));
        QVERIFY(clock_->waits.empty());
        QCOMPARE(w.form2.controls().Memo3->toPlainText(), QString());
    }
};

QTEST_MAIN(CommandSequencesTest)
#include "test_command_sequences.moc"
