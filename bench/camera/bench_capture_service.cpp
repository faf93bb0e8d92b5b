// merlon-capture in continuous mode against the simulated board at full
// speed, for a given time (ten minutes unless told otherwise): how many
// pictures it stored, whether each is the board's byte for byte, its
// resident memory and open descriptors after the first picture and at the
// end (they should stay flat), and the CPU time it spent per picture.
// Prints its figures; run by hand:
//   bench_capture_service [SECONDS]
#include "platform/serial_device.h"
#include "tests/support/modem_call.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/types.h>

namespace {

struct Usage {
    long rssKiB = 0;
    int openFds = 0;
    double cpuSeconds = 0;
};

Usage UsageOf(qint64 pid) {
    Usage usage;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                usage.rssKiB = line.mid(6).trimmed().split(' ').first().toLong();
    usage.openFds = static_cast<int>(
        QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::System).size());
    // Time on the CPU in nanoseconds, finer than the clock ticks of stat.
    QFile schedstat(QStringLiteral("/proc/%1/schedstat").arg(pid));
    if (schedstat.open(QIODevice::ReadOnly))
        usage.cpuSeconds = schedstat.readAll().split(' ').first().toDouble() / 1e9;
    return usage;
}

QByteArray ContentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    if (seconds <= 0) {
        std::fprintf(stderr, "Aufruf: bench_capture_service [SEKUNDEN]\n");
        return 2;
    }
    QTemporaryDir scratch;
    const QString link = scratch.filePath(QStringLiteral("com"));
    const QString boardDir = scratch.filePath(QStringLiteral("board"));
    const QString pictures = scratch.filePath(QStringLiteral("bilder"));
    QDir().mkpath(boardDir);
    QDir().mkpath(pictures);

    QProcess board;
    board.start(QStringLiteral(BOARD_SIM_PATH),
                {"--fast", "--dial-delay", "0", "--save", boardDir, "--link", link});
    if (!board.waitForStarted() || !board.waitForReadyRead(5000) ||
        !PlaceModemCall(link.toStdString())) {
        std::fprintf(stderr, "the simulated board did not answer\n");
        return 1;
    }

    QProcess capture;
    capture.start(QStringLiteral(CAPTURE_TOOL_PATH),
                  {"--port", link, "--name", pictures + "/Bench", "--fortlaufend"});
    if (!capture.waitForStarted()) {
        std::fprintf(stderr, "merlon-capture did not start\n");
        return 1;
    }
    const qint64 pid = capture.processId();
    QByteArray out;
    auto storedCount = [&] {
        out += capture.readAllStandardOutput();
        return out.count('\n');
    };

    QElapsedTimer clock;
    clock.start();
    while (storedCount() < 1 && clock.elapsed() < 60000)
        capture.waitForReadyRead(200);
    const Usage first = UsageOf(pid);
    const qint64 firstAtMs = clock.elapsed();
    const int firstCount = static_cast<int>(storedCount());
    std::printf("after the first picture (%.1f s): RSS %ld KiB, %d open descriptors\n",
                firstAtMs / 1000.0, first.rssKiB, first.openFds);
    std::fflush(stdout);

    while (clock.elapsed() < seconds * 1000LL)
        capture.waitForReadyRead(500);
    const Usage last = UsageOf(pid);
    const int lastCount = static_cast<int>(storedCount());
    const qint64 lastAtMs = clock.elapsed();
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    capture.waitForFinished(10000);
    storedCount();
    const QByteArray errors = capture.readAllStandardError();
    board.terminate();
    board.waitForFinished(5000);

    const QList<QByteArray> lines = out.split('\n');
    int identical = 0;
    int stored = 0;
    for (const QByteArray& line : lines) {
        if (line.isEmpty())
            continue;
        ++stored;
        const QString file = QString::fromLocal8Bit(line.left(line.indexOf(": ")));
        const QString original =
            boardDir + QStringLiteral("/picture-%1.jpg").arg(stored, 4, 10, QChar(u'0'));
        if (ContentOf(file) == ContentOf(original) && !ContentOf(file).isEmpty())
            ++identical;
    }
    const int between = lastCount - firstCount;
    std::printf("at the end (%.1f s): RSS %ld KiB, %d open descriptors\n", lastAtMs / 1000.0,
                last.rssKiB, last.openFds);
    std::printf("pictures stored: %d in %d s, byte-identical to the board's: %d\n", stored, seconds,
                identical);
    if (between > 0)
        std::printf("per picture after the first: %.2f s wall clock, %.2f ms CPU\n",
                    (lastAtMs - firstAtMs) / 1000.0 / between,
                    (last.cpuSeconds - first.cpuSeconds) * 1000.0 / between);
    std::printf("CPU time in all: %.2f s; exit code after SIGTERM: %d\n", last.cpuSeconds,
                capture.exitStatus() == QProcess::NormalExit ? capture.exitCode() : -1);
    if (!errors.isEmpty())
        std::printf("its error output:\n%s", errors.constData());
    return identical == stored && stored > 0 ? 0 : 1;
}
