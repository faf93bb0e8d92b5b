// The unattended run of merlon-capture: the capture session and terminal of
// the main window, driven by options instead of widgets, with the dial that
// reads the modem's answer. It keeps only sound pictures under a picture's
// name and tries each picture up to --versuche times: a damaged one is asked
// for again at once, a failed call, a dropped line or a picture that does
// not come after a pause. It reports each sound picture on standard output
// and everything else on standard error, and keeps going after a failure
// (except when one picture was asked for). After each sound picture it
// leaves what people around the station use: the newest copy, the command
// after the picture; after every attempt the metrics file.
#pragma once

#include "camera/capture_controls.h"
#include "camera/capture_outcomes.h"
#include "camera/capture_session.h"
#include "camera/modem_answer.h"
#include "camera/received_text.h"
#include "camera/terminal.h"
#include "tools/capture/station_metrics.h"

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

    ComPortFields port;
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
};

class CaptureRun : public QObject, private CaptureControls {
public:
    // Exit codes.
    static constexpr int kExitOk = 0;
    static constexpr int kExitFailed = 1;

    CaptureRun(const CaptureRunOptions& options, const StopSignals& stop);
    ~CaptureRun() override;

    // Runs the event loop until a stop, or until the one picture is stored
    // or has failed; the port is closed on return.
    int exec();

private:
    std::string fileStem() override { return options_.stem; }
    std::string phoneNumber() override { return options_.phoneNumber; }
    bool flash() override { return options_.flash; }
    bool direct() override { return options_.direct; }
    bool large() override { return options_.large; }
    bool showsPictures() override { return false; }
    void showPicture(const std::string&) override {}

    // Every entry from the event loop goes through here: a failure is
    // reported and handled, a stop ends the loop; nothing passes into Qt.
    template <typename Action> void guarded(Action action);
    void start();
    // A new picture: its first attempt, dialling first with --anwahl.
    void beginPicture();
    // One try: open the port, dial (when asked) and request the picture.
    void runAttempt(bool dialFirst);
    // After each capture tick: a picture kept aside, or a call that dropped
    // while the picture arrived, ends the attempt.
    void afterTick();
    // The attempt ended without a sound picture; message (when not empty) is
    // reported with the attempt's number. Then another try, unless retry is
    // false or none is left, when the picture is given up. Returns whether
    // the next request is to go out at once on the open line (after a
    // picture kept aside); only the tick's own code may then send it.
    bool endAttempt(AttemptOutcome outcome, const std::string& message, bool retry = true);
    // No try left: the mode goes on (or the one-picture run ends). Returns
    // as endAttempt does.
    bool pictureFailed(bool damaged);
    // The request again on the open line, for another try or the next picture.
    void requestAgain();
    // A failure that ends the picture at once (a port that cannot be opened,
    // a picture that cannot be written), as a run without tries handled it.
    void failed(const std::string& message);
    void stored(const QString& fileName, qint64 bytes);
    void keptAside(const QString& fileName, const QString& textFileName, qint64 bytes,
                   PictureVerdict verdict);
    void report(const std::string& line);
    // After a sound picture: its copy under --neuestes, and --danach.
    void copyNewest();
    void runAfterPicture(const std::string& fileName, std::int64_t wallMs);
    // Counts the attempt's outcome and writes the metrics.
    void countAttempt(AttemptOutcome outcome);
    // Counts a picture received whole, with its size and the line's rate.
    void countPicture(PictureVerdict verdict);
    void writeMetrics();
    std::string attemptText() const;
    int nextPauseMs();
    void showProgress();
    void clearProgressLine();
    void stop();

    CaptureRunOptions options_;
    PlainReceivedText received_;
    CaptureSession session_;
    Terminal terminal_;
    QSocketNotifier stopNotifier_;
    QTimer retryTimer_;
    QTimer pictureDeadline_;
    int failuresInARow_ = 0;
    int attempt_ = 0;             // of the picture under way, from 1; 0 between pictures
    bool attemptRunning_ = false; // a try is under way (not a pause between two)
    std::optional<AttemptOutcome> keptAsideNow_; // by the tick that runs
    ModemLines dropWatch_;                       // the modem's lines since the request
    int storedCount_ = 0;
    int exitCode_ = kExitOk;
    bool progressLineShown_ = false;
    bool progressOnTerminal_ = false;
    std::unique_ptr<PictureHook> hook_;
    std::optional<StationMetrics> metrics_;
    bool metricsFailing_ = false;     // reported once until a write works again
    bool stopped_ = false;            // by a signal
    std::int64_t requestSentMs_ = -1; // when "BILD" last went out, on the clock interface
};
