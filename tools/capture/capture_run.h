// The unattended run of merlon-capture: the capture session and terminal of
// the main window, driven by options instead of widgets. It reports each
// stored picture on standard output and each failure on standard error, and
// keeps going after a failure (except when one picture was asked for).
#pragma once

#include "camera/capture_controls.h"
#include "camera/capture_session.h"
#include "camera/received_text.h"
#include "camera/terminal.h"

#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>
#include <string>

class StopSignals;

struct CaptureRunOptions {
    enum class Mode { OnePicture, Interval, Continuous };

    ComPortFields port{"1", "9600", "8", {}};
    std::string stem = "Kamera";
    std::string phoneNumber = "0157";
    bool flash = false;
    bool direct = false;
    bool large = false;
    Mode mode = Mode::OnePicture;
    std::int32_t minutes = 0;
    // Dial before each picture (with an interval: "ohne Reconnect"); in the
    // other modes before the first picture and after each failure.
    bool dialFirst = false;
    // How long a picture may take from the request until it is stored.
    std::int32_t pictureTimeoutSeconds = 300;
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
    void takePicture(bool dialFirst);
    void failed(const std::string& message);
    void stored(const QString& fileName, qint64 bytes);
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
    int storedCount_ = 0;
    int exitCode_ = kExitOk;
    bool progressLineShown_ = false;
    bool progressOnTerminal_ = false;
};
