// The live capture: the capture buffer, the once-a-second decode-and-store
// step, the dial and picture-request sequences, and the automatic modes
// ("alle" every N minutes, "ohne Reconnect", "Fortlaufend") with their
// interlocks. No widgets: the main window forwards its buttons, check boxes
// and timers here and mirrors the state back; a front end without a display
// drives the same object.
//
// The timers belong to this object; each front end connects the capture
// timer's timeout to timerTick() and intervalDue() to intervalTick(), under
// its own failure guard.
#pragma once

#include "camera/arrival_rate.h"
#include "camera/capture_outcomes.h"
#include "camera/picture_verdict.h"

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <optional>
#include <string>

class CaptureControls;
class Terminal;

// What the live capture is doing, for a status line or a progress line.
struct CaptureProgress {
    // NotStored, NotShown: the picture's store or display failed (failure).
    enum class Stage { Idle, Arriving, Stored, NotStored, NotShown };
    Stage stage = Stage::Idle;
    std::string failure; // the failure's message (NotStored, NotShown)
    std::size_t pictureBytes = 0; // decoded so far, or stored
    std::string fileName;         // the stored file, under the name it got (Stored)
    // Characters of the stored picture's text from "CAM_B" to "CAM_E" (Stored).
    std::size_t lineCharacters = 0;
    // Arriving: the picture's bytes per second over the last seconds, once
    // known.
    std::optional<double> bytesPerSecond;
    // The size of the picture stored last, 0 before the first.
    std::size_t lastStoredBytes = 0;
    PictureVerdict verdict = PictureVerdict::Sound; // of the stored picture (Stored)
};

class CaptureSession : public QObject {
    Q_OBJECT
public:
    // Largest minutes value whose milliseconds still fit a 32-bit interval.
    static constexpr std::int32_t kMaxIntervalMinutes = 71582;

    explicit CaptureSession(CaptureControls& controls, QObject* parent = nullptr);

    // The terminal the sequences send through; its line drop runs one last
    // decode-and-store.
    void setTerminal(Terminal* terminal);

    QTimer& captureTimer() { return captureTimer_; } // Timer1, 1000 ms
    // Timer2. Intervals above what one timer run can hold are run in parts,
    // so intervalDue() is what marks a tick, not the timer's timeout.
    QTimer& intervalTimer() { return intervalTimer_; }

    // The capture buffer: the last copy of the received text, or a recording.
    const std::string& captureBuffer() const { return captureBuffer_; }
    void setCaptureBuffer(std::string text) { captureBuffer_ = std::move(text); }

    // Timer1: copies the received text into the capture buffer and runs the
    // decode-and-store step.
    void timerTick();
    // Button6: decode the capture buffer; once the end marker is in, judge
    // the picture, store it as <stem>_<tick>.jpg, show it, empty the received
    // text, then the modes' follow-up (close the port, or request the next
    // picture). A picture never replaces a file: it is written under a
    // hidden name and published under a free one, <stem>_<tick>_2.jpg and on
    // when the name is taken (after a restart or a wrap of the tick count),
    // so a run stopped at any moment leaves no part of a picture under a
    // picture's name either. With damaged pictures kept aside, one that is not sound goes
    // beside the others with its text instead, and the follow-up is left to
    // the front end (pictureKeptAside). A
    // complete picture whose store failed is reported once and stored again
    // at every run, quietly, until it is stored or the received text no
    // longer holds it; one whose display failed is left alone.
    void decodeAndStore();

    // "Datenverbindung aufbauen": "AT", a second's wait, "ATD " and the number.
    void dial();
    // "BILD": the three option lines and "BILD", a second apart.
    void requestPicture();

    // The dial of a station that reads the modem's answer (merlon-capture;
    // the window keeps its fixed waits): "AT", a second, "ATD " and the
    // number, then the modem's lines through the terminal's poll until a
    // final result or, from a modem that says nothing, until answerWaitMs
    // have passed (Silent).
    DialResult dialReadingAnswer(std::int64_t answerWaitMs);
    // startPicture() with that dial: the picture request follows at once on
    // CONNECT and after the wait from a silent modem; any other result ends
    // it there. Returns the dial's result, nothing without a dial.
    std::optional<DialResult> startPictureReadingAnswer(bool dialFirst, std::int64_t answerWaitMs);

    // The check boxes, as their state changes. Each cascades as the interlocks
    // say and then reports the new state through modesChanged().
    void setIntervalMode(bool on, const std::string& minutesText); // "alle"
    void setContinuousMode(bool on);                               // "Fortlaufend"
    void setWithoutReconnect(bool on);                             // "ohne Reconnect"
    // Timer2: startPicture(), dialling first with "ohne Reconnect".
    void intervalTick();
    // Empties the received text, dials first when asked (and waits 30 s for
    // the call), then requests a picture.
    void startPicture(bool dialFirst);
    // What the modes do after a picture: close the port ("alle" without
    // "ohne Reconnect"), or request the next one ("Fortlaufend").
    void modeFollowUp();

    // Names by the local time of day (<stem>_YYYY-MM-DD_hh-mm-ss.jpg) instead
    // of the tick count, read from the clock interface. Off by default.
    void setTimeNames(bool on) { timeNames_ = on; }
    // Only sound pictures under a picture's name: a damaged or unreadable one
    // is stored as <stem>_<tick>.<verdict>.jpg with the received text from
    // "CAM_B" to "CAM_E" beside it as .txt. Off by default: the window
    // stores every picture under its name and shows the verdict.
    void setKeepsDamagedAside(bool on) { keepsDamagedAside_ = on; }

    bool intervalMode() const { return intervalMode_; }
    bool continuousMode() const { return continuousMode_; }
    bool withoutReconnect() const { return withoutReconnect_; }
    // Whether "BILD" and "Datenverbindung aufbauen" are shown.
    bool requestButtonsShown() const { return !intervalMode_; }
    // Timer2 switched on; with 0 minutes it never fires.
    bool intervalTimerEnabled() const { return intervalEnabled_; }
    std::int32_t intervalMinutes() const { return intervalMinutes_; }
    // The n-th interval tick is due n intervals after "alle" started the
    // count, on the clock interface's time: when this one came late or its
    // handler took long, the next one is still due on the schedule.
    // The clock time the next tick is due at, or -1 when none is.
    std::int64_t intervalDueAtMs() const;
    // Until the next interval tick (0 once it is due), or -1 when none is.
    qint64 msUntilIntervalDue() const;
    // What the interval timer does when it wakes: once the tick is due,
    // intervalDue() (once, however many ticks were missed) and the timer set
    // for the next one; before, the timer set for the rest of the wait.
    void checkIntervalSchedule();

    const CaptureProgress& progress() const { return progress_; }
    // The bytes of the picture stored or kept aside last.
    const std::string& lastPicture() const { return lastPicture_; }

signals:
    void modesChanged();
    void progressChanged();
    // A picture was stored under this name with this many bytes.
    void pictureStored(const QString& fileName, qint64 bytes);
    // A picture that is not sound was kept aside, with its received text.
    void pictureKeptAside(const QString& fileName, const QString& textFileName, qint64 bytes,
                          PictureVerdict verdict);
    // The interval has passed: time for intervalTick().
    void intervalDue();

private:
    void storeCompletePicture(bool withFollowUp);
    void sendCommandLine(const std::string& line);
    void setIntervalTimer(bool enabled, std::int32_t minutes);
    void armIntervalTimer(std::int64_t milliseconds);
    void setProgress(CaptureProgress::Stage stage, std::size_t bytes, std::string fileName = {},
                     PictureVerdict verdict = PictureVerdict::Sound,
                     std::size_t lineCharacters = 0);

    CaptureControls& controls_;
    Terminal* terminal_ = nullptr;
    QTimer captureTimer_;
    QTimer intervalTimer_;
    std::string captureBuffer_;
    // The received text up to the end marker of the last picture that
    // failed, the stem it failed under and the step that failed.
    enum class FailedStep { Store, Showing };
    std::string failedPicture_;
    std::string failedStem_;
    FailedStep failedWhere_ = FailedStep::Store;
    bool intervalMode_ = false;
    bool continuousMode_ = false;
    bool withoutReconnect_ = false;
    bool intervalEnabled_ = false;
    bool timeNames_ = false;
    bool keepsDamagedAside_ = false;
    std::int32_t intervalMinutes_ = 0;
    std::int64_t intervalStartMs_ = 0;  // when the count started
    std::int64_t intervalTicksDue_ = 0; // the number of the next tick
    CaptureProgress progress_;
    std::string lastPicture_;
    ArrivalRate arrivalRate_;
};
