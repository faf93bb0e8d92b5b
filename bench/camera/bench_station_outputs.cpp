// What the station's outputs cost: two merlon-capture runs side by side, each
// back to back against a simulated board of its own at full speed, one with
// --neuestes, --danach (a command that sleeps 2 s), --metriken and
// --protokoll, one
// without, for a given time (ten minutes unless told otherwise). Side by
// side, so that whatever else loads the machine loads both alike. Prints
// pictures per minute after each run's first picture, the difference, and
// resident memory and open descriptors sampled every minute (they should
// stay flat); checks that the outputs were really made.
//   bench_station_outputs [SECONDS]
#include "bench/camera/process_usage.h"
#include "tests/support/modem_call.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/types.h>
#include <vector>

namespace {

QByteArray ContentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The value of one series in the metrics text, or -1.
double Sample(const QByteArray& text, const QByteArray& prefix) {
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith(prefix))
            return line.mid(line.lastIndexOf(' ') + 1).toDouble();
    return -1;
}

// One simulated board and one merlon-capture on it, in a folder of its own.
struct Station {
    QString name;
    QString folder;
    QString link;
    QProcess board;
    QProcess capture;
    QByteArray out;
    qint64 firstAtMs = -1;
    int firstCount = 0;
    qint64 lastAtMs = -1; // when the newest line came
    int lastCount = 0;
    std::vector<ProcessUsage> samples; // from the first picture on, every minute

    Station(const QString& label, const QString& scratch) : name(label) {
        folder = scratch + u'/' + label;
        link = folder + QStringLiteral("/com");
        QDir().mkpath(folder + QStringLiteral("/bilder"));
    }
    ~Station() {
        for (QProcess* process : {&capture, &board}) {
            process->terminate();
            process->waitForFinished(10000);
        }
    }
    bool start(const QStringList& outputs) {
        board.start(QStringLiteral(BOARD_SIM_PATH),
                    {"--fast", "--dial-delay", "0", "--save", folder + "/board", "--link", link});
        if (!board.waitForStarted() || !board.waitForReadyRead(5000) ||
            !PlaceModemCall(link.toStdString()))
            return false;
        capture.start(
            QStringLiteral(CAPTURE_TOOL_PATH),
            QStringList{"--port", link, "--name", folder + "/bilder/Bench", "--fortlaufend"} +
                outputs);
        return capture.waitForStarted();
    }
    int stored() {
        out += capture.readAllStandardOutput();
        return static_cast<int>(out.count('\n'));
    }
    qint64 pid() const { return capture.processId(); }
    void look(qint64 nowMs) {
        const int count = stored();
        if (count > lastCount) {
            lastCount = count;
            lastAtMs = nowMs;
        }
    }
    // From the first picture to the last one seen, so that a picture under
    // way at the end does not count as a fraction lost.
    double perMinute() const {
        const qint64 span = lastAtMs - firstAtMs;
        return span > 0 ? (lastCount - firstCount) * 60000.0 / static_cast<double>(span) : 0;
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    if (seconds <= 0) {
        std::fprintf(stderr, "Aufruf: bench_station_outputs [SEKUNDEN]\n");
        return 2;
    }
    QTemporaryDir scratch;
    const QString hook = scratch.filePath(QStringLiteral("danach.sh"));
    {
        QFile script(hook);
        if (!script.open(QIODevice::WriteOnly) || script.write("sleep 2\n") < 0)
            return 1;
    }
    Station plain(QStringLiteral("ohne"), scratch.path());
    Station outputs(QStringLiteral("mit"), scratch.path());
    const QString newest = outputs.folder + QStringLiteral("/neuestes.jpg");
    const QString metrics = outputs.folder + QStringLiteral("/merlon.prom");
    const QString journal = outputs.folder + QStringLiteral("/protokoll.jsonl");
    if (!plain.start({}) || !outputs.start({"--neuestes", newest, "--danach", "sh '" + hook + "'",
                                            "--metriken", metrics, "--protokoll", journal})) {
        std::fprintf(stderr, "a simulated board or merlon-capture did not start\n");
        return 1;
    }

    QElapsedTimer clock;
    clock.start();
    Station* stations[] = {&plain, &outputs};
    qint64 nextSampleMs = 0;
    while (clock.elapsed() < seconds * 1000LL + 60000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
        plain.capture.waitForReadyRead(100);
        for (Station* station : stations)
            station->look(clock.elapsed());
        for (Station* station : stations)
            if (station->firstAtMs < 0 && station->stored() > 0) {
                station->firstAtMs = clock.elapsed();
                station->firstCount = station->stored();
                station->samples.push_back(UsageOf(station->pid()));
            }
        if (plain.firstAtMs >= 0 && outputs.firstAtMs >= 0) {
            if (nextSampleMs == 0)
                nextSampleMs = clock.elapsed() + 60000;
            if (clock.elapsed() >= nextSampleMs) {
                for (Station* station : stations)
                    station->samples.push_back(UsageOf(station->pid()));
                nextSampleMs += 60000;
            }
            // The measured span starts at the later first picture.
            if (clock.elapsed() - std::max(plain.firstAtMs, outputs.firstAtMs) >= seconds * 1000LL)
                break;
        }
    }
    for (Station* station : stations) {
        station->samples.push_back(UsageOf(station->pid()));
        station->look(clock.elapsed());
    }
    const double plainRate = plain.perMinute();
    const double outputsRate = outputs.perMinute();
    for (Station* station : stations) {
        ::kill(static_cast<pid_t>(station->pid()), SIGTERM);
        station->capture.waitForFinished(15000);
        station->stored();
    }

    std::printf("%d s side by side, full speed (--fast), --fortlaufend\n", seconds);
    for (Station* station : stations) {
        const ProcessUsage& first = station->samples.front();
        const ProcessUsage& last = station->samples.back();
        long highest = 0;
        int mostFds = 0;
        for (const ProcessUsage& usage : station->samples) {
            highest = std::max(highest, usage.rssKiB);
            mostFds = std::max(mostFds, usage.openFds);
        }
        std::printf("%-4s outputs: %d pictures, %.2f per minute after the first; RSS %ld -> %ld "
                    "KiB (most %ld), descriptors %d -> %d (most %d), %zu samples\n",
                    station->name.toUtf8().constData(), station->stored(),
                    station == &plain ? plainRate : outputsRate, first.rssKiB, last.rssKiB, highest,
                    first.openFds, last.openFds, mostFds, station->samples.size());
    }
    const double cost = plainRate > 0 ? (plainRate - outputsRate) / plainRate * 100 : 0;
    std::printf("the outputs cost %.2f %% of the pictures per minute (at most 2 %% allowed)\n",
                cost);

    // The outputs were made: the newest copy is the last picture, the
    // metrics count every picture, the command ran.
    const QList<QByteArray> lines = outputs.out.split('\n');
    QByteArray lastLine;
    for (const QByteArray& line : lines)
        if (!line.isEmpty())
            lastLine = line;
    const QString lastPicture = QString::fromLocal8Bit(lastLine.left(lastLine.indexOf(": ")));
    const bool newestIsLast = !lastLine.isEmpty() && ContentOf(newest) == ContentOf(lastPicture);
    const QByteArray text = ContentOf(metrics);
    const double sound = Sample(text, "merlon_capture_pictures_total{port=\"" +
                                          outputs.link.toUtf8() + "\",verdict=\"sound\"}");
    const double hookOk = Sample(text, "merlon_capture_hook_runs_total{port=\"" +
                                           outputs.link.toUtf8() + "\",outcome=\"ok\"}");
    const double hookSkipped = Sample(text, "merlon_capture_hook_runs_total{port=\"" +
                                                outputs.link.toUtf8() + "\",outcome=\"skipped\"}");
    const qsizetype journalLines = ContentOf(journal).count('\n');
    std::printf("newest copy is the last picture: %s; metrics: %.0f sound pictures, hook runs "
                "ok %.0f, skipped %.0f; journal: %lld lines\n",
                newestIsLast ? "yes" : "no", sound, hookOk, hookSkipped,
                static_cast<long long>(journalLines));
    const QByteArray errors =
        plain.capture.readAllStandardError() + outputs.capture.readAllStandardError();
    if (!errors.isEmpty())
        std::printf("error output:\n%s", errors.constData());
    return newestIsLast && sound == outputs.stored() && journalLines >= outputs.stored() &&
                   cost <= 2.0
               ? 0
               : 1;
}
