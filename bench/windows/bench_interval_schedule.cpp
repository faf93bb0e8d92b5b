// How well interval mode keeps its schedule on the real clock: "alle" with
// 1 minute, as the program runs it (the window clock, the data window
// connected to the simulated board, the capture tick and the poll going),
// for ten intervals. For each picture: how far its first request line went
// from the start plus n minutes. Takes ten minutes; a
// count of intervals as the first argument runs fewer.
#include "platform/clock.h"
#include "ui_Unit1.h"
#include "ui_Unit3.h"
#include "windows/program_setup.h"
#include "windows/program_windows.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::int64_t kIntervalMs = 60000;

// Runs the event loop, asleep between checks, until `done` says so or
// `limitMs` passed.
template <typename Done> bool RunUntil(Done done, std::int64_t limitMs) {
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > limitMs)
            loop.quit();
    });
    check.start(10);
    if (!done())
        loop.exec();
    return done();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    PrepareProgram();
    QTemporaryDir workDir;
    if (!workDir.isValid() || !QDir::setCurrent(workDir.path()))
        return 1;

    QProcess simulator;
    simulator.start(BOARD_SIM_PATH, {"--baud", "115200", "--dial-delay", "0"});
    if (!simulator.waitForStarted() || !simulator.waitForReadyRead(5000))
        return 1;
    qputenv("MERLON_COM1", simulator.readLine().trimmed());

    ProgramWindows w;
    w.form3.controls().Edit2->setText(QStringLiteral("115200"));
    w.form1.show();
    w.form2.Button1Click(); // connected: the poll and the capture tick run throughout
    if (!w.form2.connected())
        return 1;

    Clock& clock = CurrentClock();
    std::vector<std::int64_t> requests;
    QObject::connect(&w.form2.terminal(), &Terminal::lineSent, [&](const QByteArray& line) {
        if (line.startsWith("CONB")) // the first line of each picture request
            requests.push_back(clock.nowMs());
    });

    w.form1.controls().Edit3->setText(QStringLiteral("1"));
    const std::int64_t start = clock.nowMs();
    w.form1.controls().CheckBox6->setChecked(true);
    std::printf("interval mode, 1 minute, %d intervals on the real clock:\n", count);
    std::fflush(stdout);
    const bool done =
        RunUntil([&] { return int(requests.size()) >= count; }, (count + 1) * kIntervalMs);

    double worst = 0;
    for (std::size_t n = 0; n < requests.size(); ++n) {
        const std::int64_t due = start + std::int64_t(n + 1) * kIntervalMs;
        const auto off = double(requests[n] - due);
        worst = std::max(worst, std::abs(off));
        std::printf("  picture %2zu: due at +%3lld s, first line %+5.0f ms\n", n + 1,
                    static_cast<long long>((due - start) / 1000), off);
    }
    std::printf("  worst distance from the schedule: %.0f ms%s\n", worst,
                done ? "" : " (INCOMPLETE)");
    w.form1.controls().CheckBox6->setChecked(false);
    w.form2.Button3Click();
    simulator.terminate();
    simulator.waitForFinished(5000);
    return done ? 0 : 1;
}
