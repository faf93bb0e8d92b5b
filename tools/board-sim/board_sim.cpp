#include "tools/board-sim/board_sim.h"

#include "tools/board-sim/fault_plan.h"
#include "tools/board-sim/modem_board.h"
#include "tools/board-sim/picture_scene.h"
#include "tools/board-sim/picture_stream.h"
#include "tools/board-sim/pseudo_terminal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopSignal = 0;

void OnStopSignal(int signal) {
    stopSignal = signal;
}

std::int64_t NowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// The time of day to the millisecond, for the log on standard error.
std::string LogTime() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    char withMs[32];
    std::snprintf(withMs, sizeof withMs, "%s.%03ld", text, now.tv_nsec / 1000000);
    return withMs;
}

void Log(const std::string& line) {
    std::fprintf(stderr, "%s %s\n", LogTime().c_str(), line.c_str());
}

std::string TimeOfDay() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

void PrepareSaveDirectory(const std::string& directory) {
    struct stat info {};
    if (stat(directory.c_str(), &info) != 0) {
        if (mkdir(directory.c_str(), 0777) != 0)
            throw std::runtime_error("Verzeichnis " + directory +
                                     " kann nicht angelegt werden: " + std::strerror(errno));
    } else if (!S_ISDIR(info.st_mode)) {
        throw std::runtime_error(directory + " ist kein Verzeichnis");
    }
}

class Simulator {
public:
    Simulator(const SimOptions& options, const PseudoTerminal& line)
        : options_(options), line_(line),
          modem_(
              modemSettings(options), [this](int dial) { return planDial(dial); },
              [this](int dial) { return EscapeRefusedForDial(options_.faults, dial); }),
          bytesPerSecond_(options.baud / 10.0) {
        // About a hundred writes a second keeps the pace even without
        // costing a system call per character.
        modem_.setLog([](const std::string& event) { Log("Modem: " + event); });
        chunk_ = options.fast
                     ? 65536
                     : std::max<std::size_t>(1, static_cast<std::size_t>(bytesPerSecond_ / 100));
    }

    void run(const sigset_t& waitMask) {
        while (stopSignal == 0) {
            std::int64_t now = NowUs();
            modem_.advance(now / 1000);
            reportStateChange();
            servePictureRequests();

            pollfd poller{line_.master(), POLLIN, 0};
            std::optional<std::int64_t> wakeAt;
            if (const auto timer = modem_.nextTimer())
                wakeAt = *timer * 1000;
            if (!modem_.pendingOutput().empty()) {
                const std::int64_t lineReadyAt = std::max(lineFreeAt_, retryWriteAt_);
                if (now < lineReadyAt)
                    wakeAt = std::min(wakeAt.value_or(lineReadyAt), lineReadyAt);
                else
                    poller.events |= POLLOUT;
            }
            timespec timeout{};
            timespec* timeoutPointer = nullptr;
            if (wakeAt) {
                const std::int64_t wait = std::max<std::int64_t>(0, *wakeAt - now);
                timeout.tv_sec = static_cast<time_t>(wait / 1000000);
                timeout.tv_nsec = static_cast<long>(wait % 1000000) * 1000;
                timeoutPointer = &timeout;
            }

            // Signals are blocked except inside ppoll, so a SIGTERM cannot
            // slip in between the check above and the wait.
            if (ppoll(&poller, 1, timeoutPointer, &waitMask) < 0) {
                if (errno == EINTR)
                    continue;
                throw std::runtime_error(std::string("poll fehlgeschlagen: ") +
                                         std::strerror(errno));
            }
            if (poller.revents & (POLLERR | POLLNVAL | POLLHUP)) {
                // Cannot happen while our own slave descriptor is open.
                throw std::runtime_error("Das Pseudo-Terminal ist unerwartet geschlossen");
            }
            now = NowUs();
            if (poller.revents & POLLIN)
                readFromLine(now);
            if (poller.revents & POLLOUT)
                writeToLine(now);
        }
    }

private:
    static ModemSettings modemSettings(const SimOptions& options) {
        ModemSettings settings;
        settings.echo = options.echo;
        settings.dialDelayMs = options.dialDelayMs;
        settings.speed = options.baud;
        settings.guardMs = 1000;
        settings.verbose = options.verbose;
        settings.quiet = options.quiet;
        return settings;
    }

    CallOutcome planDial(int dial) {
        const CallOutcome outcome = OutcomeForDial(options_.faults, dial);
        std::fputs(
            FaultReport(outcome, dial, EscapeRefusedForDial(options_.faults, dial)).c_str(),
            stderr);
        return outcome;
    }

    void readFromLine(std::int64_t now) {
        char buffer[4096];
        const ssize_t count = read(line_.master(), buffer, sizeof buffer);
        if (count > 0)
            modem_.receive(std::string_view(buffer, static_cast<std::size_t>(count)), now / 1000);
    }

    void writeToLine(std::int64_t now) {
        const std::string_view pending = modem_.pendingOutput();
        if (pending.empty())
            return;
        const std::size_t length = std::min(pending.size(), chunk_);
        const ssize_t written = write(line_.master(), pending.data(), length);
        if (written <= 0) {
            // Full after all: try again shortly rather than spin on poll.
            retryWriteAt_ = now + 10000;
            return;
        }
        modem_.consumeOutput(static_cast<std::size_t>(written));
        if (!options_.fast) {
            // Late wake-ups (a busy machine) up to 100 ms are made up for,
            // so that the average rate holds; a line that was idle longer
            // starts afresh, without a burst.
            const std::int64_t from = lineFreeAt_ < now - 100000 ? now : lineFreeAt_;
            lineFreeAt_ = from + static_cast<std::int64_t>(written * 1e6 / bytesPerSecond_);
        }
    }

    void servePictureRequests() {
        for (const BoardOptions& request : modem_.takePictureRequests()) {
            const int number = ++pictureCount_;
            const std::string jpeg =
                TakePicture(SceneRequest{request, number, TimeOfDay()}, options_.quality);
            std::string file = "-";
            if (!options_.saveDir.empty()) {
                char name[32];
                std::snprintf(name, sizeof name, "/picture-%04d.jpg", number);
                file = options_.saveDir + name;
                std::ofstream out(file, std::ios::binary | std::ios::trunc);
                out.write(jpeg.data(), static_cast<std::streamsize>(jpeg.size()));
                out.close();
                if (!out)
                    std::fprintf(stderr, "Bild %d: Datei %s kann nicht geschrieben werden\n",
                                 number, file.c_str());
            }
            const StreamFaults faults = FaultsForPicture(options_.faults, number);
            std::fputs(FaultReport(faults, number).c_str(), stderr);
            // With faults on, each line says which this picture got, so that
            // a reader can tell the pictures that went out whole.
            std::string faultNote;
            if (options_.faults.any())
                faultNote = faults.any() ? " Fehler: " + FaultNames(faults) : " fehlerfrei";
            std::printf("Bild %d: %s (%dx%d, %zu Bytes)%s\n", number, file.c_str(),
                        request.large ? 640 : 320, request.large ? 480 : 240, jpeg.size(),
                        faultNote.c_str());
            std::fflush(stdout);

            const PictureStream stream =
                BuildPictureStream(jpeg, faults, static_cast<unsigned>(number));
            modem_.queueBoardText(stream.text, stream.hangUpAfter);
        }
    }

    void reportStateChange() {
        const ModemBoard::State state = modem_.state();
        if (state == reportedState_)
            return;
        const char* text = "";
        switch (state) {
        case ModemBoard::State::Command:
            text = "Modem: aufgelegt";
            break;
        case ModemBoard::State::Dialling:
            text = "Modem: wählt";
            break;
        case ModemBoard::State::Online:
            text = "Modem: verbunden, Board im Datenmodus";
            break;
        case ModemBoard::State::OnlineCommand:
            text = "Modem: Befehlsmodus, Anruf gehalten";
            break;
        }
        Log(text);
        reportedState_ = state;
    }

    const SimOptions& options_;
    const PseudoTerminal& line_;
    ModemBoard modem_;
    double bytesPerSecond_;
    std::size_t chunk_;
    std::int64_t lineFreeAt_ = 0;
    std::int64_t retryWriteAt_ = 0;
    int pictureCount_ = 0;
    ModemBoard::State reportedState_ = ModemBoard::State::Command;
};

} // namespace

int RunBoardSim(const SimOptions& options) {
    sigset_t stopSignals, previousMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSignals, &previousMask);
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    // A reader of stdout that went away must not kill us before the link
    // is removed.
    signal(SIGPIPE, SIG_IGN);
    sigset_t waitMask = previousMask;
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGHUP);

    try {
        if (!options.saveDir.empty())
            PrepareSaveDirectory(options.saveDir);
        PseudoTerminal line;
        std::unique_ptr<DeviceLink> link;
        if (!options.linkPath.empty())
            link = std::make_unique<DeviceLink>(options.linkPath, line.devicePath());
        std::printf("%s\n", line.devicePath().c_str());
        std::fflush(stdout);
        if (link)
            std::fprintf(stderr, "Verknüpfung %s -> %s\n", options.linkPath.c_str(),
                         line.devicePath().c_str());

        Simulator simulator(options, line);
        simulator.run(waitMask);
        std::fprintf(stderr, "Simulator beendet (Signal %d)\n", static_cast<int>(stopSignal));
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "merlon-board-sim: %s\n", failure.what());
        return 1;
    }
    return 0;
}
