#include "tools/capture/capture_run.h"

#include "platform/clock.h"
#include "tools/capture/picture_hook.h"
#include "tools/capture/stop_signals.h"

#include <QCoreApplication>
#include <algorithm>
#include <climits>
#include <iostream>
#include <new>
#include <unistd.h>

namespace {

// The escape's two silences and the modem's answers take about four seconds.
constexpr int kLongestStopMs = 15000;

} // namespace

StationSettings StationSettingsOf(const CaptureRunOptions& options) {
    StationSettings settings;
    switch (options.mode) {
    case CaptureRunOptions::Mode::OnePicture:
        settings.mode = StationSettings::Mode::OnePicture;
        break;
    case CaptureRunOptions::Mode::Interval:
        settings.mode = StationSettings::Mode::Interval;
        break;
    case CaptureRunOptions::Mode::Continuous:
        settings.mode = StationSettings::Mode::Continuous;
        break;
    }
    settings.minutes = options.minutes;
    settings.dialFirst = options.dialFirst;
    settings.attempts = options.attempts;
    settings.answerWaitMs = std::int64_t{options.answerWaitSeconds} * 1000;
    settings.pictureTimeoutMs = std::int64_t{options.pictureTimeoutSeconds} * 1000;
    settings.naming = options.timeNames ? PictureNaming::LocalTime : PictureNaming::TickCount;
    settings.stem = options.stem;
    settings.phoneNumber = options.phoneNumber;
    settings.flash = options.flash;
    settings.direct = options.direct;
    settings.large = options.large;
    settings.holdCall = options.holdCall;
    if (!options.modemInit.empty())
        settings.modemInit = options.modemInit;
    return settings;
}

CaptureRun::CaptureRun(const CaptureRunOptions& options, const StopSignals& stop)
    : options_(options), terminal_(received_), line_(terminal_),
      loop_(StationSettingsOf(options), line_),
      stopNotifier_(stop.notifyFd(), QSocketNotifier::Read),
      errors_(std::cerr, ::isatty(STDERR_FILENO) == 1), failureLines_(errors_),
      pictureLines_(std::cout, errors_) {
    terminal_.setPortSettingsSource([this] { return options_.port; });
    deadline_.setSingleShot(true);
    deadline_.setTimerType(Qt::PreciseTimer);
    connect(&deadline_, &QTimer::timeout, this, [this] { step([this] { loop_.timeReached(); }); });
    connect(&terminal_.pollTimer(), &QTimer::timeout, this, [this] { step([this] { poll(); }); });
    connect(&stopNotifier_, &QSocketNotifier::activated, this, &CaptureRun::stop);

    // The readers, in the order they hear each event: the failure lines
    // clear the progress line first; the newest copy is there once the line
    // on standard output tells of the picture; the command after.
    loop_.addReader(failureLines_);
    if (!options_.newestCopy.empty()) {
        newestCopy_ = std::make_unique<NewestCopy>(options_.newestCopy, errors_);
        loop_.addReader(*newestCopy_);
    }
    loop_.addReader(pictureLines_);
    if (!options_.afterPicture.empty()) {
        hook_ = std::make_unique<PictureHook>(
            options_.afterPicture, [this](const std::string& line) { errors_.line(line); });
        hookRuns_ = std::make_unique<HookRuns>(*hook_);
        loop_.addReader(*hookRuns_);
    }
    const double intervalSeconds =
        options_.mode == CaptureRunOptions::Mode::Interval ? options_.minutes * 60.0 : 0;
    if (!options_.journalFile.empty()) {
        journal_ = std::make_unique<JournalFile>(options_.journalFile, options_.portLabel,
                                                 intervalSeconds, errors_);
        loop_.addReader(*journal_);
    }
    if (!options_.metricsFile.empty()) {
        metrics_ = std::make_unique<MetricsFile>(options_.portLabel, intervalSeconds,
                                                 options_.metricsFile, errors_);
        loop_.addReader(*metrics_);
        if (hook_)
            connect(hook_.get(), &PictureHook::runEnded, this,
                    [this] { metrics_->setHookCounts(hook_->counts()); });
    }
}

CaptureRun::~CaptureRun() {
    terminal_.disconnectPort();
}

int CaptureRun::exec() {
    // Started from inside the event loop, so that a stop at once finds a
    // loop to end.
    QTimer::singleShot(0, this, [this] { step([this] { loop_.start(); }); });
    QCoreApplication::exec();
    deadline_.stop();
    terminal_.disconnectPort();
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
    errors_.clearProgress();
    return stopped_ ? kExitOk : loop_.exitCode();
}

template <typename Action> void CaptureRun::step(Action action) {
    if (loop_.finished())
        return;
    action();
    if (loop_.finished()) {
        QCoreApplication::quit();
        return;
    }
    const std::int64_t due = loop_.nextDeadlineMs();
    if (due < 0) {
        deadline_.stop();
        return;
    }
    const std::int64_t wait = std::clamp<std::int64_t>(due - CurrentClock().nowMs(), 0, INT_MAX);
    deadline_.start(static_cast<int>(wait));
}

void CaptureRun::poll() {
    try {
        terminal_.poll();
    } catch (const LineDropped& error) {
        loop_.lineDropped(error.what());
        return;
    } catch (const std::bad_alloc&) {
        errors_.line("Nicht genügend Arbeitsspeicher für diese Aktion");
        return;
    }
    loop_.lineChanged();
}

void CaptureRun::stop() {
    stopped_ = true;
    stopNotifier_.setEnabled(false);
    // A call the station made is ended first, within moments; should the
    // modem not let go, the stop does not wait for ever.
    QTimer::singleShot(kLongestStopMs, this, [] { QCoreApplication::quit(); });
    step([this] { loop_.stop(); });
}
