// The station's loop (merlon-capture): one explicit state machine of an
// attempt at a picture, and the one place that decides what comes next in
// each mode.
//
//   port ─▶ [dial: the modem checked ("AT" answered "OK"), "ATD", the
//   modem's answer] ─▶ request
//   (three option lines a second apart, "BILD") ─▶ arriving ─▶ judged as
//   soon as the end marker is in ─▶ stored, or kept aside ─▶ what next:
//   another try (at once on the open line after a picture kept aside, after
//   a growing pause otherwise), the next picture (at once, or when the
//   interval is due), or the end of a one-picture run.
//
// A call the station made, the station ends: after an interval picture, before
// a one-picture run ends, before a redial and when the station stops, with
// the Hayes escape (a second of silence, "+++" without a carriage return, a
// second of silence), "OK", "ATH", "OK". DTR is held off on this line, so
// closing the port tells the modem nothing. A modem that does not answer
// "AT" may still be in a call from a run before: it gets the escape and
// "ATH", and "AT" once more.
//
// The loop never waits. Every pause is a deadline on the clock interface
// (nextDeadlineMs) that its driver turns into a timer, so the event loop
// around it runs throughout; the driver calls lineChanged() after each poll
// of the line and timeReached() when the deadline comes.
//
// What happens is told as one stream of events. Every output (the line on
// standard output, the lines on standard error and the progress, the newest
// copy, the command after a picture, the metrics) is a reader of that
// stream and knows nothing of the others; a new output is a new reader.
#pragma once

#include "camera/arrival_rate.h"
#include "camera/capture_controls.h"
#include "camera/capture_outcomes.h"
#include "camera/capture_progress.h"
#include "camera/interval_schedule.h"
#include "camera/modem_answer.h"
#include "camera/picture_store.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Terminal;

// The station's settings, as numbers and bytes: what the command line said.
struct StationSettings {
    enum class Mode { OnePicture, Interval, Continuous };
    Mode mode = Mode::OnePicture;
    std::int32_t minutes = 0; // Interval
    // Dial before each picture (with an interval: "ohne Reconnect"); in the
    // other modes before the first picture and after each failure.
    bool dialFirst = false;
    std::int32_t attempts = 1; // tries at one picture, the first included
    // How long a modem that says nothing after "ATD" gets before the request.
    std::int64_t answerWaitMs = 0;
    // How long a picture may take from "BILD" until it is judged.
    std::int64_t pictureTimeoutMs = 0;
    PictureNaming naming = PictureNaming::TickCount;
    std::string stem;        // bytes, may hold a folder
    std::string phoneNumber; // bytes, sent as given
    bool flash = false;
    bool direct = false;
    bool large = false;
    // Keep a call up once made (--verbindung-halten): no hang-up, and the
    // dial as it always was ("AT", a second, "ATD").
    bool holdCall = false;
    // What checks the modem before a dial (--modeminit), answered like "AT".
    std::string modemInit = "AT";
};

enum class StationState {
    Idle,            // not started
    CheckingModem,   // "AT" sent: its "OK"
    Dialling,        // "AT" answered: the rest of the second before "ATD"
    AwaitingAnswer,  // "ATD" sent: the modem's answer
    Requesting,      // an option line sent: the pause before the next
    Arriving,        // "BILD" sent: the picture comes
    Pausing,         // before another try, or the next picture after a failed one
    AwaitingPicture, // between interval pictures
    HangingUp,       // the escape and "ATH"
    Finished,        // a one-picture run is over
};

struct StationEvent {
    enum class Kind {
        Started,          // before the first attempt
        AttemptBegun,     // the port is open; the dial or the request follows
        DialAnswered,     // dial
        RequestSent,      // "BILD" went out
        PictureArriving,  // progress (at most once a second)
        PictureStored,    // a sound picture under its name
        PictureKeptAside, // one that is not sound, beside the others with its text
        AttemptEnded,     // every attempt ends so, once: outcome, message
        PictureGivenUp,   // the last try at a picture failed
        Notice,           // a failure outside any attempt: message
        CallBegun,        // CONNECT
        CallEnded,        // hung up, or dropped: callSeconds
        HangUpEnded,      // hangUpOk; a failure's message
        Finished,         // a one-picture run is over: exitCode
    };
    Kind kind = Kind::Started;
    int picture = 0;         // the picture's number in this run, from 1
    int attempt = 0;         // the try at it, from 1
    int attempts = 0;        // the most tries
    std::int64_t atMs = 0;   // clock interface time
    std::int64_t wallMs = 0; // time of day, ms since 1970
    std::int64_t attemptStartMs = 0;
    // DialAnswered: the answer; AttemptEnded: this attempt's dial, if any.
    std::optional<DialResult> dial;
    AttemptOutcome outcome = AttemptOutcome::Sound; // AttemptEnded
    // AttemptEnded: false for a port that cannot be opened and a picture
    // that cannot be written, which end the picture at once.
    bool countsAsTry = true;
    std::string message; // German, UTF-8: a failure (AttemptEnded, Notice)
    // PictureStored, PictureKeptAside, and AttemptEnded after them.
    std::string file;
    std::string textFile; // kept aside
    std::int64_t bytes = 0;
    PictureVerdict verdict = PictureVerdict::Sound;
    std::string_view pictureBytes; // valid during the call
    // From "BILD" to the end marker, the picture's text in characters a
    // second; 0 when unknown.
    double lineCharactersPerSecond = 0;
    CaptureProgress progress; // PictureArriving
    int exitCode = 0;         // Finished
    double callSeconds = 0;   // CallEnded
    bool hangUpOk = false;    // HangUpEnded
};

class StationReader {
public:
    virtual ~StationReader() = default;
    // Must not throw: a reader's failure is its own to report.
    virtual void read(const StationEvent& event) = 0;
};

// What the loop does to the line.
class StationLine {
public:
    virtual ~StationLine() = default;
    virtual void open() = 0; // no-op while open; throws UserError
    virtual void close() = 0;
    virtual void send(const std::string& line) = 0; // throws LineDropped
    // Without a carriage return (the escape); throws LineDropped.
    virtual void sendBytes(const std::string& bytes) = 0;
    virtual const std::string& received() const = 0;
    virtual void clearReceived() = 0;
};

// The line through the terminal: a send never opens the port again.
class TerminalStationLine : public StationLine {
public:
    explicit TerminalStationLine(Terminal& terminal) : terminal_(terminal) {}
    void open() override;
    void close() override;
    void send(const std::string& line) override;
    void sendBytes(const std::string& bytes) override;
    const std::string& received() const override;
    void clearReceived() override;

private:
    Terminal& terminal_;
};

class StationLoop {
public:
    static constexpr int kExitOk = 0;
    static constexpr int kExitFailed = 1;

    StationLoop(StationSettings settings, StationLine& line);

    // Readers hear the events in the order they were added.
    void addReader(StationReader& reader) { readers_.push_back(&reader); }

    void start();
    // The line took in bytes.
    void lineChanged();
    // The line went away under the terminal (it is closed already).
    void lineDropped(const std::string& message);
    // The clock has reached nextDeadlineMs().
    void timeReached();
    // The station is to stop: a call it made is ended first, then the run
    // is finished (exit code 0); at once when there is none.
    void stop();
    // Whether a call the station made is up, as far as it knows.
    bool callUp() const { return callUp_; }
    // The earliest time something is due, or -1 when nothing is.
    std::int64_t nextDeadlineMs() const;

    StationState state() const { return state_; }
    bool finished() const { return state_ == StationState::Finished; }
    int exitCode() const { return exitCode_; }

private:
    // Answers the sequences' questions from the settings.
    class SettingsControls : public CaptureControls {
    public:
        explicit SettingsControls(const StationSettings& settings) : settings_(settings) {}
        std::string fileStem() override { return settings_.stem; }
        std::string phoneNumber() override { return settings_.phoneNumber; }
        bool flash() override { return settings_.flash; }
        bool direct() override { return settings_.direct; }
        bool large() override { return settings_.large; }
        bool showsPictures() override { return false; }
        void showPicture(const std::string&) override {}

    private:
        const StationSettings& settings_;
    };
    enum class AfterPause { NextAttempt, NextPicture };
    // What follows a hang-up.
    enum class AfterHangUp { CheckModem, CheckModemAgain, AwaitPicture, Finish };
    enum class HangUpStep { SilenceBefore, SilenceAfter, EscapeAnswer, HangUpAnswer };

    template <typename Action> void guarded(Action action);
    void recover(AttemptOutcome outcome, const std::string& failure);
    bool attemptRunning() const;
    void beginPicture();
    // What an attempt starts with: its time, no dial, no picture yet.
    void newAttempt();
    void beginAttempt();
    void beginRequest();
    void sendDialLine(std::size_t index);
    void checkModem(int round);
    void modemChecked();
    void hangUp(AfterHangUp then);
    void hangUpStep();
    void hangUpLines();
    void hangUpEnded(bool ok, const std::string& failure);
    void callEnded();
    void send(const std::string& line);
    void dialAnswered(DialResult result);
    void sendRequestLine(std::size_t index);
    void lookAtArrival();
    void judge(const DecodedCapture& decoded);
    void pictureDue();
    void endAttempt(AttemptOutcome outcome, std::string message = {});
    // The one place that decides what comes next, after every attempt.
    void decideNext(AttemptOutcome outcome);
    void pause(AfterPause then);
    void finish(int exitCode);
    StationEvent event(StationEvent::Kind kind) const;
    void tell(const StationEvent& event);

    StationSettings settings_;
    StationLine& line_;
    SettingsControls controls_;
    PictureStore store_;
    std::vector<StationReader*> readers_;
    StationState state_ = StationState::Idle;
    IntervalSchedule schedule_;
    int picture_ = 0;
    int attempt_ = 0;
    std::size_t requestLine_ = 0;
    std::int64_t stepDueMs_ = -1;    // the pause or the answer's wait
    std::int64_t arrivalDueMs_ = -1; // the picture's time limit
    std::int64_t attemptStartMs_ = 0;
    std::int64_t requestSentMs_ = -1;
    std::optional<DialResult> attemptDial_;
    ModemAnswerReader answer_;
    ModemLines dropWatch_;
    std::size_t scannedTo_ = 0; // the end marker was looked for up to here
    std::int64_t progressShownMs_ = -1;
    ArrivalRate arrivalRate_;
    std::size_t lastStoredBytes_ = 0;
    std::string attemptFile_; // the picture of the attempt that ends, if any
    std::int64_t attemptBytes_ = 0;
    AfterPause afterPause_ = AfterPause::NextAttempt;
    bool scheduleEndsAttempt_ = false;
    int failuresInARow_ = 0;
    bool callUp_ = false;    // CONNECT seen, no hang-up or drop since
    bool callMaybe_ = false; // a silent modem dialled: a call may be up
    std::int64_t callStartMs_ = 0;
    std::int64_t lastSendMs_ = -1000000; // the line's silence counts from here
    std::int64_t modemCheckedMs_ = 0;    // when the check's line went out
    int modemCheckRound_ = 1;
    ModemLines answerLines_; // the modem's lines to the check or the hang-up
    HangUpStep hangUpStep_ = HangUpStep::SilenceBefore;
    AfterHangUp afterHangUp_ = AfterHangUp::CheckModem;
    bool hangUpCounts_ = false; // a call we know of, not a probe
    bool stopping_ = false;
    bool pictureDuePending_ = false; // came during a hang-up
    int finishCode_ = kExitOk;
    int storedCount_ = 0;
    int exitCode_ = kExitOk;
};
