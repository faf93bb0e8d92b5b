// The window's automatic modes and their interlocks: "alle" (a picture
// every N minutes, on Timer2), "Fortlaufend" (the next picture right after
// one is stored) and "ohne Reconnect" (dial before each interval picture,
// keep the port open after it). The check boxes report their changes here,
// each change cascades as the interlocks say, and modesChanged() tells the
// window to mirror the state back.
#pragma once

#include "camera/interval_schedule.h"

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>

// The minutes field's text as minutes: an integer from 0 to
// CaptureModes::kMaxIntervalMinutes, else UserError quoting the text.
std::int32_t ParseIntervalMinutes(const std::string& text);

class CaptureModes : public QObject {
    Q_OBJECT
public:
    // Largest minutes value whose milliseconds still fit a 32-bit interval.
    static constexpr std::int32_t kMaxIntervalMinutes = 71582;

    explicit CaptureModes(QObject* parent = nullptr);

    // Timer2. Intervals above what one timer run can hold are run in parts,
    // so intervalDue() is what marks a tick, not the timer's timeout.
    QTimer& intervalTimer() { return intervalTimer_; }

    // "alle" changed. The minutes are read only when it is switched on, after
    // the buttons hid and "Fortlaufend" cleared, so minutes that readMinutes
    // refuses (it throws UserError, see ParseIntervalMinutes) leave just
    // that, and the timer as it was.
    void setIntervalMode(bool on, const std::function<std::int32_t()>& readMinutes);
    void setContinuousMode(bool on);   // "Fortlaufend"
    void setWithoutReconnect(bool on); // "ohne Reconnect"

    bool intervalMode() const { return intervalMode_; }
    bool continuousMode() const { return continuousMode_; }
    bool withoutReconnect() const { return withoutReconnect_; }
    // Whether "BILD" and "Datenverbindung aufbauen" are shown.
    bool requestButtonsShown() const { return !intervalMode_; }
    // Timer2 switched on; with 0 minutes it never fires.
    bool intervalTimerEnabled() const { return intervalEnabled_; }
    // The minutes Timer2 runs with: those of the last "alle" that took.
    std::int32_t intervalMinutes() const { return intervalMinutes_; }
    // The clock time the next tick is due at, or -1 when none is.
    std::int64_t intervalDueAtMs() const;
    // Until the next interval tick (0 once it is due), or -1 when none is.
    std::int64_t msUntilIntervalDue() const;
    // What the interval timer does when it wakes: once the tick is due,
    // intervalDue() (once, however many ticks were missed) and the timer set
    // for the next one; before, the timer set for the rest of the wait.
    void checkIntervalSchedule();

signals:
    void modesChanged();
    // The interval has passed: time for the interval tick.
    void intervalDue();

private:
    void setIntervalTimer(bool enabled, std::int32_t minutes);
    void armIntervalTimer(std::int64_t milliseconds);

    QTimer intervalTimer_;
    IntervalSchedule schedule_;
    bool intervalMode_ = false;
    bool continuousMode_ = false;
    bool withoutReconnect_ = false;
    bool intervalEnabled_ = false;
    std::int32_t intervalMinutes_ = 0;
};
