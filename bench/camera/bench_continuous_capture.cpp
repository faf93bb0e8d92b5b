// Continuous mode against the simulated board sending as fast as it can:
// every stored file compared with what the board saved, pictures per minute
// against the limit the request's three one-second waits and the capture
// tick set, the window thread's busiest second (CPU time), and resident
// memory after 10 and after all pictures. As a soak, for M minutes, it also
// samples resident memory and open descriptors every minute.
// Usage: bench_continuous_capture [N]  |  bench_continuous_capture --minutes M
#include "camera/capture_session.h"
#include "ui_Unit1.h"
#include "windows/Unit1.h"
#include "windows/Unit2.h"
#include "windows/Unit3.h"
#include "windows/message_reporter.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <string>
#include <unistd.h>

namespace {

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

long residentKiB() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

int openDescriptors() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files).size());
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs the event loop for a while, asleep in it while nothing happens: a loop
// of processEvents() would spin and count as the window thread's work.
void RunEventsFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

struct PrintingReporter : MessageReporter {
    void showStop(const QString&, const QString& text, std::function<void()> whenClosed) override {
        std::fprintf(stderr, "Meldung: %s\n", qPrintable(text));
        whenClosed();
    }
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const bool soak = argc > 2 && std::string(argv[1]) == "--minutes";
    const int soakMinutes = soak ? std::atoi(argv[2]) : 0;
    const int wanted = soak ? 1000000 : argc > 1 ? std::atoi(argv[1]) : 100;
    PrintingReporter reporter;
    SetMessageReporter(&reporter);

    QTemporaryDir boardSaved, stored;
    QProcess sim;
    sim.start(QStringLiteral(BOARD_SIM_PATH),
              {"--fast", "--dial-delay", "0", "--save", boardSaved.path()});
    if (!sim.waitForStarted() || !sim.waitForReadyRead(5000))
        return 1;
    qputenv("MERLON_COM1", sim.readLine().trimmed());

    TForm1 form1;
    TForm2 form2;
    TForm3 form3;
    form1.setCompanionWindows(&form2, &form3);
    Ui::TForm1& ui = form1.controls();
    ui.Edit2->setText(stored.filePath(QStringLiteral("Kamera")));

    int pictures = 0;
    long residentAfter10 = 0;
    QObject::connect(&form1.captureSession(), &CaptureSession::pictureStored, [&] {
        if (++pictures == 10)
            residentAfter10 = residentKiB();
    });
    // The thread's CPU time in each wall-clock second.
    double busiest = 0, lastCpu = threadCpuSeconds();
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const double now = threadCpuSeconds();
        busiest = std::max(busiest, now - lastCpu);
        lastCpu = now;
    });
    sampler.start(1000);
    int minute = 0;
    QTimer everyMinute;
    QObject::connect(&everyMinute, &QTimer::timeout, [&] {
        std::printf("minute %3d: %5d pictures, %ld KiB resident, %d descriptors\n", ++minute,
                    pictures, residentKiB(), openDescriptors());
        std::fflush(stdout);
    });
    if (soak)
        everyMinute.start(60000);

    ui.Button3->click();
    QElapsedTimer wait;
    wait.start();
    while (form2.receivedText().find("CONNECT") == std::string::npos && wait.elapsed() < 10000)
        RunEventsFor(50);
    ui.CheckBox7->setChecked(true);
    QElapsedTimer clock;
    clock.start();
    ui.Button4->click();
    const qint64 limitMs = soak ? soakMinutes * 60000LL : wanted * 20000LL;
    while (pictures < wanted && clock.elapsed() < limitMs)
        RunEventsFor(200);
    const double minutes = static_cast<double>(clock.elapsed()) / 60000.0;
    ui.CheckBox7->setChecked(false);
    form2.Button3Click();

    const QStringList names =
        QDir(stored.path()).entryList(QDir::Files, QDir::Time | QDir::Reversed);
    int identical = 0;
    for (int k = 0; k < names.size(); ++k)
        identical += contentOf(stored.filePath(names[k])) ==
                     contentOf(boardSaved.filePath(
                         QStringLiteral("picture-%1.jpg").arg(k + 1, 4, 10, QChar(u'0'))));
    // Each picture costs the request's three 1 s waits and up to one tick
    // until the decode sees its end marker.
    std::printf("pictures stored: %d, byte-identical: %d\n", pictures, identical);
    std::printf("pictures per minute: %.1f (limit 15-20 from 3 s of waits + up to 1 s tick)\n",
                pictures / minutes);
    std::printf("window thread, busiest second: %.1f ms CPU\n", busiest * 1000.0);
    std::printf("resident memory: %ld KiB after 10, %ld KiB after %d\n", residentAfter10,
                residentKiB(), pictures);
    sim.terminate();
    sim.waitForFinished(5000);
    return identical == pictures ? 0 : 1;
}
