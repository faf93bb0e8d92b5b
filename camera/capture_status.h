// The German status texts of the live capture: how much of the picture has
// arrived, what was stored last, and which mode runs and when the next
// picture is due. The main window's status line and the progress line of a
// front end without a display say the same.
#pragma once

#include <QtGlobal>
#include <cstdint>
#include <string>

class CaptureModes;
struct CaptureProgress;

// The automatic modes as the session runs them.
struct CaptureModeState {
    bool continuous = false;
    bool interval = false;
    bool withoutReconnect = false;
    // The minutes were taken and the interval timer set (false after a
    // refused minutes text).
    bool intervalTimerEnabled = false;
    std::int32_t minutes = 0;
};

// "Bild wird empfangen: 12345 Bytes, 3,2 kB/s, noch etwa 12 s" (the rate
// once it is known, the time left once the picture stored last tells the
// size), "Gespeichert: Kamera_4712.jpg (5432 Bytes), beschädigt" (the stored
// picture's verdict last), "Nicht gespeichert: …" and "Nicht angezeigt: …"
// with the failure's message, or empty before anything happened (UTF-8).
std::string DescribeProgress(const CaptureProgress& progress);

// The running mode and when the next picture is due, or empty without a
// mode, at the calendar time nowWallMs; msUntilNextInterval is the interval
// timer's remaining time.
std::string ModeText(const CaptureModeState& modes, qint64 msUntilNextInterval,
                     std::int64_t nowWallMs);

// The status line: the progress and the mode, joined by a dash when both say
// something.
std::string StatusLineText(const CaptureProgress& progress, const CaptureModeState& modes,
                           qint64 msUntilNextInterval, std::int64_t nowWallMs);
// The same for the window's session, now.
std::string DescribeStatus(const CaptureProgress& progress, const CaptureModes& modes);
