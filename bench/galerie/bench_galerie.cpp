// A station's year at one picture every ten minutes (52 560 attempts; the
// pictures hard links of a few real ones from the simulated board's camera):
// merlon-galerie's full build from nothing, then the update after one more
// attempt, each as its own process (wall time and peak resident memory), and
// what making one thumbnail costs, so that the build's cost beyond its
// thumbnails shows. bench_galerie [--tage N] (365 by default).
#include "picture/jpeg_thumbnail.h"
#include "tools/board-sim/picture_scene.h"

#include <QDateTime>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kDistinctPictures = 8;
constexpr int kMinutesApart = 10;

struct Run {
    double seconds = 0;
    double cpuSeconds = 0; // user and system: what the run costs on a busy machine too
    long peakKiB = 0;
    int status = -1;
};

Run RunGalerie(const std::string& target, const std::string& journal) {
    QElapsedTimer clock;
    clock.start();
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(GALERIE_PATH, GALERIE_PATH, "--ziel", target.c_str(), journal.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
    };
    return {static_cast<double>(clock.nsecsElapsed()) / 1e9,
            seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss,
            WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

double CpuSecondsNow() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string JournalLine(const QDateTime& at, const char* outcome, const std::string& file) {
    return "{\"time\":\"" + at.toString(Qt::ISODate).toStdString() +
           "\",\"port\":\"/dev/ttyUSB0\",\"attempt\":1,\"attempts\":3,\"outcome\":\"" + outcome +
           "\",\"dial\":\"connect\",\"file\":" + (file.empty() ? "null" : "\"" + file + "\"") +
           ",\"bytes\":9300,\"seconds\":31.2,\"message\":null,\"interval_seconds\":600}\n";
}

} // namespace

int main(int argc, char** argv) {
    int days = 365;
    if (argc == 3 && std::strcmp(argv[1], "--tage") == 0)
        days = std::max(1, std::atoi(argv[2]));
    QTemporaryDir dir;
    const QString station = dir.filePath(QStringLiteral("Hof"));
    QDir().mkpath(station);

    std::vector<std::string> pictures;
    for (int number = 1; number <= kDistinctPictures; ++number) {
        SceneRequest request;
        request.number = number;
        request.time = "12:00:0" + std::to_string(number);
        pictures.push_back(TakePicture(request, 85));
        QFile file(station + QStringLiteral("/vorlage_%1.jpg").arg(number));
        file.open(QIODevice::WriteOnly);
        file.write(pictures.back().data(), static_cast<qint64>(pictures.back().size()));
    }

    // One attempt every ten minutes from the first of January at the
    // station's time; one in fifty damaged and kept aside, one in a hundred
    // a busy line with no picture.
    const int attempts = days * 24 * 60 / kMinutesApart;
    const QDateTime start =
        QDateTime::fromString(QStringLiteral("2026-01-01T00:00:00+01:00"), Qt::ISODate);
    std::string journal;
    for (int n = 0; n < attempts; ++n) {
        const QDateTime at = start.addSecs(static_cast<qint64>(n) * kMinutesApart * 60);
        const char* outcome = n % 100 == 99 ? "dial_failed" : n % 50 == 49 ? "damaged" : "sound";
        std::string name;
        if (std::strcmp(outcome, "dial_failed") != 0) {
            name = "Hof_" + std::to_string(n) + (n % 50 == 49 ? ".beschaedigt.jpg" : ".jpg");
            const QString source =
                station + QStringLiteral("/vorlage_%1.jpg").arg(n % kDistinctPictures + 1);
            if (::link(source.toLocal8Bit().constData(),
                       (station.toStdString() + "/" + name).c_str()) != 0) {
                std::perror("link");
                return 1;
            }
        }
        journal += JournalLine(at, outcome, name);
    }
    const std::string journalPath = station.toStdString() + "/Hof.jsonl";
    {
        QFile file(QString::fromStdString(journalPath));
        file.open(QIODevice::WriteOnly);
        file.write(journal.data(), static_cast<qint64>(journal.size()));
    }
    const std::string target = dir.filePath(QStringLiteral("site")).toStdString();
    const QDateTime last = start.addSecs(static_cast<qint64>(attempts) * kMinutesApart * 60);

    // What one thumbnail costs, over the distinct pictures.
    // In CPU time, as the build's figure below, so that a busy machine
    // changes neither.
    const double thumbStart = CpuSecondsNow();
    constexpr int kThumbRounds = 50;
    for (int round = 0; round < kThumbRounds; ++round)
        for (const std::string& picture : pictures)
            MakeJpegThumbnail(picture, 160);
    const double thumbMs =
        (CpuSecondsNow() - thumbStart) * 1000 / (kThumbRounds * kDistinctPictures);

    const Run full = RunGalerie(target, journalPath);
    int withPicture = 0;
    for (int n = 0; n < attempts; ++n)
        withPicture += n % 100 != 99;

    if (::link((station.toStdString() + "/vorlage_1.jpg").c_str(),
               (station.toStdString() + "/Hof_neu.jpg").c_str()) != 0) {
        std::perror("link");
        return 1;
    }
    {
        QFile file(QString::fromStdString(journalPath));
        file.open(QIODevice::Append);
        const std::string line = JournalLine(last, "sound", "Hof_neu.jpg");
        file.write(line.data(), static_cast<qint64>(line.size()));
    }
    const Run update = RunGalerie(target, journalPath);

    qint64 largest = 0;
    QString largestName;
    for (QDirIterator it(QString::fromStdString(target), {QStringLiteral("*.html")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        const QFileInfo info(it.next());
        if (info.size() > largest) {
            largest = info.size();
            largestName = info.fileName();
        }
    }

    const double perPictureMs = full.cpuSeconds * 1000 / withPicture;
    std::printf("attempts: %d (%d days, every %d minutes), %d with a picture\n", attempts, days,
                kMinutesApart, withPicture);
    std::printf("full build:  %.2f s (CPU %.2f s), exit %d, peak resident %ld KiB\n", full.seconds,
                full.cpuSeconds, full.status, full.peakKiB);
    std::printf(
        "  per picture (CPU): %.3f ms, of which one thumbnail %.3f ms: %.3f ms beyond it (aim: "
        "<= 1 ms)\n",
        perPictureMs, thumbMs, perPictureMs - thumbMs);
    std::printf(
        "update after one more attempt: %.3f s (CPU %.3f s), exit %d, peak resident %ld KiB\n",
        update.seconds, update.cpuSeconds, update.status, update.peakKiB);
    std::printf("  update / full build: %.2f %%, in CPU time %.2f %% (aim: <= 1 %% and < 0.5 s)\n",
                100 * update.seconds / full.seconds, 100 * update.cpuSeconds / full.cpuSeconds);
    std::printf("largest page: %s, %lld bytes\n", largestName.toLocal8Bit().constData(),
                static_cast<long long>(largest));
    return full.status == 0 && update.status == 0 ? 0 : 1;
}
