// Every way of ending the program leaves the serial port openable for the
// next start: "Beenden", the main window's close box, SIGTERM and SIGINT. The
// test re-runs itself as the program with the port open, ends it one way, and
// then looks at the device as the next start would.
#include "platform/serial_device.h"
#include "tests/support/pty_pair.h"
#include "ui_Unit1.h"
#include "windows/program_windows.h"

#include <QtTest>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/ioctl.h>

namespace {

constexpr char kChildFlag[] = "--end-program-by";

// The program as its main starts it, connected, then ended by `way`.
int RunProgramAndEnd(int argc, char** argv, const QString& way) {
    ReleaseSerialDeviceOnTerminationSignals();
    QApplication application(argc, argv);
    ProgramWindows windows;
    TForm1& form1 = windows.form1;
    TForm2& form2 = windows.form2;
    form1.show();
    form2.Button1Click();
    if (!form2.connected())
        return 3;
    std::puts("offen");
    std::fflush(stdout);
    if (way == "Beenden" || way == "Schließfeld") {
        char go[8];
        if (!std::fgets(go, sizeof go, stdin))
            return 4;
        if (way == "Beenden")
            form1.controls().Beenden1->trigger();
        else
            QTimer::singleShot(0, &form1, &QWidget::close);
    }
    // A signal from the test ends the process in here.
    return application.exec();
}

int ExclusiveFlag(int fd) {
    int exclusive = -1;
    return ioctl(fd, TIOCGEXCL, &exclusive) == 0 ? exclusive : -1;
}

} // namespace

class ExitPathsTest : public QObject {
    Q_OBJECT
private slots:
    void portIsOpenableAfterEveryEnding_data() {
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("signalNumber"); // 0: the program ends by itself
        QTest::newRow("Beenden") << "Beenden" << 0;
        QTest::newRow("close box") << "Schließfeld" << 0;
        QTest::newRow("SIGTERM") << "Signal" << int(SIGTERM);
        QTest::newRow("SIGINT") << "Signal" << int(SIGINT);
    }
    void portIsOpenableAfterEveryEnding() {
        QFETCH(QString, way);
        QFETCH(int, signalNumber);
        PtyPair pty; // the far side keeps the device open, as the simulator does
        QVERIFY(pty.ok());
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("MERLON_COM1", QString::fromStdString(pty.slavePath()));
        program.setProcessEnvironment(environment);
        program.start(QCoreApplication::applicationFilePath(), {kChildFlag, way});
        QVERIFY(program.waitForStarted());
        QVERIFY(program.waitForReadyRead(10000));
        QCOMPARE(program.readLine().trimmed(), QByteArray("offen"));
        QCOMPARE(ExclusiveFlag(pty.slave()), 1);

        if (signalNumber != 0)
            QCOMPARE(::kill(pid_t(program.processId()), signalNumber), 0);
        else
            program.write("los\n");
        QVERIFY(program.waitForFinished(10000));
        if (signalNumber != 0) {
            QCOMPARE(program.exitStatus(), QProcess::CrashExit); // ended by the signal
        } else {
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
        }

        QCOMPARE(ExclusiveFlag(pty.slave()), 0);
        int error = 0;
        QVERIFY(SerialDevice::open(pty.slavePath(), error) != nullptr);
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], kChildFlag) == 0)
        return RunProgramAndEnd(argc, argv, QString::fromUtf8(argv[2]));
    QApplication application(argc, argv);
    ExitPathsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_exit_paths.moc"
