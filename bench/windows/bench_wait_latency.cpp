// How late the window answers during the sequences' waits: "BILD"'s three
// one-second waits, and the interval tick with "ohne Reconnect" (the dial's
// one-second wait, the 30 s wait after "ATD", then "BILD"), against the
// simulated board. First with the program's window clock, then with waits
// that block the thread, as they did before, for comparison.
//
// Two probes run at once: an event posted to the window thread (what a
// click, a key or a repaint waits for), and, when an accessibility bus is
// there, a screen reader's query over it from a thread of its own (the
// application's accessible name, answered by the window thread). Each
// prints median and worst per phase; then how far each line went out from
// its place in the sequence.
//
//   xvfb-run -a dbus-run-session -- bench_wait_latency   (both probes)
//   bench_wait_latency                                   (offscreen, posted events)
#include "platform/clock.h"
#include "ui_Unit1.h"
#include "ui_Unit3.h"
#include "windows/failure_guard.h"
#include "windows/program_setup.h"
#include "windows/program_windows.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef MERLON_BENCH_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#endif

namespace {

// What the window is doing while a sample is taken.
enum Phase { kOutside, kBildWaits, kDialWait, kCallWait, kPhaseCount };
const char* const kPhaseNames[kPhaseCount] = {
    "", "BILD's three 1 s waits", "the dial's 1 s wait (AT .. ATD)", "the 30 s wait after ATD"};
std::atomic<int> currentPhase{kOutside};

QElapsedTimer sinceStart;
double NowMs() {
    return sinceStart.nsecsElapsed() / 1e6;
}

// Each sample: when the probe started, how long its answer took, and what
// the window was doing when it started.
struct Samples {
    struct Sample {
        double startMs;
        double ms;
        int phase;
    };
    std::mutex lock;
    std::vector<Sample> taken;
    void add(int phase, double startMs, double ms) {
        const std::lock_guard<std::mutex> hold(lock);
        taken.push_back({startMs, ms, phase});
    }
    void clear() {
        const std::lock_guard<std::mutex> hold(lock);
        taken.clear();
    }
};

// Events posted to the window thread from a thread of their own, as the
// window system's would come; the handler notes how long each waited.
class PostedProbe : public QObject {
public:
    static constexpr QEvent::Type kProbe = QEvent::Type(QEvent::User + 18);
    struct Probe : QEvent {
        Probe(double at, int inPhase) : QEvent(kProbe), postedAtMs(at), phase(inPhase) {}
        double postedAtMs;
        int phase;
    };

    explicit PostedProbe(Samples& samples) : samples_(samples) {
        poster_ = std::thread([this] {
            while (!stop_) {
                QCoreApplication::postEvent(this, new Probe(NowMs(), currentPhase.load()));
                // An odd period, so that the probes land at every phase of the poll.
                std::this_thread::sleep_for(std::chrono::milliseconds(7));
            }
        });
    }
    ~PostedProbe() override {
        stop_ = true;
        poster_.join();
        QCoreApplication::removePostedEvents(this);
    }

protected:
    void customEvent(QEvent* event) override {
        if (event->type() != kProbe)
            return;
        const auto* probe = static_cast<Probe*>(event);
        samples_.add(probe->phase, probe->postedAtMs, NowMs() - probe->postedAtMs);
    }

private:
    Samples& samples_;
    std::atomic<bool> stop_{false};
    std::thread poster_;
};

#ifdef MERLON_BENCH_DBUS
// A screen reader: asks the application's accessible name over the
// accessibility bus, again and again, from its own thread and connection.
class BusProbe : public QThread {
public:
    BusProbe(QString busAddress, QString service, Samples& samples)
        : address_(std::move(busAddress)), service_(std::move(service)), samples_(samples) {}
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};

protected:
    void run() override {
        QDBusConnection bus =
            QDBusConnection::connectToBus(address_, QStringLiteral("screen-reader-probe"));
        QDBusMessage ask = QDBusMessage::createMethodCall(
            service_, QStringLiteral("/org/a11y/atspi/accessible/root"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        ask << QStringLiteral("org.a11y.atspi.Accessible") << QStringLiteral("Name");
        while (!stop) {
            const int phase = currentPhase.load();
            const double askedAtMs = NowMs();
            // Longer than any wait, so that a blocked window's answer is
            // measured rather than given up.
            const QDBusMessage answer = bus.call(ask, QDBus::Block, 60000);
            if (answer.type() == QDBusMessage::ReplyMessage)
                samples_.add(phase, askedAtMs, NowMs() - askedAtMs);
            else
                ++failures;
            QThread::msleep(7);
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("screen-reader-probe"));
    }

private:
    QString address_;
    QString service_;
    Samples& samples_;
};
#endif

void PrintFigures(const char* probe, const char* what, std::vector<double> values) {
    if (values.empty())
        return;
    std::sort(values.begin(), values.end());
    std::printf("    %-14s %-33s median %8.3f ms, worst %9.3f ms (%zu samples)\n", probe, what,
                values[values.size() / 2], values.back(), values.size());
}

// Per phase, by what the window was doing when the probe started; and over
// the whole sequence, every probe whose wait overlapped it (a blocked window
// handles no probe in between).
void PrintPhases(const char* probe, Samples& samples, double fromMs, double toMs) {
    const std::lock_guard<std::mutex> hold(samples.lock);
    std::vector<double> all;
    for (int phase = kBildWaits; phase < kPhaseCount; ++phase) {
        std::vector<double> values;
        for (const Samples::Sample& sample : samples.taken)
            if (sample.phase == phase)
                values.push_back(sample.ms);
        PrintFigures(probe, kPhaseNames[phase], values);
    }
    for (const Samples::Sample& sample : samples.taken)
        if (sample.startMs < toMs && sample.startMs + sample.ms > fromMs)
            all.push_back(sample.ms);
    PrintFigures(probe, "the whole sequence", all);
}

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

// Each line sent, with when it went.
struct SentLine {
    double atMs;
    std::string text;
};

// How far each line of a sequence went from its place: the sequence's first
// line plus the waits before it.
void PrintLineTimes(const std::vector<SentLine>& lines) {
    if (lines.empty())
        return;
    double expected = lines.front().atMs;
    double worst = 0;
    std::printf("    lines:");
    for (std::size_t k = 0; k < lines.size(); ++k) {
        if (k > 0)
            expected += lines[k - 1].text.rfind("ATD", 0) == 0 ? 30000 : 1000;
        const double off = lines[k].atMs - expected;
        worst = std::max(worst, std::abs(off));
        std::printf(" %s %+.1f ms%s", lines[k].text.c_str(), off,
                    k + 1 < lines.size() ? "," : "\n");
    }
    std::printf("    worst distance of a line from its place: %.1f ms\n", worst);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Whether or not a screen reader has asked for it yet.
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    QApplication application(argc, argv);
    PrepareProgram(); // the program's clock, among the rest
    Clock& windowClock = CurrentClock();
    QTemporaryDir workDir; // live pictures land in the current directory
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
    w.form2.show();

    sinceStart.start();
    std::vector<SentLine> sent;
    QObject::connect(&w.form2.terminal(), &Terminal::lineSent, [&](const QByteArray& line) {
        sent.push_back({NowMs(), line.toStdString()});
        if (line.startsWith("AT") && !line.startsWith("ATD"))
            currentPhase = kDialWait;
        else if (line.startsWith("ATD"))
            currentPhase = kCallWait;
        else if (line.startsWith("CON"))
            currentPhase = kBildWaits;
        else
            currentPhase = kOutside; // "BILD": the sequence is over
    });

    Samples posted;
    Samples asked;
    PostedProbe postedProbe(posted);
#ifdef MERLON_BENCH_DBUS
    std::unique_ptr<BusProbe> busProbe;
    // Asking for the accessibility bus starts it; the window's bridge,
    // watching for it, then connects.
    const QDBusMessage address = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")));
    if (address.type() == QDBusMessage::ReplyMessage && !address.arguments().isEmpty() &&
        RunUntil([] { return QDBusConnection(QStringLiteral("a11y")).isConnected(); }, 5000)) {
        busProbe = std::make_unique<BusProbe>(address.arguments().first().toString(),
                                              QDBusConnection(QStringLiteral("a11y")).baseService(),
                                              asked);
        busProbe->start();
    }
    const bool overTheBus = busProbe != nullptr;
#else
    const bool overTheBus = false;
#endif
    if (!overTheBus)
        std::printf("(no accessibility bus: posted events only; run under "
                    "'xvfb-run -a dbus-run-session --' for a screen reader's queries)\n");
    std::printf("platform %s\n", qPrintable(QGuiApplication::platformName()));

    auto phase = [&](const char* title, auto action) {
        RunUntil([] { return false; }, 1500); // the previous picture, settled
        posted.clear();
        asked.clear();
        sent.clear();
        std::printf("  %s\n", title);
        const double fromMs = NowMs();
        action();
        const double toMs = NowMs();
        currentPhase = kOutside;
        RunUntil([] { return false; }, 100); // the last answers in
        PrintPhases("posted event", posted, fromMs, toMs);
        if (overTheBus)
            PrintPhases("screen reader", asked, fromMs, toMs);
        PrintLineTimes(sent);
    };
    auto intervalTick = [&] {
        w.form1.controls().CheckBox5->setChecked(true); // "ohne Reconnect": dial first
        GuardedTimerSlot(&w.form1, &TForm1::Timer2Timer)();
    };
    auto bild = [&] { w.form1.controls().Button4->click(); };

    for (const bool blocking : {false, true}) {
        SetClock(blocking ? &SystemClock() : &windowClock);
        std::printf(blocking ? "waits that block the thread (as before):\n"
                             : "waits on the window clock (the program):\n");
        phase("interval tick with \"ohne Reconnect\"", intervalTick);
        phase("\"BILD\"", bild);
    }

#ifdef MERLON_BENCH_DBUS
    if (busProbe) {
        busProbe->stop = true;
        busProbe->wait();
        if (busProbe->failures > 0)
            std::printf("(%d queries got no answer)\n", busProbe->failures.load());
    }
#endif
    w.form2.Button3Click();
    simulator.terminate();
    simulator.waitForFinished(5000);
    return 0;
}
