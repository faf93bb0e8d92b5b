// How fast the simulated board makes its pictures and how closely it keeps
// the line rate: picture drawing and encoding per size, then one stream
// each at a few speeds and with --fast, read through the pseudo-terminal.
// Prints its figures; run by hand.
#include "tools/board-sim/picture_scene.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

void benchPictures() {
    for (const bool large : {false, true}) {
        constexpr int rounds = 20;
        QElapsedTimer clock;
        clock.start();
        std::size_t bytes = 0;
        for (int i = 1; i <= rounds; ++i)
            bytes += TakePicture(SceneRequest{BoardOptions{true, true, large}, i, "12:00:00"}, 75)
                         .size();
        std::printf("picture %s: %.1f ms to draw and encode, %zu bytes (quality 75)\n",
                    large ? "640x480" : "320x240", clock.nsecsElapsed() / 1e6 / rounds,
                    bytes / rounds);
    }
}

// One picture stream through the simulator; returns characters a second.
void benchStream(const QStringList& extra, double nominal) {
    QProcess sim;
    sim.start(QStringLiteral(BOARD_SIM_PATH), QStringList{"--dial-delay", "0"} + extra);
    if (!sim.waitForStarted() || !sim.waitForReadyRead()) {
        std::printf("simulator did not start\n");
        return;
    }
    const QByteArray device = sim.readLine().trimmed();
    const int fd = open(device.constData(), O_RDWR | O_NOCTTY);
    termios settings{};
    tcgetattr(fd, &settings);
    cfmakeraw(&settings);
    tcsetattr(fd, TCSANOW, &settings);

    QByteArray received;
    auto readUntil = [&](const QByteArray& needle) {
        QDeadlineTimer deadline(120000);
        char buffer[65536];
        while (!received.contains(needle) && !deadline.hasExpired()) {
            pollfd poller{fd, POLLIN, 0};
            if (poll(&poller, 1, 100) > 0) {
                const ssize_t n = read(fd, buffer, sizeof buffer);
                if (n > 0)
                    received.append(buffer, n);
            }
        }
    };
    if (write(fd, "ATD 0157\r", 9) != 9)
        std::fprintf(stderr, "Wählen ging nicht hinaus\n");
    readUntil("CONNECT");
    readUntil("\r\n");
    received.clear();
    QElapsedTimer clock;
    clock.start();
    if (write(fd, "CONRH\rBILD\r", 11) != 11)
        std::fprintf(stderr, "Die Anforderung ging nicht hinaus\n");
    readUntil("CAM_E\r\n");
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double rate = received.size() / seconds;
    std::printf("%-32s %7lld characters in %7.3f s: %9.0f characters/s",
                qPrintable(extra.join(' ')), qlonglong(received.size()), seconds, rate);
    if (nominal > 0)
        std::printf(" (nominal %.0f, %+.1f %%)", nominal, (rate / nominal - 1) * 100);
    std::printf("\n");
    close(fd);
    sim.terminate();
    sim.waitForFinished();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchPictures();
    benchStream({"--baud", "38400"}, 3840);
    benchStream({"--baud", "115200"}, 11520);
    benchStream({"--baud", "460800"}, 46080);
    benchStream({"--fast"}, 0);
    return 0;
}
