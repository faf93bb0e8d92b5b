// How late the window thread handles a posted event while the data window is
// connected: once on an idle line, once while the simulated board streams a
// picture at 115200 Bit/s. A late event is a late click, key or screen-reader
// query. Prints median and worst per phase.
#include "ui_Unit3.h"
#include "windows/program_windows.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Posted to a probe object; its handler notes how long it waited in the queue.
class LatencyProbe : public QObject {
public:
    static constexpr QEvent::Type kProbe = QEvent::Type(QEvent::User + 17);

    void post() {
        posted_.restart();
        QCoreApplication::postEvent(this, new QEvent(kProbe));
    }
    std::vector<double> samplesMs;

protected:
    void customEvent(QEvent* event) override {
        if (event->type() != kProbe)
            return;
        samplesMs.push_back(posted_.nsecsElapsed() / 1e6);
        // Probes come at an odd interval so they land at every phase of the poll.
        QTimer::singleShot(7, this, [this] { post(); });
    }

private:
    QElapsedTimer posted_;
};

void printFigures(const char* phase, std::vector<double> samples) {
    if (samples.empty()) {
        std::printf("  %-44s no samples\n", phase);
        return;
    }
    std::sort(samples.begin(), samples.end());
    std::printf("  %-44s median %7.3f ms, worst %8.3f ms (%zu events)\n", phase,
                samples[samples.size() / 2], samples.back(), samples.size());
}

// Runs the event loop until `done` says so or `limitMs` passed.
template <typename Done> bool runUntil(Done done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir workDir; // live pictures land in the current directory
    if (!workDir.isValid() || !QDir::setCurrent(workDir.path()))
        return 1;

    QProcess simulator;
    simulator.start(BOARD_SIM_PATH, {"--baud", "115200", "--dial-delay", "0"});
    if (!simulator.waitForStarted() || !simulator.waitForReadyRead(5000))
        return 1;
    qputenv("MERLON_COM1", simulator.readLine().trimmed());

    ProgramWindows w;
    w.form3.controls().Edit2->setText("115200");
    w.form2.show();
    w.form2.Button1Click();
    if (!w.form2.connected())
        return 1;

    LatencyProbe probe;
    std::printf("window thread's lateness for a posted event, connected:\n");
    probe.post();
    runUntil([] { return false; }, 3000);
    printFigures("idle line, 3 s", probe.samplesMs);

    // Dial, then ask for a picture once the call stands.
    w.form2.setCommandField("ATD 1234");
    w.form2.Button5Click();
    if (!runUntil([&] { return w.form2.receivedText().find("CONNECT") != std::string::npos; },
                  10000))
        return 1;
    probe.samplesMs.clear();
    QElapsedTimer streaming;
    streaming.start();
    w.form2.setCommandField("BILD");
    w.form2.Button5Click();
    // Once the live capture cycle stores the picture it empties the received
    // text: a picture file in the current directory counts as arrived too.
    const bool arrived = runUntil(
        [&] {
            return w.form2.receivedText().find("CAM_E") != std::string::npos ||
                   !QDir::current().entryList({"*.jpg"}, QDir::Files).isEmpty();
        },
        60000);
    const double seconds = streaming.elapsed() / 1000.0;
    printFigures(arrived ? "picture streaming at 115200 Bit/s" : "picture streaming (INCOMPLETE)",
                 probe.samplesMs);
    std::printf("  picture complete after %.1f s\n", seconds);

    w.form2.Button3Click();
    simulator.terminate();
    simulator.waitForFinished(5000);
    return arrived ? 0 : 1;
}
