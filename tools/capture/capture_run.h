// The unattended run of merlon-capture: the station's loop
// (camera/station_loop.h) on the terminal, with its outputs as readers of
// the loop's events (tools/capture/station_readers.h). It turns the loop's
// deadlines into one timer and feeds it every poll of the line, so nothing
// here ever waits: the event loop hears a stop, the command after a picture
// and the timers throughout.
#pragma once

#include "camera/received_text.h"
#include "camera/station_loop.h"
#include "camera/terminal.h"
#include "serial/com_port_fields.h"
#include "tools/capture/station_readers.h"

#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class PictureHook;
class StopSignals;

// The defaults of a run are those of merlon-capture's option table
// (capture_options.cpp), the one place they are kept.
struct CaptureRunOptions {
    enum class Mode { OnePicture, Interval, Continuous };

    ComPortSettings port;
    std::string stem;
    std::string phoneNumber;
    bool flash = false;
    bool direct = false;
    bool large = false;
    Mode mode = Mode::OnePicture;
    std::int32_t minutes = 0;
    // Dial before each picture (with an interval: "ohne Reconnect"); in the
    // other modes before the first picture and after each failure.
    bool dialFirst = false;
    // How long a picture may take from the request until it is stored.
    std::int32_t pictureTimeoutSeconds = 0;
    // Tries at one picture, the first included.
    std::int32_t attempts = 0;
    // How long a modem that says nothing after "ATD" gets before the request.
    std::int32_t answerWaitSeconds = 0;
    // The port as the command line named it, for the metrics' port label.
    std::string portLabel;
    // Keep a call up once made (--verbindung-halten).
    bool holdCall = false;
    // What checks the modem before a dial instead of "AT" (--modeminit).
    std::string modemInit;
    // Names by the local time instead of the tick count (--zeitnamen).
    bool timeNames = false;
    // After each sound picture: an identical copy under this name, replaced
    // atomically (--neuestes); empty for none.
    std::string newestCopy;
    // After each sound picture: this command with the picture's path
    // (--danach); empty for none.
    std::string afterPicture;
    // After every attempt: the station's state for Prometheus in this file
    // (--metriken); empty for none.
    std::string metricsFile;
    // After every attempt: one JSON line in this file (--protokoll); empty
    // for none.
    std::string journalFile;
};

// The loop's settings from the command line's.
StationSettings StationSettingsOf(const CaptureRunOptions& options);

class CaptureRun : public QObject {
public:
    // Exit codes.
    static constexpr int kExitOk = StationLoop::kExitOk;
    static constexpr int kExitFailed = StationLoop::kExitFailed;

    CaptureRun(const CaptureRunOptions& options, const StopSignals& stop);
    ~CaptureRun() override;

    // Runs the event loop until a stop, or until the one picture is stored
    // or has failed; the port is closed on return.
    int exec();

private:
    // Every entry from the event loop: the loop acts, then its next deadline
    // is armed, or the event loop ends with a finished run.
    template <typename Action> void step(Action action);
    void poll();
    void stop();

    CaptureRunOptions options_;
    PlainReceivedText received_;
    Terminal terminal_;
    TerminalStationLine line_;
    StationLoop loop_;
    QTimer deadline_;
    QSocketNotifier stopNotifier_;
    StandardError errors_;
    FailureLines failureLines_;
    PictureLines pictureLines_;
    std::unique_ptr<PictureHook> hook_;
    std::unique_ptr<NewestCopy> newestCopy_;
    std::unique_ptr<HookRuns> hookRuns_;
    std::unique_ptr<MetricsFile> metrics_;
    std::unique_ptr<JournalFile> journal_;
    bool stopped_ = false; // by a signal
};
