// merlon-capture in continuous mode against the simulated board at full
// speed, for a given time (ten minutes unless told otherwise): how many
// pictures it stored, whether each is the board's byte for byte, its
// resident memory and open descriptors after the first picture and at the
// end (they should stay flat), and the CPU time it spent per picture.
//
// With --faults SEED the board spoils dials and pictures with its seeded mix
// of every fault it knows, and the run dials (--anwahl): the figures then
// say how many pictures the board sent, how many went out whole, how many
// the station stored as sound and kept aside as damaged, whether every
// whole picture was stored exactly once and byte for byte, and whether any
// picture stored as sound differs from the board's (a changed digit that
// still decodes is the one fault that can pass, and is counted apart).
// Prints its figures; run by hand:
//   bench_capture_service [SECONDS] [--faults SEED]
#include "bench/camera/process_usage.h"
#include "platform/serial_device.h"
#include "tests/support/modem_call.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/types.h>

namespace {

QByteArray ContentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs the event loop for a while, so that both processes' pipes are read.
void Pump(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// A picture as the board reported it on its standard output.
struct SentPicture {
    QString file;
    QString faults; // empty when it went out whole ("fehlerfrei")
};

// Faults that leave the picture's bytes whole on the line: the decoder
// passes over chatter before the stream and drops a NUL byte alone.
bool ArrivesWhole(const QString& faults) {
    for (const QString& fault : faults.split(u' ', Qt::SkipEmptyParts))
        if (fault != QLatin1String("chatter") && fault != QLatin1String("nul"))
            return false;
    return true;
}

// Whether content is one of the board's pictures sent with a changed digit,
// one byte off the picture the board saved.
bool OneByteFromAFlippedPicture(const QByteArray& content, const QHash<int, SentPicture>& sent) {
    for (const SentPicture& picture : sent) {
        if (!picture.faults.contains(QLatin1String("flip-digit")))
            continue;
        const QByteArray original = ContentOf(picture.file);
        if (original.size() != content.size())
            continue;
        int differing = 0;
        for (qsizetype i = 0; i < original.size() && differing < 2; ++i)
            differing += original[i] != content[i];
        if (differing == 1)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    int seconds = 600;
    QString seed;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--faults") == 0 && i + 1 < argc)
            seed = QString::fromLocal8Bit(argv[++i]);
        else
            seconds = std::atoi(argv[i]);
    }
    if (seconds <= 0) {
        std::fprintf(stderr, "Aufruf: bench_capture_service [SEKUNDEN] [--faults STARTWERT]\n");
        return 2;
    }
    const bool faulty = !seed.isEmpty();
    QTemporaryDir scratch;
    const QString link = scratch.filePath(QStringLiteral("com"));
    const QString boardDir = scratch.filePath(QStringLiteral("board"));
    const QString pictures = scratch.filePath(QStringLiteral("bilder"));
    QDir().mkpath(boardDir);
    QDir().mkpath(pictures);

    QProcess board;
    QStringList boardArguments{"--fast", "--save", boardDir, "--link", link};
    boardArguments += faulty ? QStringList{"--dial-delay", "300", "--faults", seed}
                             : QStringList{"--dial-delay", "0"};
    board.start(QStringLiteral(BOARD_SIM_PATH), boardArguments);
    if (!board.waitForStarted() || !board.waitForReadyRead(5000)) {
        std::fprintf(stderr, "the simulated board did not start\n");
        return 1;
    }
    QByteArray boardOut = board.readAllStandardOutput();
    if (!faulty && !PlaceModemCall(link.toStdString())) {
        std::fprintf(stderr, "the simulated board did not answer\n");
        return 1;
    }

    QProcess capture;
    QStringList captureArguments{"--port", link, "--name", pictures + "/Bench", "--fortlaufend"};
    // A dial before the first picture and after every failure; a picture cut
    // before its end marker waits 20 s, not 300.
    if (faulty)
        captureArguments += QStringList{"--anwahl", "--wartezeit", "20"};
    capture.start(QStringLiteral(CAPTURE_TOOL_PATH), captureArguments);
    if (!capture.waitForStarted()) {
        std::fprintf(stderr, "merlon-capture did not start\n");
        return 1;
    }
    const qint64 pid = capture.processId();
    QByteArray out;
    QByteArray errors;
    auto storedCount = [&] {
        out += capture.readAllStandardOutput();
        errors += capture.readAllStandardError();
        boardOut += board.readAllStandardOutput();
        board.readAllStandardError(); // its fault reports; the lines on stdout say the same
        return out.count('\n');
    };

    QElapsedTimer clock;
    clock.start();
    while (storedCount() < 1 && clock.elapsed() < 120000)
        Pump(200);
    const ProcessUsage first = UsageOf(pid);
    const qint64 firstAtMs = clock.elapsed();
    const int firstCount = static_cast<int>(storedCount());
    std::printf("after the first picture (%.1f s): RSS %ld KiB, %d open descriptors\n",
                firstAtMs / 1000.0, first.rssKiB, first.openFds);
    std::fflush(stdout);

    int minute = 0;
    while (clock.elapsed() < seconds * 1000LL) {
        Pump(500);
        storedCount();
        if (clock.elapsed() >= (minute + 1) * 60000LL) {
            ++minute;
            const ProcessUsage now = UsageOf(pid);
            std::printf("minute %d: %lld pictures stored, RSS %ld KiB, %d descriptors\n", minute,
                        static_cast<long long>(out.count('\n')), now.rssKiB, now.openFds);
            std::fflush(stdout);
        }
    }
    const ProcessUsage last = UsageOf(pid);
    const int lastCount = static_cast<int>(storedCount());
    const qint64 lastAtMs = clock.elapsed();
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    capture.waitForFinished(10000);
    storedCount();
    board.terminate();
    board.waitForFinished(5000);
    boardOut += board.readAllStandardOutput();

    // What the board sent, by its own account.
    const QRegularExpression sentLine(QStringLiteral(
        "^Bild (\\d+): (\\S+) \\(\\d+x\\d+, \\d+ Bytes\\)(?: (fehlerfrei|Fehler: (.*)))?$"));
    QHash<int, SentPicture> sent;
    QHash<QByteArray, int> sentByContent;
    for (const QByteArray& line : boardOut.split('\n')) {
        const auto match = sentLine.match(QString::fromLocal8Bit(line));
        if (!match.hasMatch())
            continue;
        const int number = match.captured(1).toInt();
        sent.insert(number, {match.captured(2), match.captured(4)});
        sentByContent.insert(ContentOf(match.captured(2)), number);
    }

    // What the station stored as sound: each must be one the board sent.
    QHash<int, int> storedTimes; // board picture → times stored as sound
    int stored = 0;
    int identical = 0;
    int notTheBoards = 0;
    int changedDigitPassed = 0;
    for (const QByteArray& line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        ++stored;
        const QByteArray content = ContentOf(QString::fromLocal8Bit(line.left(line.indexOf(": "))));
        const auto found = sentByContent.constFind(content);
        if (found != sentByContent.constEnd() && !content.isEmpty()) {
            ++identical;
            ++storedTimes[*found];
        } else if (OneByteFromAFlippedPicture(content, sent)) {
            ++changedDigitPassed;
        } else {
            ++notTheBoards;
        }
    }
    const QStringList files = QDir(pictures).entryList(QDir::Files);
    const int keptDamaged =
        static_cast<int>(files.filter(QStringLiteral(".beschaedigt.jpg")).size());
    const int keptUnreadable =
        static_cast<int>(files.filter(QStringLiteral(".unlesbar.jpg")).size());

    const int between = lastCount - firstCount;
    std::printf("at the end (%.1f s): RSS %ld KiB, %d open descriptors\n", lastAtMs / 1000.0,
                last.rssKiB, last.openFds);
    if (between > 0)
        std::printf("per picture after the first: %.2f s wall clock, %.2f ms CPU\n",
                    (lastAtMs - firstAtMs) / 1000.0 / between,
                    (last.cpuSeconds - first.cpuSeconds) * 1000.0 / between);
    std::printf("CPU time in all: %.2f s; exit code after SIGTERM: %d\n", last.cpuSeconds,
                capture.exitStatus() == QProcess::NormalExit ? capture.exitCode() : -1);

    if (!faulty) {
        std::printf("pictures stored: %d in %d s, byte-identical to the board's: %d\n", stored,
                    seconds, identical);
        if (!errors.isEmpty())
            std::printf("its error output:\n%s", errors.constData());
        return identical == stored && stored > 0 ? 0 : 1;
    }

    // The table of a soak with faults.
    QHash<QString, int> byFault;
    int whole = 0;
    int wholeOnce = 0;
    int wholeMissing = 0;
    int wholeTwice = 0;
    int spoiledStored = 0;
    for (auto it = sent.constBegin(); it != sent.constEnd(); ++it) {
        const SentPicture& picture = it.value();
        byFault[picture.faults.isEmpty() ? QStringLiteral("(none)") : picture.faults] += 1;
        const int times = storedTimes.value(it.key());
        if (ArrivesWhole(picture.faults)) {
            ++whole;
            wholeOnce += times == 1;
            wholeMissing += times == 0;
            wholeTwice += times > 1;
        } else if (times > 0) {
            ++spoiledStored; // its line fault changed nothing the bytes show
        }
    }
    int failedDials = 0;
    for (const char* line :
         {": Besetzt (BUSY)", ": Keine Antwort (NO ANSWER)", ": Kein Wählton (NO DIALTONE)",
          ": Keine Verbindung (NO CARRIER)", ": Fehler des Modems (ERROR)"})
        failedDials += static_cast<int>(errors.count(line));
    std::printf("\nsoak with --faults %s, %d s:\n", qPrintable(seed), seconds);
    std::printf("| pictures sent by the board | %d |\n", static_cast<int>(sent.size()));
    std::printf("| of them sent whole (no fault, chatter or NUL only) | %d |\n", whole);
    std::printf("| stored as sound | %d |\n", stored);
    std::printf("| kept aside as beschädigt | %d |\n", keptDamaged);
    std::printf("| kept aside as unlesbar | %d |\n", keptUnreadable);
    std::printf("| whole pictures stored exactly once, byte-identical | %d of %d (missing %d, "
                "twice %d) |\n",
                wholeOnce, whole, wholeMissing, wholeTwice);
    std::printf("| stored as sound with a changed digit that decodes (cannot be seen) | %d |\n",
                changedDigitPassed);
    std::printf("| stored as sound but not the board's bytes otherwise | %d |\n", notTheBoards);
    std::printf("| spoiled on the line yet stored, byte-identical | %d |\n", spoiledStored);
    std::printf("| failed dials reported (BUSY, NO ANSWER, NO DIALTONE, ...) | %d |\n",
                failedDials);
    std::printf("| NO CARRIER in a picture reported | %lld |\n",
                static_cast<long long>(errors.count("während des Bildes abgebrochen")));
    std::printf("| pictures that did not come in time | %lld |\n",
                static_cast<long long>(errors.count("ist kein Bild angekommen")));
    std::printf("\npictures sent, by their faults:\n");
    for (auto it = byFault.constBegin(); it != byFault.constEnd(); ++it)
        std::printf("  %-28s %d\n", qPrintable(it.key()), it.value());
    return wholeOnce == whole && wholeTwice == 0 && notTheBoards == 0 ? 0 : 1;
}
