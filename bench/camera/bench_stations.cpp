// Two figures of merlon-capture against the simulated board; prints them,
// run by hand:
//   bench_stations dial
//     the time from "ATD" to the picture request when the modem says
//     CONNECT after 2 s, in words and in numbers, and from a modem that says
//     nothing (which gets --anwahlzeit, 30 s: what every dial took before
//     the answer was read);
//   bench_stations many [STATIONS] [SECONDS]
//     STATIONS (16) runs back to back at once, each on a board of its own at
//     full speed, for SECONDS (120): pictures stored and the CPU time each
//     station spent per picture.
#include "bench/camera/process_usage.h"
#include "tests/support/modem_call.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// The three option lines before "BILD" go out a second apart.
constexpr int kRequestLinesMs = 3000;

void Pump(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Board {
    QProcess process;
    QString link;
    bool start(const QString& folder, const QStringList& extra) {
        link = folder + "/com";
        QDir().mkpath(folder + "/board");
        process.start(QStringLiteral(BOARD_SIM_PATH),
                      QStringList{"--fast", "--save", folder + "/board", "--link", link} + extra);
        return process.waitForStarted() && process.waitForReadyRead(5000);
    }
    ~Board() {
        process.terminate();
        process.waitForFinished(5000);
    }
};

// From the modem's taking "ATD" to the board's taking "BILD", in ms, or -1.
qint64 DialToRequest(const QStringList& boardOptions) {
    QTemporaryDir scratch;
    Board board;
    if (!board.start(scratch.path(), QStringList{"--dial-delay", "2000"} + boardOptions))
        return -1;
    QDir().mkpath(scratch.filePath(QStringLiteral("bilder")));
    QProcess capture;
    capture.start(
        QStringLiteral(CAPTURE_TOOL_PATH),
        {"--port", board.link, "--name", scratch.filePath(QStringLiteral("bilder/B")), "--anwahl"});
    QElapsedTimer clock;
    clock.start();
    QByteArray boardOut, boardErr;
    qint64 dialledAt = -1, requestedAt = -1;
    while (requestedAt < 0 && clock.elapsed() < 90000) {
        Pump(5);
        boardErr += board.process.readAllStandardError();
        boardOut += board.process.readAllStandardOutput();
        if (dialledAt < 0 && boardErr.contains("Modem: wählt"))
            dialledAt = clock.elapsed();
        if (boardOut.contains("Bild 1:"))
            requestedAt = clock.elapsed();
    }
    capture.waitForFinished(60000);
    return dialledAt >= 0 && requestedAt >= 0 ? requestedAt - dialledAt : -1;
}

int Dial() {
    struct Case {
        const char* name;
        QStringList options;
    };
    const Case cases[] = {{"CONNECT 9600 after 2 s", {}},
                          {"numeric CONNECT (12) after 2 s", {"--numeric"}},
                          {"a modem that says nothing (the call up after 2 s)", {"--silent"}}};
    std::printf("from \"ATD\" to the picture request (the first option line), merlon-capture "
                "--anwahl:\n");
    for (const Case& each : cases) {
        const qint64 toBild = DialToRequest(each.options);
        if (toBild < 0) {
            std::printf("  %s: no request seen\n", each.name);
            return 1;
        }
        std::printf("  %-52s %6.2f s (\"BILD\" %.2f s after \"ATD\")\n", each.name,
                    (toBild - kRequestLinesMs) / 1000.0, toBild / 1000.0);
        std::fflush(stdout);
    }
    return 0;
}

int Many(int stations, int seconds) {
    QTemporaryDir scratch;
    std::vector<std::unique_ptr<Board>> boards;
    std::vector<std::unique_ptr<QProcess>> captures;
    for (int k = 0; k < stations; ++k) {
        const QString folder = scratch.filePath(QString::number(k));
        auto board = std::make_unique<Board>();
        if (!board->start(folder, {"--dial-delay", "0"}) ||
            !PlaceModemCall(board->link.toStdString())) {
            std::fprintf(stderr, "board %d did not answer\n", k);
            return 1;
        }
        QDir().mkpath(folder + "/bilder");
        auto capture = std::make_unique<QProcess>();
        capture->start(QStringLiteral(CAPTURE_TOOL_PATH),
                       {"--port", board->link, "--name", folder + "/bilder/B", "--fortlaufend"});
        if (!capture->waitForStarted())
            return 1;
        boards.push_back(std::move(board));
        captures.push_back(std::move(capture));
    }
    QElapsedTimer clock;
    clock.start();
    std::vector<QByteArray> out(captures.size());
    while (clock.elapsed() < seconds * 1000LL) {
        Pump(200);
        for (std::size_t k = 0; k < captures.size(); ++k) {
            out[k] += captures[k]->readAllStandardOutput();
            captures[k]->readAllStandardError();
            boards[k]->process.readAllStandardOutput();
            boards[k]->process.readAllStandardError();
        }
    }
    double cpu = 0, boardCpu = 0;
    long long pictures = 0;
    long long fewest = -1, most = 0;
    for (std::size_t k = 0; k < captures.size(); ++k) {
        cpu += CpuSecondsOf(captures[k]->processId());
        boardCpu += CpuSecondsOf(boards[k]->process.processId());
        const long long stored = out[k].count('\n');
        pictures += stored;
        fewest = fewest < 0 ? stored : std::min(fewest, stored);
        most = std::max(most, stored);
        ::kill(static_cast<pid_t>(captures[k]->processId()), SIGTERM);
    }
    for (auto& capture : captures)
        capture->waitForFinished(10000);
    std::printf("%d stations back to back for %d s, each on its own board at full speed:\n",
                stations, seconds);
    std::printf("  pictures stored: %lld (%lld to %lld a station)\n", pictures, fewest, most);
    if (pictures > 0)
        std::printf("  merlon-capture CPU: %.2f s in all, %.2f ms per picture; the boards: "
                    "%.2f s, %.2f ms per picture\n",
                    cpu, cpu * 1000 / pictures, boardCpu, boardCpu * 1000 / pictures);
    return pictures > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "dial") == 0)
        return Dial();
    if (argc > 1 && std::strcmp(argv[1], "many") == 0)
        return Many(argc > 2 ? std::atoi(argv[2]) : 16, argc > 3 ? std::atoi(argv[3]) : 120);
    std::fprintf(stderr, "Aufruf: bench_stations dial | many [STATIONEN] [SEKUNDEN]\n");
    return 2;
}
