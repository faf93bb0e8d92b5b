#include "camera/capture_session.h"

#include "camera/capture_controls.h"
#include "camera/modem_answer.h"
#include "camera/picture_names.h"
#include "camera/picture_verdict.h"
#include "camera/terminal.h"
#include "capture/hex_capture.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/user_error.h"
#include "serial/integer_field.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::uint32_t kLinePauseMs = 1000;
constexpr std::uint32_t kCallSetupWaitMs = 30000;
constexpr qint64 kMsPerMinute = 60000;

QString LocalText(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

CaptureSession::CaptureSession(CaptureControls& controls, QObject* parent)
    : QObject(parent), controls_(controls) {
    captureTimer_.setInterval(1000);
    intervalTimer_.setInterval(0);
    intervalTimer_.setSingleShot(true);
    // A coarse timer rounds waits of 20 s and more to whole seconds.
    intervalTimer_.setTimerType(Qt::PreciseTimer);
    connect(&intervalTimer_, &QTimer::timeout, this, &CaptureSession::checkIntervalSchedule);
}

void CaptureSession::setTerminal(Terminal* terminal) {
    terminal_ = terminal;
    if (terminal_)
        terminal_->setBeforeLineDropHandler([this] {
            captureBuffer_ = terminal_->receivedText();
            storeCompletePicture(false);
        });
}

void CaptureSession::timerTick() {
    if (terminal_)
        captureBuffer_ = terminal_->receivedText();
    decodeAndStore();
}

void CaptureSession::decodeAndStore() {
    storeCompletePicture(true);
}

void CaptureSession::storeCompletePicture(bool withFollowUp) {
    // A new name at every run, whether or not a picture is complete.
    const std::string stem = controls_.fileStem();
    const std::uint32_t tick = CurrentClock().tickCount();
    const DecodedCapture decoded = DecodeHexCapture(captureBuffer_);
    if (!decoded.endSeen) {
        if (decoded.startSeen)
            setProgress(CaptureProgress::Stage::Arriving, decoded.bytes.size());
        return;
    }

    // The picture that failed last time, still there unchanged: a store that
    // failed is tried again at every tick (a folder made, a disk freed) but
    // reported only once; a picture stored whose display failed is left
    // alone, unless the user changed the name it goes under.
    bool retrying = false;
    if (!failedPicture_.empty()) {
        const bool samePicture =
            captureBuffer_.compare(0, failedPicture_.size(), failedPicture_) == 0;
        if (samePicture && failedWhere_ == FailedStep::Showing && stem == failedStem_)
            return;
        retrying = samePicture && failedWhere_ == FailedStep::Store;
        if (!samePicture)
            failedPicture_.clear();
    }
    auto remember = [&](FailedStep where) {
        failedPicture_ = captureBuffer_.substr(0, decoded.endPosition);
        failedStem_ = stem;
        failedWhere_ = where;
    };
    // Judged on the text up to its end marker: what follows is the next one's.
    const std::string_view pictureText =
        std::string_view(captureBuffer_).substr(0, decoded.endPosition);
    const PictureVerdict verdict = JudgePicture(pictureText, decoded.bytes);
    const bool keptAside = keepsDamagedAside_ && verdict != PictureVerdict::Sound;
    const PictureFileNames names =
        NamePictureFiles(stem, tick, keptAside ? VerdictFileWord(verdict) : "");
    const std::string& name = names.picture;
    auto write = [this](const std::string& path, std::string_view bytes) {
        if (atomicStores_)
            WriteFileAtomically(path, bytes);
        else
            WriteFileReplacing(path, bytes);
    };
    try {
        write(name, decoded.bytes);
        if (keptAside)
            write(names.receivedText, PictureText(pictureText, decoded));
    } catch (const UserError&) {
        remember(FailedStep::Store);
        if (retrying)
            return; // its failure is on screen already
        throw;
    }
    failedPicture_.clear();
    try {
        if (controls_.showsPictures() && !keptAside)
            controls_.showPicture(name);
    } catch (...) {
        remember(FailedStep::Showing);
        throw;
    }

    if (terminal_)
        terminal_->clearReceivedText();
    setProgress(CaptureProgress::Stage::Stored, decoded.bytes.size(), name, verdict);
    const auto bytes = static_cast<qint64>(decoded.bytes.size());
    if (keptAside) {
        // What comes next is the front end's to say: another try, or the
        // modes' follow-up once it has no tries left.
        emit pictureKeptAside(LocalText(name), LocalText(names.receivedText), bytes, verdict);
        return;
    }
    emit pictureStored(LocalText(name), bytes);
    if (withFollowUp)
        modeFollowUp();
}

void CaptureSession::modeFollowUp() {
    if (intervalMode_ && !withoutReconnect_ && terminal_)
        terminal_->disconnectPort();
    if (continuousMode_)
        requestPicture();
}

void CaptureSession::sendCommandLine(const std::string& line) {
    if (!terminal_)
        return;
    terminal_->setCommandField(line);
    terminal_->connectPort(); // opens the port on the first line, a no-op later
    terminal_->send();
}

void CaptureSession::dial() {
    // Open loop: the modem's replies land in the received text and are not awaited.
    sendCommandLine("AT");
    CurrentClock().sleepMs(kLinePauseMs);
    sendCommandLine("ATD " + controls_.phoneNumber());
}

DialResult CaptureSession::dialReadingAnswer(std::int64_t answerWaitMs) {
    Clock& clock = CurrentClock();
    // Whatever the line holds before the dial, the answer to "AT" included,
    // is taken in during the pause, so that only what follows "ATD" is read.
    auto pollOnly = [this] {
        if (terminal_ && terminal_->connected())
            terminal_->poll();
        return false;
    };
    sendCommandLine("AT");
    clock.waitFor(pollOnly, clock.nowMs() + kLinePauseMs);
    ModemAnswerReader answer(terminal_ ? terminal_->receivedText().size() : 0);
    sendCommandLine("ATD " + controls_.phoneNumber());
    std::optional<DialResult> result;
    clock.waitFor(
        [&] {
            pollOnly();
            if (terminal_)
                result = answer.read(terminal_->receivedText());
            return result.has_value();
        },
        clock.nowMs() + answerWaitMs);
    return result.value_or(DialResult::Silent);
}

std::optional<DialResult> CaptureSession::startPictureReadingAnswer(bool dialFirst,
                                                                    std::int64_t answerWaitMs) {
    if (terminal_)
        terminal_->clearReceivedText();
    failedPicture_.clear();
    std::optional<DialResult> result;
    if (dialFirst) {
        result = dialReadingAnswer(answerWaitMs);
        if (*result != DialResult::Connect && *result != DialResult::Silent)
            return result;
    }
    requestPicture();
    return result;
}

void CaptureSession::requestPicture() {
    // Each option is read when its line goes out.
    sendCommandLine(controls_.flash() ? "CONBE" : "CONBA");
    CurrentClock().sleepMs(kLinePauseMs);
    sendCommandLine(controls_.direct() ? "CONSD" : "CONSI");
    CurrentClock().sleepMs(kLinePauseMs);
    sendCommandLine(controls_.large() ? "CONRH" : "CONRL");
    CurrentClock().sleepMs(kLinePauseMs);
    sendCommandLine("BILD");
}

void CaptureSession::setIntervalMode(bool on, const std::string& minutesText) {
    if (on == intervalMode_)
        return;
    intervalMode_ = on;
    if (!on) {
        setIntervalTimer(false, intervalMinutes_);
        emit modesChanged();
        return;
    }
    // The buttons hide and "Fortlaufend" clears before the minutes are read,
    // so a bad number leaves just that and the timer as it was.
    continuousMode_ = false;
    emit modesChanged();
    const std::int32_t minutes = ParseIntegerField(minutesText);
    if (minutes < 0 || minutes > kMaxIntervalMinutes)
        throw UserError::withDetail("'%s' ist keine gültige Anzahl Minuten, erlaubt sind 0 bis " +
                                        std::to_string(kMaxIntervalMinutes),
                                    minutesText);
    setIntervalTimer(true, minutes);
    emit modesChanged();
}

void CaptureSession::setContinuousMode(bool on) {
    if (on == continuousMode_)
        return;
    continuousMode_ = on;
    if (on) {
        withoutReconnect_ = true;
        if (intervalMode_) {
            intervalMode_ = false;
            setIntervalTimer(false, intervalMinutes_);
        }
        setIntervalTimer(false, intervalMinutes_);
    }
    emit modesChanged();
}

void CaptureSession::setWithoutReconnect(bool on) {
    // While continuous mode is on, the box cannot be cleared.
    withoutReconnect_ = on || continuousMode_;
    emit modesChanged();
}

void CaptureSession::setIntervalTimer(bool enabled, std::int32_t minutes) {
    intervalEnabled_ = enabled;
    intervalMinutes_ = minutes;
    const std::int64_t intervalMs = minutes * kMsPerMinute;
    // A zero interval would fire continuously; with 0 minutes it never fires.
    if (enabled && intervalMs > 0) {
        intervalStartMs_ = CurrentClock().nowMs(); // (re)starts the count
        intervalTicksDue_ = 1;
        armIntervalTimer(intervalMs);
    } else {
        intervalTimer_.stop();
        intervalTimer_.setInterval(0);
    }
}

void CaptureSession::armIntervalTimer(std::int64_t milliseconds) {
    // One timer run holds at most a signed 32-bit count of milliseconds.
    intervalTimer_.start(static_cast<int>(std::clamp<std::int64_t>(milliseconds, 1, INT32_MAX)));
}

std::int64_t CaptureSession::intervalDueAtMs() const {
    if (!intervalTimer_.isActive())
        return -1;
    return intervalStartMs_ + intervalTicksDue_ * (intervalMinutes_ * kMsPerMinute);
}

qint64 CaptureSession::msUntilIntervalDue() const {
    const std::int64_t due = intervalDueAtMs();
    return due < 0 ? -1 : std::max<std::int64_t>(due - CurrentClock().nowMs(), 0);
}

void CaptureSession::checkIntervalSchedule() {
    const std::int64_t intervalMs = intervalMinutes_ * kMsPerMinute;
    if (!intervalEnabled_ || intervalMs <= 0)
        return;
    const std::int64_t now = CurrentClock().nowMs();
    const std::int64_t due = intervalStartMs_ + intervalTicksDue_ * intervalMs;
    if (now < due) {
        armIntervalTimer(due - now);
        return;
    }
    // The next tick keeps to the schedule however late this one is; ticks
    // missed altogether (a machine asleep) make one.
    intervalTicksDue_ = (now - intervalStartMs_) / intervalMs + 1;
    armIntervalTimer(intervalStartMs_ + intervalTicksDue_ * intervalMs - now);
    emit intervalDue();
}

void CaptureSession::intervalTick() {
    startPicture(withoutReconnect_);
}

void CaptureSession::startPicture(bool dialFirst) {
    if (terminal_)
        terminal_->clearReceivedText();
    failedPicture_.clear();
    if (dialFirst) {
        dial();
        CurrentClock().sleepMs(kCallSetupWaitMs);
    }
    requestPicture();
}

void CaptureSession::setProgress(CaptureProgress::Stage stage, std::size_t bytes,
                                 std::string fileName, PictureVerdict verdict) {
    progress_.stage = stage;
    progress_.pictureBytes = bytes;
    if (stage == CaptureProgress::Stage::Arriving) {
        arrivalRate_.add(CurrentClock().nowMs(), bytes);
    } else {
        arrivalRate_.reset();
    }
    progress_.bytesPerSecond = arrivalRate_.bytesPerSecond();
    if (stage == CaptureProgress::Stage::Stored) {
        progress_.fileName = std::move(fileName);
        progress_.lastStoredBytes = bytes;
        progress_.verdict = verdict;
    }
    emit progressChanged();
}
