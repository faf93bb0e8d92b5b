#include "tools/capture/capture_run.h"

#include "camera/capture_status.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/user_error.h"
#include "tools/capture/picture_hook.h"
#include "tools/capture/stop_signals.h"

#include <QCoreApplication>
#include <QDateTime>
#include <algorithm>
#include <ctime>
#include <iostream>
#include <new>
#include <unistd.h>

namespace {

// Pauses before another try after a failed call or line: 5 s, doubling up
// to a minute.
constexpr int kFirstRetryPauseMs = 5000;
constexpr int kLongestRetryPauseMs = 60000;

const char kProgram[] = "merlon-capture: ";

std::string LocalBytes(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

std::string BytesText(qint64 bytes) {
    return std::to_string(bytes) + (bytes == 1 ? " Byte" : " Bytes");
}

// The picture's path from the root, for a command that may change folder.
std::string AbsolutePath(const std::string& path) {
    return ResolvedPath(path);
}

// ISO 8601 in local time with the offset from UTC, "+00:00" included
// (2026-12-09T04:10:00+01:00): what a script can parse and compare.
std::string IsoTime(std::int64_t wallMs) {
    const auto time = static_cast<std::time_t>(wallMs / 1000);
    std::tm local{};
    char text[40] = {};
    if (!::localtime_r(&time, &local) ||
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local) == 0)
        return {};
    std::string iso = text;
    if (iso.size() > 2)
        iso.insert(iso.size() - 2, ":"); // +0100 to +01:00
    return iso;
}

const char* PictureLabel(PictureVerdict verdict) {
    switch (verdict) {
    case PictureVerdict::Sound:
        break;
    case PictureVerdict::Damaged:
        return AttemptOutcomeLabel(AttemptOutcome::Damaged);
    case PictureVerdict::Unreadable:
        return AttemptOutcomeLabel(AttemptOutcome::Unreadable);
    }
    return AttemptOutcomeLabel(AttemptOutcome::Sound);
}

} // namespace

CaptureRun::CaptureRun(const CaptureRunOptions& options, const StopSignals& stop)
    : options_(options), session_(*this), terminal_(session_.captureTimer(), received_),
      stopNotifier_(stop.notifyFd(), QSocketNotifier::Read) {
    progressOnTerminal_ = ::isatty(STDERR_FILENO) == 1;
    session_.setTerminal(&terminal_);
    session_.setKeepsDamagedAside(true);
    session_.setTimeNames(options_.timeNames);
    terminal_.setPortSettingsSource([this] { return options_.port; });
    retryTimer_.setSingleShot(true);
    pictureDeadline_.setSingleShot(true);
    pictureDeadline_.setInterval(std::min(options_.pictureTimeoutSeconds, 86400) * 1000);

    connect(&stopNotifier_, &QSocketNotifier::activated, this, &CaptureRun::stop);
    connect(&session_.captureTimer(), &QTimer::timeout, this, [this] {
        guarded([this] {
            session_.timerTick();
            afterTick();
        });
    });
    connect(&terminal_.pollTimer(), &QTimer::timeout, this,
            [this] { guarded([this] { terminal_.poll(); }); });
    connect(&session_, &CaptureSession::intervalDue, this, [this] {
        guarded([this] {
            // The schedule holds: a try still under way ends here, and the
            // pause before another is cut short.
            if (attemptRunning_)
                endAttempt(AttemptOutcome::NoPicture, "Das nächste Bild ist fällig", false);
            beginPicture();
        });
    });
    connect(&retryTimer_, &QTimer::timeout, this, [this] {
        guarded([this] {
            if (attempt_ == 0) // the next picture, after a failed one
                attempt_ = 1;
            runAttempt(options_.dialFirst);
        });
    });
    connect(&pictureDeadline_, &QTimer::timeout, this, [this] {
        guarded([this] {
            endAttempt(AttemptOutcome::NoPicture,
                       "Innerhalb von " + std::to_string(options_.pictureTimeoutSeconds) +
                           " Sekunden ist kein Bild angekommen");
        });
    });
    connect(&session_, &CaptureSession::pictureStored, this, &CaptureRun::stored);
    connect(&session_, &CaptureSession::pictureKeptAside, this, &CaptureRun::keptAside);
    connect(&session_, &CaptureSession::progressChanged, this, &CaptureRun::showProgress);
    connect(&terminal_, &Terminal::lineSent, this, [this](const QByteArray& line) {
        if (line == "BILD")
            requestSentMs_ = CurrentClock().nowMs();
    });

    if (!options_.afterPicture.empty()) {
        hook_ = std::make_unique<PictureHook>(options_.afterPicture,
                                              [this](const std::string& line) { report(line); });
        connect(hook_.get(), &PictureHook::runEnded, this, &CaptureRun::writeMetrics);
    }
    if (!options_.metricsFile.empty()) {
        metrics_.emplace(options_.portLabel);
        metrics_->setStartTime(static_cast<double>(CurrentClock().wallTimeMs()) / 1000);
        if (options_.mode == CaptureRunOptions::Mode::Interval)
            metrics_->setIntervalSeconds(options_.minutes * 60.0);
    }
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
    // A run that ended by itself (one picture) lets the command after its
    // picture finish, within the command's own time limit; a stop does not
    // wait: a command still running is ended, its whole group with it.
    if (hook_ && hook_->busy() && !stopped_) {
        const auto done = connect(hook_.get(), &PictureHook::runEnded, this, [this] {
            // Once the one that waited, if any, has had its turn too.
            QTimer::singleShot(0, this, [this] {
                if (!hook_->busy())
                    QCoreApplication::quit();
            });
        });
        QCoreApplication::exec();
        disconnect(done);
    }
    hook_.reset();
    clearProgressLine();
    return exitCode_;
}

template <typename Action> void CaptureRun::guarded(Action action) {
    try {
        action();
    } catch (const StopRequested&) {
        stop();
    } catch (const LineDropped& error) {
        // A picture kept aside just before the drop had its try; the drop
        // ends the next one, which needs a new call anyway. Between pictures
        // it is a failure like a port that cannot be opened.
        keptAsideNow_.reset();
        if (attemptRunning_)
            endAttempt(AttemptOutcome::LineDropped, error.what());
        else
            failed(error.what());
    } catch (const WriteError& error) {
        if (attemptRunning_) // the picture came: the try counts
            countAttempt(AttemptOutcome::StoreFailed);
        failed(error.describe());
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
    // shows straight away whether camera and line work. The metrics before,
    // so that a station that never gets a picture is seen from the start.
    writeMetrics();
    beginPicture();
}

void CaptureRun::beginPicture() {
    retryTimer_.stop();
    attempt_ = 1;
    runAttempt(options_.dialFirst);
}

void CaptureRun::runAttempt(bool dialFirst) {
    retryTimer_.stop();
    keptAsideNow_.reset();
    try {
        terminal_.connectPort(); // a port that cannot be opened is no try at the picture
    } catch (const UserError& error) {
        countAttempt(AttemptOutcome::PortFailed);
        failed(error.what());
        return;
    }
    attemptRunning_ = true;
    const std::optional<DialResult> dial = session_.startPictureReadingAnswer(
        dialFirst, std::int64_t{options_.answerWaitSeconds} * 1000);
    if (dial && metrics_)
        metrics_->count(StationMetrics::Counter::Dials, DialResultLabel(*dial));
    if (dial && *dial != DialResult::Connect && *dial != DialResult::Silent) {
        endAttempt(AttemptOutcome::DialFailed, DialResultText(*dial));
        return;
    }
    // --wartezeit counts from the request: the dial has its own limit.
    pictureDeadline_.start();
    // What the modem said to the dial is behind us.
    dropWatch_ = ModemLines(terminal_.receivedText().size());
}

void CaptureRun::afterTick() {
    if (keptAsideNow_) {
        const AttemptOutcome outcome = *keptAsideNow_;
        keptAsideNow_.reset();
        if (endAttempt(outcome, {}))
            requestAgain();
        return;
    }
    if (!attemptRunning_)
        return;
    // A call that drops while the picture arrives leaves its "NO CARRIER" in
    // the text: no need to wait out --wartezeit.
    while (const auto line = dropWatch_.nextAsReceived(terminal_.receivedText()))
        if (IsCallDropLine(*line)) {
            endAttempt(AttemptOutcome::LineDropped,
                       "Die Verbindung ist während des Bildes abgebrochen (NO CARRIER)");
            return;
        }
}

bool CaptureRun::endAttempt(AttemptOutcome outcome, const std::string& message, bool retry) {
    if (attemptRunning_)
        countAttempt(outcome);
    attemptRunning_ = false;
    pictureDeadline_.stop();
    if (options_.mode == CaptureRunOptions::Mode::OnePicture && storedCount_ > 0) {
        // A line that drops just after the picture arrived still stored it.
        if (!message.empty())
            report(message);
        QCoreApplication::quit();
        return false;
    }
    if (!message.empty())
        report(attemptText() + ": " + message);
    const bool damaged =
        outcome == AttemptOutcome::Damaged || outcome == AttemptOutcome::Unreadable;
    if (!damaged) {
        // Whatever the line was doing, the next try starts on a fresh port.
        terminal_.disconnectPort();
        session_.captureTimer().stop();
    }
    if (!retry || attempt_ >= options_.attempts)
        return pictureFailed(damaged);
    ++attempt_;
    if (damaged)
        return true; // asked again at once: the call stands
    retryTimer_.start(nextPauseMs());
    return false;
}

bool CaptureRun::pictureFailed(bool damaged) {
    attempt_ = 0;
    switch (options_.mode) {
    case CaptureRunOptions::Mode::OnePicture:
        exitCode_ = kExitFailed;
        QCoreApplication::quit();
        return false;
    case CaptureRunOptions::Mode::Interval:
        // The port closes as after a stored picture; the next tick tries anew.
        if (damaged)
            session_.modeFollowUp();
        return false;
    case CaptureRunOptions::Mode::Continuous:
        if (damaged) { // the next picture follows at once, as after a sound one
            attempt_ = 1;
            return true;
        }
        retryTimer_.start(nextPauseMs());
        return false;
    }
    return false;
}

void CaptureRun::requestAgain() {
    attemptRunning_ = true;
    pictureDeadline_.start();
    session_.requestPicture();
    dropWatch_ = ModemLines(terminal_.receivedText().size());
}

void CaptureRun::failed(const std::string& message) {
    report(message);
    pictureDeadline_.stop();
    attemptRunning_ = false;
    attempt_ = 0;
    // The capture tick stays on after a failed opening; nothing is coming.
    terminal_.disconnectPort();
    session_.captureTimer().stop();
    switch (options_.mode) {
    case CaptureRunOptions::Mode::OnePicture:
        if (storedCount_ == 0)
            exitCode_ = kExitFailed;
        QCoreApplication::quit();
        break;
    case CaptureRunOptions::Mode::Interval:
        break; // tried again at the next tick
    case CaptureRunOptions::Mode::Continuous:
        retryTimer_.start(nextPauseMs());
        break;
    }
}

void CaptureRun::stored(const QString& fileName, qint64 bytes) {
    clearProgressLine();
    ++storedCount_;
    failuresInARow_ = 0;
    attemptRunning_ = false;
    const std::int64_t wallMs = CurrentClock().wallTimeMs();
    const QString time =
        QDateTime::fromMSecsSinceEpoch(wallMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    // The newest copy first, so that it is there once the line tells of the
    // picture; the command after.
    copyNewest();
    std::cout << LocalBytes(fileName) << ": " << BytesText(bytes) << ", " << time.toStdString()
              << ", " << attemptText() << std::endl;
    runAfterPicture(LocalBytes(fileName), wallMs);
    if (metrics_)
        metrics_->setLastSoundPicture(static_cast<double>(wallMs) / 1000);
    countPicture(PictureVerdict::Sound);
    countAttempt(AttemptOutcome::Sound);
    pictureDeadline_.stop();
    attempt_ = 0;
    switch (options_.mode) {
    case CaptureRunOptions::Mode::OnePicture:
        QCoreApplication::quit();
        break;
    case CaptureRunOptions::Mode::Interval:
        break;
    case CaptureRunOptions::Mode::Continuous:
        // The session's follow-up requests the next picture right after.
        attempt_ = 1;
        attemptRunning_ = true;
        pictureDeadline_.start();
        dropWatch_ = ModemLines();
        break;
    }
}

void CaptureRun::keptAside(const QString& fileName, const QString& textFileName, qint64 bytes,
                           PictureVerdict verdict) {
    report(attemptText() + ": Bild " + VerdictText(verdict) + ", beiseitegelegt als " +
           LocalBytes(fileName) + " (" + BytesText(bytes) + ") mit " + LocalBytes(textFileName));
    keptAsideNow_ = verdict == PictureVerdict::Unreadable ? AttemptOutcome::Unreadable
                                                          : AttemptOutcome::Damaged;
    countPicture(verdict);
}

void CaptureRun::copyNewest() {
    if (options_.newestCopy.empty())
        return;
    try {
        WriteFileAtomically(options_.newestCopy, session_.lastPicture());
    } catch (const UserError& error) {
        report("Das neueste Bild konnte nicht nach " + options_.newestCopy +
               " kopiert werden: " + error.what());
    }
}

void CaptureRun::runAfterPicture(const std::string& fileName, std::int64_t wallMs) {
    if (hook_)
        hook_->picture({AbsolutePath(fileName),
                        static_cast<std::int64_t>(session_.lastPicture().size()), IsoTime(wallMs),
                        std::max(attempt_, 1)});
}

void CaptureRun::countAttempt(AttemptOutcome outcome) {
    if (!metrics_)
        return;
    metrics_->count(StationMetrics::Counter::Attempts, AttemptOutcomeLabel(outcome));
    writeMetrics();
}

void CaptureRun::countPicture(PictureVerdict verdict) {
    if (!metrics_)
        return;
    metrics_->count(StationMetrics::Counter::Pictures, PictureLabel(verdict));
    // Its size, and how fast the line brought it from the request to its
    // end marker.
    const CaptureProgress& progress = session_.progress();
    metrics_->setLastPictureBytes(progress.pictureBytes);
    const std::int64_t tookMs = CurrentClock().nowMs() - requestSentMs_;
    if (requestSentMs_ >= 0 && tookMs > 0)
        metrics_->setLineBytesPerSecond(static_cast<double>(progress.lineCharacters) * 1000 /
                                        static_cast<double>(tookMs));
}

void CaptureRun::writeMetrics() {
    if (!metrics_)
        return;
    if (hook_) {
        const PictureHook::Counts& runs = hook_->counts();
        metrics_->setCount(StationMetrics::Counter::HookRuns, "ok", runs.ok);
        metrics_->setCount(StationMetrics::Counter::HookRuns, "failed", runs.failed);
        metrics_->setCount(StationMetrics::Counter::HookRuns, "timed_out", runs.timedOut);
        metrics_->setCount(StationMetrics::Counter::HookRuns, "skipped", runs.skipped);
    }
    try {
        metrics_->writeTo(options_.metricsFile);
        metricsFailing_ = false;
    } catch (const UserError& error) {
        if (!metricsFailing_)
            report("Die Metriken konnten nicht nach " + options_.metricsFile +
                   " geschrieben werden: " + DescribeFailure(error));
        metricsFailing_ = true;
    } catch (const std::bad_alloc&) {
        metricsFailing_ = true;
    }
}

void CaptureRun::report(const std::string& line) {
    clearProgressLine();
    std::cerr << kProgram << line << std::endl;
}

std::string CaptureRun::attemptText() const {
    return "Versuch " + std::to_string(std::max(attempt_, 1)) + " von " +
           std::to_string(options_.attempts);
}

int CaptureRun::nextPauseMs() {
    const int doublings = std::min(failuresInARow_, 4);
    ++failuresInARow_;
    return std::min(kFirstRetryPauseMs << doublings, kLongestRetryPauseMs);
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
    stopped_ = true;
    stopNotifier_.setEnabled(false);
    QCoreApplication::quit();
}
