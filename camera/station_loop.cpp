#include "camera/station_loop.h"

#include "camera/command_sequences.h"
#include "camera/terminal.h"
#include "camera/text_formats.h"
#include "capture/hex_capture.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/user_error.h"

#include <algorithm>
#include <new>

namespace {

// Pauses before another try after a failed call or line: 5 s, doubling up
// to a minute.
constexpr int kFirstRetryPauseMs = 5000;
constexpr int kLongestRetryPauseMs = 60000;
constexpr std::int64_t kProgressEveryMs = 1000;
constexpr std::string_view kEndMarker = "CAM_E";
// The modem's answer to the check before a dial, and the escape's guard
// silence and answers.
constexpr std::int64_t kModemAnswerMs = 2000;
constexpr std::int64_t kEscapeGuardMs = 1000;
// The silence before the escape, with a margin: the modem counts it from the
// last byte it took, which left here a moment after the write began.
constexpr std::int64_t kSilenceBeforeEscapeMs = 1100;
constexpr std::int64_t kEscapeAnswerMs = 2000;
constexpr std::int64_t kHangUpAnswerMs = 5000;

// "OK" (or "0"), or "ERROR" (or "4"): a modem in command mode that listens.
bool IsModemListening(std::string_view line) {
    return line == "OK" || line == "0" || line == "ERROR" || line == "4";
}

bool IsOk(std::string_view line) {
    return line == "OK" || line == "0";
}

bool IsNoCarrier(std::string_view line) {
    return line == "NO CARRIER" || line == "3";
}

bool CountsAsTry(AttemptOutcome outcome) {
    return outcome != AttemptOutcome::PortFailed && outcome != AttemptOutcome::StoreFailed;
}

AttemptOutcome OutcomeOf(PictureVerdict verdict) {
    switch (verdict) {
    case PictureVerdict::Sound:
        break;
    case PictureVerdict::Damaged:
        return AttemptOutcome::Damaged;
    case PictureVerdict::Unreadable:
        return AttemptOutcome::Unreadable;
    }
    return AttemptOutcome::Sound;
}

} // namespace

void TerminalStationLine::open() {
    terminal_.connectPort();
}

void TerminalStationLine::close() {
    terminal_.disconnectPort();
}

void TerminalStationLine::send(const std::string& line) {
    terminal_.setCommandField(line);
    terminal_.send();
}

void TerminalStationLine::sendBytes(const std::string& bytes) {
    terminal_.sendBytes(bytes);
}

const std::string& TerminalStationLine::received() const {
    return terminal_.receivedText();
}

void TerminalStationLine::clearReceived() {
    terminal_.clearReceivedText();
}

StationLoop::StationLoop(StationSettings settings, StationLine& line)
    : settings_(std::move(settings)), line_(line), controls_(settings_),
      store_(settings_.naming, UnsoundPictures::KeptAside) {}

template <typename Action> void StationLoop::guarded(Action action) {
    try {
        action();
    } catch (const LineDropped& error) {
        recover(AttemptOutcome::LineDropped, error.what());
    } catch (const UserError& error) {
        recover(AttemptOutcome::NoPicture, error.what());
    } catch (const std::bad_alloc&) {
        recover(AttemptOutcome::NoPicture, "Nicht genügend Arbeitsspeicher für diese Aktion");
    }
}

void StationLoop::recover(AttemptOutcome outcome, const std::string& failure) {
    // What the failure ends may send again (another try on the open line),
    // and fail again: each failure ends what it meets, in turn.
    guarded([&] {
        if (state_ == StationState::HangingUp) {
            hangUpEnded(false, "Das Modem hat nicht aufgelegt: " + failure);
            return;
        }
        if (attemptRunning()) {
            endAttempt(outcome, failure);
            return;
        }
        StationEvent notice = event(StationEvent::Kind::Notice);
        notice.message = failure;
        tell(notice);
    });
}

bool StationLoop::attemptRunning() const {
    switch (state_) {
    case StationState::CheckingModem:
    case StationState::Dialling:
    case StationState::AwaitingAnswer:
    case StationState::Requesting:
    case StationState::Arriving:
        return true;
    default:
        return false;
    }
}

void StationLoop::start() {
    guarded([this] {
        tell(event(StationEvent::Kind::Started));
        if (settings_.mode == StationSettings::Mode::Interval)
            schedule_.start(CurrentClock().nowMs(), std::int64_t{settings_.minutes} * 60000);
        // The first picture at once, also with an interval: a station
        // started at boot shows straight away whether camera and line work.
        beginPicture();
    });
}

void StationLoop::beginPicture() {
    ++picture_;
    attempt_ = 1;
    beginAttempt();
}

void StationLoop::newAttempt() {
    attemptStartMs_ = CurrentClock().nowMs();
    attemptDial_.reset();
    attemptFile_.clear();
    attemptBytes_ = 0;
}

void StationLoop::beginAttempt() {
    newAttempt();
    stepDueMs_ = arrivalDueMs_ = -1;
    try {
        line_.open();
    } catch (const LineDropped&) {
        throw;
    } catch (const UserError& error) {
        endAttempt(AttemptOutcome::PortFailed, error.what());
        return;
    }
    tell(event(StationEvent::Kind::AttemptBegun));
    line_.clearReceived();
    if (!settings_.dialFirst)
        sendRequestLine(0);
    else if (settings_.holdCall)
        sendDialLine(0);
    else if (callUp_ || callMaybe_)
        hangUp(AfterHangUp::CheckModem); // never a dial into a call still up
    else
        checkModem(1);
}

void StationLoop::send(const std::string& line) {
    lastSendMs_ = CurrentClock().nowMs();
    line_.send(line);
}

void StationLoop::checkModem(int round) {
    modemCheckRound_ = round;
    answerLines_ = ModemLines(line_.received().size());
    state_ = StationState::CheckingModem;
    modemCheckedMs_ = CurrentClock().nowMs();
    stepDueMs_ = modemCheckedMs_ + kModemAnswerMs;
    send(settings_.modemInit);
}

void StationLoop::modemChecked() {
    // "ATD" a second after "AT" as ever, or as soon as the answer came.
    const std::int64_t due =
        modemCheckedMs_ + SequenceLineAt(CommandSequence::Dial, 0, controls_).pauseAfterMs;
    if (CurrentClock().nowMs() >= due) {
        sendDialLine(1);
        return;
    }
    state_ = StationState::Dialling;
    stepDueMs_ = due;
}

void StationLoop::beginRequest() {
    // On the line that is open: the call stands.
    newAttempt();
    tell(event(StationEvent::Kind::AttemptBegun));
    sendRequestLine(0);
}

void StationLoop::sendDialLine(std::size_t index) {
    const SequenceLine line = SequenceLineAt(CommandSequence::Dial, index, controls_);
    const std::int64_t now = CurrentClock().nowMs();
    // The state first: a line that drops under the send ends this attempt.
    if (index == 0) {
        state_ = StationState::Dialling;
        stepDueMs_ = now + line.pauseAfterMs;
        send(line.text);
        return;
    }
    // Whatever came before, the answer to "AT" included, is behind us: only
    // what follows "ATD" is read.
    answer_ = ModemAnswerReader(line_.received().size());
    state_ = StationState::AwaitingAnswer;
    stepDueMs_ = now + settings_.answerWaitMs;
    send(line.text);
}

void StationLoop::dialAnswered(DialResult result) {
    stepDueMs_ = -1;
    attemptDial_ = result;
    StationEvent answered = event(StationEvent::Kind::DialAnswered);
    answered.dial = result;
    tell(answered);
    if (result == DialResult::Connect) {
        callUp_ = true;
        callStartMs_ = CurrentClock().nowMs();
        tell(event(StationEvent::Kind::CallBegun));
    } else if (result == DialResult::Silent) {
        callMaybe_ = true;
    }
    // On CONNECT the request goes out at once; a modem that says nothing
    // has had its time.
    if (result == DialResult::Connect || result == DialResult::Silent)
        sendRequestLine(0);
    else
        endAttempt(AttemptOutcome::DialFailed, DialResultText(result));
}

void StationLoop::sendRequestLine(std::size_t index) {
    const SequenceLine line = SequenceLineAt(CommandSequence::PictureRequest, index, controls_);
    const std::int64_t now = CurrentClock().nowMs();
    requestLine_ = index;
    if (index + 1 < SequenceLength(CommandSequence::PictureRequest)) {
        state_ = StationState::Requesting;
        stepDueMs_ = now + line.pauseAfterMs;
        send(line.text);
        return;
    }
    state_ = StationState::Arriving;
    stepDueMs_ = -1;
    // The picture's time counts from the request: the dial has its own.
    arrivalDueMs_ = now + settings_.pictureTimeoutMs;
    requestSentMs_ = now;
    dropWatch_ = ModemLines(line_.received().size());
    scannedTo_ = 0;
    progressShownMs_ = -1;
    arrivalRate_.reset();
    send(line.text);
    tell(event(StationEvent::Kind::RequestSent));
}

void StationLoop::lineChanged() {
    guarded([this] {
        switch (state_) {
        case StationState::CheckingModem:
            while (const auto modemLine = answerLines_.next(line_.received()))
                if (IsModemListening(*modemLine)) {
                    modemChecked();
                    return;
                }
            break;
        case StationState::AwaitingAnswer:
            if (const auto result = answer_.read(line_.received()))
                dialAnswered(*result);
            break;
        case StationState::Arriving:
            lookAtArrival();
            break;
        case StationState::HangingUp:
            hangUpLines();
            break;
        default:
            break;
        }
    });
}

void StationLoop::lineDropped(const std::string& message) {
    // A picture complete when the line went is still taken.
    guarded([this] {
        if (state_ == StationState::Arriving)
            lookAtArrival();
    });
    // The modem went with the line.
    callEnded();
    callMaybe_ = false;
    recover(AttemptOutcome::LineDropped, message);
}

void StationLoop::lookAtArrival() {
    const std::string& text = line_.received();
    // Only what came since the last look can hold the end marker (a marker
    // cut across two chunks included).
    std::size_t from = scannedTo_ > kEndMarker.size() ? scannedTo_ - kEndMarker.size() + 1 : 0;
    if (text.size() < scannedTo_)
        from = 0;
    scannedTo_ = text.size();
    if (text.find(kEndMarker, from) != std::string::npos) {
        const DecodedCapture decoded = DecodeHexCapture(text);
        if (decoded.endSeen) {
            judge(decoded);
            return;
        }
    }
    // A call that drops while the picture arrives leaves its "NO CARRIER"
    // in the text: no need to wait out the time limit. Only a line end that
    // came now can complete a line.
    const bool lineEndCame =
        text.find_first_of("\r\n", std::min(from, text.size())) != std::string::npos;
    while (const auto modemLine = lineEndCame ? dropWatch_.nextAsReceived(text) : std::nullopt)
        if (IsCallDropLine(*modemLine)) {
            callEnded();
            endAttempt(AttemptOutcome::LineDropped,
                       "Die Verbindung ist während des Bildes abgebrochen (NO CARRIER)");
            return;
        }
    const std::int64_t now = CurrentClock().nowMs();
    if (progressShownMs_ >= 0 && now - progressShownMs_ < kProgressEveryMs)
        return;
    const DecodedCapture partial = DecodeHexCapture(text);
    if (!partial.startSeen)
        return;
    progressShownMs_ = now;
    arrivalRate_.add(now, partial.bytes.size());
    StationEvent arriving = event(StationEvent::Kind::PictureArriving);
    arriving.progress.stage = CaptureProgress::Stage::Arriving;
    arriving.progress.pictureBytes = partial.bytes.size();
    arriving.progress.bytesPerSecond = arrivalRate_.bytesPerSecond();
    arriving.progress.lastStoredBytes = lastStoredBytes_;
    tell(arriving);
}

void StationLoop::judge(const DecodedCapture& decoded) {
    const std::string moment = store_.momentNow();
    StoredPicture stored;
    try {
        stored = store_.store(line_.received(), decoded, settings_.stem, moment);
    } catch (const UserError& error) {
        // The station says which file and why; the window keeps its word.
        line_.clearReceived();
        endAttempt(AttemptOutcome::StoreFailed, DescribeFailure(error));
        return;
    }
    line_.clearReceived();
    const std::int64_t tookMs = CurrentClock().nowMs() - requestSentMs_;
    StationEvent told = event(stored.keptAside ? StationEvent::Kind::PictureKeptAside
                                               : StationEvent::Kind::PictureStored);
    told.file = stored.fileName;
    told.textFile = stored.textFileName;
    told.bytes = static_cast<std::int64_t>(decoded.bytes.size());
    told.verdict = stored.verdict;
    told.pictureBytes = decoded.bytes;
    if (requestSentMs_ >= 0 && tookMs > 0)
        told.lineCharactersPerSecond =
            static_cast<double>(stored.lineCharacters) * 1000 / static_cast<double>(tookMs);
    tell(told);
    attemptFile_ = stored.fileName;
    attemptBytes_ = told.bytes;
    if (!stored.keptAside)
        lastStoredBytes_ = decoded.bytes.size();
    endAttempt(stored.keptAside ? OutcomeOf(stored.verdict) : AttemptOutcome::Sound);
}

void StationLoop::timeReached() {
    guarded([this] {
        const std::int64_t now = CurrentClock().nowMs();
        if (schedule_.take(now)) {
            // A hang-up under way is finished first.
            if (state_ == StationState::HangingUp)
                pictureDuePending_ = true;
            else
                pictureDue();
            return;
        }
        if (arrivalDueMs_ >= 0 && now >= arrivalDueMs_) {
            endAttempt(AttemptOutcome::NoPicture,
                       "Innerhalb von " + SecondsText(settings_.pictureTimeoutMs / 1000) +
                           " ist kein Bild angekommen");
            return;
        }
        if (stepDueMs_ < 0 || now < stepDueMs_)
            return;
        stepDueMs_ = -1;
        switch (state_) {
        case StationState::CheckingModem:
            // No answer: perhaps a call is still up from a run before, and
            // the modem passes "AT" to the far side. After the escape and
            // "ATH", a modem that still says nothing has its result codes
            // off: the dial goes on blind.
            if (modemCheckRound_ == 1)
                hangUp(AfterHangUp::CheckModemAgain);
            else
                sendDialLine(1);
            break;
        case StationState::HangingUp:
            hangUpStep();
            break;
        case StationState::Dialling:
            sendDialLine(1);
            break;
        case StationState::AwaitingAnswer:
            dialAnswered(DialResult::Silent);
            break;
        case StationState::Requesting:
            sendRequestLine(requestLine_ + 1);
            break;
        case StationState::Pausing:
            if (afterPause_ == AfterPause::NextPicture)
                beginPicture();
            else
                beginAttempt();
            break;
        default:
            break;
        }
    });
}

void StationLoop::pictureDue() {
    // The schedule holds: a try still under way ends here, and a pause
    // before another is cut short.
    if (attemptRunning()) {
        scheduleEndsAttempt_ = true;
        endAttempt(AttemptOutcome::NoPicture, "Das nächste Bild ist fällig");
        scheduleEndsAttempt_ = false;
    }
    // The call of the picture given up ends first.
    if (state_ == StationState::HangingUp)
        pictureDuePending_ = true;
    else
        beginPicture();
}

void StationLoop::endAttempt(AttemptOutcome outcome, std::string message) {
    stepDueMs_ = arrivalDueMs_ = -1;
    StationEvent ended = event(StationEvent::Kind::AttemptEnded);
    ended.outcome = outcome;
    ended.countsAsTry = CountsAsTry(outcome);
    ended.message = std::move(message);
    ended.dial = attemptDial_;
    ended.file = attemptFile_;
    ended.bytes = attemptBytes_;
    // Out of the attempt before the readers hear of it.
    state_ = StationState::Idle;
    tell(ended);
    decideNext(outcome);
}

void StationLoop::decideNext(AttemptOutcome outcome) {
    const bool sound = outcome == AttemptOutcome::Sound;
    const bool keptAside =
        outcome == AttemptOutcome::Damaged || outcome == AttemptOutcome::Unreadable;
    if (sound) {
        ++storedCount_;
        failuresInARow_ = 0;
    }
    // Whatever the line was doing, the next try starts on a fresh port; a
    // picture that came, sound or not, leaves the call standing.
    if (!sound && !keptAside)
        line_.close();
    const bool anotherTry =
        !sound && CountsAsTry(outcome) && !scheduleEndsAttempt_ && attempt_ < settings_.attempts;
    if (anotherTry) {
        ++attempt_;
        if (keptAside)
            beginRequest(); // asked again at once
        else
            pause(AfterPause::NextAttempt);
        return;
    }
    if (!sound)
        tell(event(StationEvent::Kind::PictureGivenUp));
    // The picture is done with: a call made for it ends, unless the station
    // keeps it up for the next one.
    const bool endCall = (callUp_ || callMaybe_) && !settings_.holdCall &&
                         settings_.mode != StationSettings::Mode::Continuous;
    switch (settings_.mode) {
    case StationSettings::Mode::OnePicture:
        finishCode_ = storedCount_ > 0 ? kExitOk : kExitFailed;
        if (endCall)
            hangUp(AfterHangUp::Finish);
        else
            finish(finishCode_);
        return;
    case StationSettings::Mode::Interval:
        if (endCall) {
            hangUp(AfterHangUp::AwaitPicture);
            return;
        }
        // Without a dial before each picture the port closes after it, as
        // the window's "alle" without "ohne Reconnect" does.
        if (!settings_.dialFirst)
            line_.close();
        state_ = StationState::AwaitingPicture;
        return;
    case StationSettings::Mode::Continuous:
        if (sound || keptAside) {
            ++picture_;
            attempt_ = 1;
            beginRequest();
        } else {
            pause(AfterPause::NextPicture);
        }
        return;
    }
}

void StationLoop::stop() {
    guarded([this] {
        if (state_ == StationState::Finished)
            return;
        stopping_ = true;
        finishCode_ = kExitOk;
        schedule_.stop();
        arrivalDueMs_ = -1;
        if (state_ == StationState::HangingUp) {
            afterHangUp_ = AfterHangUp::Finish;
            return;
        }
        stepDueMs_ = -1;
        if ((callUp_ || callMaybe_) && !settings_.holdCall)
            hangUp(AfterHangUp::Finish);
        else
            finish(kExitOk);
    });
}

void StationLoop::hangUp(AfterHangUp then) {
    afterHangUp_ = stopping_ ? AfterHangUp::Finish : then;
    hangUpCounts_ = callUp_;
    state_ = StationState::HangingUp;
    hangUpStep_ = HangUpStep::SilenceBefore;
    arrivalDueMs_ = -1;
    line_.open(); // the call outlives the port: it may have been closed since
    // A second of silence on the line before the escape.
    stepDueMs_ = std::max(CurrentClock().nowMs(), lastSendMs_ + kSilenceBeforeEscapeMs);
}

void StationLoop::hangUpStep() {
    const std::int64_t now = CurrentClock().nowMs();
    switch (hangUpStep_) {
    case HangUpStep::SilenceBefore:
        answerLines_ = ModemLines(line_.received().size());
        hangUpStep_ = HangUpStep::SilenceAfter;
        stepDueMs_ = now + kEscapeGuardMs;
        lastSendMs_ = now;
        line_.sendBytes("+++");
        return;
    case HangUpStep::SilenceAfter:
        hangUpStep_ = HangUpStep::EscapeAnswer;
        stepDueMs_ = now + kEscapeAnswerMs;
        hangUpLines();
        return;
    case HangUpStep::EscapeAnswer:
        if (hangUpCounts_) {
            hangUpEnded(false, "Das Modem hat nicht aufgelegt: keine Antwort auf das Escape (+++)");
            return;
        }
        // Only a probe for a call that may be up: "ATH" all the same.
        answerLines_ = ModemLines(line_.received().size());
        hangUpStep_ = HangUpStep::HangUpAnswer;
        stepDueMs_ = now + kEscapeAnswerMs;
        send("ATH");
        return;
    case HangUpStep::HangUpAnswer:
        hangUpEnded(!hangUpCounts_, "Das Modem hat nicht aufgelegt: keine Antwort auf ATH");
        return;
    }
}

void StationLoop::hangUpLines() {
    while (const auto modemLine = answerLines_.next(line_.received())) {
        // A call that ended by itself needs no more.
        if (IsNoCarrier(*modemLine)) {
            hangUpEnded(true, {});
            return;
        }
        if (!IsOk(*modemLine))
            continue;
        if (hangUpStep_ == HangUpStep::HangUpAnswer) {
            hangUpEnded(true, {});
            return;
        }
        if (hangUpStep_ == HangUpStep::SilenceBefore)
            continue; // an answer to something before the escape
        // The modem answers the escape once its own second of silence is
        // over, which may be a moment before ours.
        answerLines_ = ModemLines(line_.received().size());
        hangUpStep_ = HangUpStep::HangUpAnswer;
        stepDueMs_ = CurrentClock().nowMs() + kHangUpAnswerMs;
        send("ATH");
        return;
    }
}

void StationLoop::hangUpEnded(bool ok, const std::string& failure) {
    stepDueMs_ = -1;
    if (hangUpCounts_) {
        StationEvent ended = event(StationEvent::Kind::HangUpEnded);
        ended.hangUpOk = ok;
        ended.message = ok ? std::string() : failure;
        tell(ended);
    }
    if (ok) {
        callEnded();
        callMaybe_ = false;
    }
    state_ = StationState::Idle;
    if (stopping_)
        afterHangUp_ = AfterHangUp::Finish;
    switch (afterHangUp_) {
    case AfterHangUp::CheckModem:
        checkModem(1);
        return;
    case AfterHangUp::CheckModemAgain:
        checkModem(2);
        return;
    case AfterHangUp::AwaitPicture:
        state_ = StationState::AwaitingPicture;
        if (pictureDuePending_) {
            pictureDuePending_ = false;
            beginPicture();
        }
        return;
    case AfterHangUp::Finish:
        finish(finishCode_);
        return;
    }
}

void StationLoop::callEnded() {
    if (!callUp_)
        return;
    callUp_ = false;
    StationEvent ended = event(StationEvent::Kind::CallEnded);
    ended.callSeconds = static_cast<double>(ended.atMs - callStartMs_) / 1000;
    tell(ended);
}

void StationLoop::pause(AfterPause then) {
    afterPause_ = then;
    state_ = StationState::Pausing;
    const int doublings = std::min(failuresInARow_, 4);
    ++failuresInARow_;
    stepDueMs_ =
        CurrentClock().nowMs() + std::min(kFirstRetryPauseMs << doublings, kLongestRetryPauseMs);
}

void StationLoop::finish(int exitCode) {
    state_ = StationState::Finished;
    exitCode_ = exitCode;
    stepDueMs_ = arrivalDueMs_ = -1;
    schedule_.stop();
    StationEvent finished = event(StationEvent::Kind::Finished);
    finished.exitCode = exitCode;
    tell(finished);
}

std::int64_t StationLoop::nextDeadlineMs() const {
    std::int64_t next = -1;
    for (const std::int64_t due : {stepDueMs_, arrivalDueMs_, schedule_.dueAtMs()})
        if (due >= 0 && (next < 0 || due < next))
            next = due;
    return next;
}

StationEvent StationLoop::event(StationEvent::Kind kind) const {
    StationEvent told;
    told.kind = kind;
    told.picture = picture_;
    told.attempt = std::max(attempt_, 1);
    told.attempts = settings_.attempts;
    told.atMs = CurrentClock().nowMs();
    told.wallMs = CurrentClock().wallTimeMs();
    told.attemptStartMs = attemptStartMs_;
    return told;
}

void StationLoop::tell(const StationEvent& event) {
    for (StationReader* reader : readers_)
        reader->read(event);
}
