#include "tools/capture/capture_run.h"

#include "camera/capture_status.h"
#include "platform/user_error.h"
#include "tools/capture/stop_signals.h"

#include <QCoreApplication>
#include <QDateTime>
#include <algorithm>
#include <iostream>
#include <new>
#include <unistd.h>

namespace {

// Pauses before another try in continuous mode: 5 s, doubling up to a minute.
constexpr int kFirstRetryPauseMs = 5000;
constexpr int kLongestRetryPauseMs = 60000;

const char kProgram[] = "merlon-capture: ";

} // namespace

CaptureRun::CaptureRun(const CaptureRunOptions& options, const StopSignals& stop)
    : options_(options), session_(*this), terminal_(session_.captureTimer(), received_),
      stopNotifier_(stop.notifyFd(), QSocketNotifier::Read) {
    progressOnTerminal_ = ::isatty(STDERR_FILENO) == 1;
    session_.setTerminal(&terminal_);
    session_.setAtomicStores(true);
    terminal_.setPortSettingsSource([this] { return options_.port; });
    retryTimer_.setSingleShot(true);
    pictureDeadline_.setSingleShot(true);
    pictureDeadline_.setInterval(std::min(options_.pictureTimeoutSeconds, 86400) * 1000);

    connect(&stopNotifier_, &QSocketNotifier::activated, this, &CaptureRun::stop);
    connect(&session_.captureTimer(), &QTimer::timeout, this,
            [this] { guarded([this] { session_.timerTick(); }); });
    connect(&terminal_.pollTimer(), &QTimer::timeout, this,
            [this] { guarded([this] { terminal_.poll(); }); });
    connect(&session_, &CaptureSession::intervalDue, this, [this] {
        guarded([this] {
            pictureDeadline_.start();
            session_.intervalTick();
        });
    });
    connect(&retryTimer_, &QTimer::timeout, this,
            [this] { guarded([this] { takePicture(options_.dialFirst); }); });
    connect(&pictureDeadline_, &QTimer::timeout, this, [this] {
        failed("Innerhalb von " + std::to_string(options_.pictureTimeoutSeconds) +
               " Sekunden ist kein Bild angekommen");
    });
    connect(&session_, &CaptureSession::pictureStored, this, &CaptureRun::stored);
    connect(&session_, &CaptureSession::progressChanged, this, &CaptureRun::showProgress);
}

CaptureRun::~CaptureRun() {
    terminal_.disconnectPort();
}

int CaptureRun::exec() {
    // Started from inside the loop, so that a stop during the first
    // sequence finds a loop to end.
    QTimer::singleShot(0, this, [this] { guarded([this] { start(); }); });
    QCoreApplication::exec();
    retryTimer_.stop();
    pictureDeadline_.stop();
    terminal_.disconnectPort();
    session_.captureTimer().stop();
    clearProgressLine();
    return exitCode_;
}

template <typename Action> void CaptureRun::guarded(Action action) {
    try {
        action();
    } catch (const StopRequested&) {
        stop();
    } catch (const UserError& error) {
        failed(error.what());
    } catch (const std::bad_alloc&) {
        failed("Nicht genügend Arbeitsspeicher für diese Aktion");
    }
}

void CaptureRun::start() {
    switch (options_.mode) {
    case CaptureRunOptions::Mode::OnePicture:
        break;
    case CaptureRunOptions::Mode::Interval:
        session_.setWithoutReconnect(options_.dialFirst);
        session_.setIntervalMode(true, std::to_string(options_.minutes));
        break;
    case CaptureRunOptions::Mode::Continuous:
        session_.setContinuousMode(true);
        break;
    }
    // The first picture at once, also with an interval: a run started at boot
    // shows straight away whether camera and line work.
    takePicture(options_.dialFirst);
}

void CaptureRun::takePicture(bool dialFirst) {
    pictureDeadline_.start();
    session_.startPicture(dialFirst);
}

void CaptureRun::failed(const std::string& message) {
    clearProgressLine();
    std::cerr << kProgram << message << std::endl;
    pictureDeadline_.stop();
    // Whatever the line was doing, the next try starts on a fresh port. The
    // capture tick stays on after a failed opening; nothing is coming.
    terminal_.disconnectPort();
    session_.captureTimer().stop();
    switch (options_.mode) {
    case CaptureRunOptions::Mode::OnePicture:
        // A line that drops just after the picture arrived still stored it.
        if (storedCount_ == 0)
            exitCode_ = kExitFailed;
        QCoreApplication::quit();
        break;
    case CaptureRunOptions::Mode::Interval:
        break; // tried again at the next tick
    case CaptureRunOptions::Mode::Continuous: {
        const int doublings = std::min(failuresInARow_, 4);
        retryTimer_.start(std::min(kFirstRetryPauseMs << doublings, kLongestRetryPauseMs));
        ++failuresInARow_;
        break;
    }
    }
}

void CaptureRun::stored(const QString& fileName, qint64 bytes) {
    clearProgressLine();
    ++storedCount_;
    failuresInARow_ = 0;
    const QString time =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    std::cout << fileName.toLocal8Bit().toStdString() << ": " << bytes
              << (bytes == 1 ? " Byte, " : " Bytes, ") << time.toStdString() << std::endl;
    switch (options_.mode) {
    case CaptureRunOptions::Mode::OnePicture:
        pictureDeadline_.stop();
        QCoreApplication::quit();
        break;
    case CaptureRunOptions::Mode::Interval:
        pictureDeadline_.stop();
        break;
    case CaptureRunOptions::Mode::Continuous:
        pictureDeadline_.start(); // the next request follows at once
        break;
    }
}

void CaptureRun::showProgress() {
    if (!progressOnTerminal_ || session_.progress().stage != CaptureProgress::Stage::Arriving)
        return;
    std::cerr << '\r' << DescribeProgress(session_) << "\033[K" << std::flush;
    progressLineShown_ = true;
}

void CaptureRun::clearProgressLine() {
    if (!progressLineShown_)
        return;
    std::cerr << "\r\033[K" << std::flush;
    progressLineShown_ = false;
}

void CaptureRun::stop() {
    stopNotifier_.setEnabled(false);
    QCoreApplication::quit();
}
