#include "camera/capture_status.h"

#include "camera/capture_modes.h"
#include "camera/capture_progress.h"
#include "camera/picture_verdict.h"
#include "camera/text_formats.h"
#include "platform/clock.h"

#include <algorithm>
#include <cmath>

namespace {

// Whole bytes below a kilobyte a second, tenths up to ten, whole above.
std::string RateText(double bytesPerSecond) {
    const long bytes = std::lround(bytesPerSecond);
    if (bytes < 1000)
        return std::to_string(bytes) + " B/s";
    const long tenths = std::lround(bytesPerSecond / 100);
    if (tenths < 100)
        return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " kB/s";
    return std::to_string(std::lround(bytesPerSecond / 1000)) + " kB/s";
}

// Seconds up to a minute and a half, minutes beyond.
std::string TimeLeftText(double seconds) {
    if (seconds < 89.5)
        return "noch etwa " + std::to_string(std::max(1L, std::lround(seconds))) + " s";
    return "noch etwa " + std::to_string(std::lround(seconds / 60)) + " min";
}

std::string ArrivingText(const CaptureProgress& progress) {
    std::string text = "Bild wird empfangen: " + ByteCountText(progress.pictureBytes);
    if (!progress.bytesPerSecond)
        return text;
    const double rate = *progress.bytesPerSecond;
    text += ", " + RateText(rate);
    // The picture before tells about how big this one will be; once this
    // one is bigger, nothing can be said.
    if (rate > 0 && progress.lastStoredBytes > progress.pictureBytes)
        text += ", " +
                TimeLeftText(static_cast<double>(progress.lastStoredBytes - progress.pictureBytes) /
                             rate);
    return text;
}

} // namespace

std::string DescribeProgress(const CaptureProgress& progress) {
    switch (progress.stage) {
    case CaptureProgress::Stage::Idle:
        return {};
    case CaptureProgress::Stage::Arriving:
        return ArrivingText(progress);
    case CaptureProgress::Stage::Stored:
        return "Gespeichert: " + progress.fileName + " (" + ByteCountText(progress.pictureBytes) +
               "), " + VerdictText(progress.verdict);
    case CaptureProgress::Stage::NotStored:
        return "Nicht gespeichert: " + progress.failure;
    case CaptureProgress::Stage::NotShown:
        return "Nicht angezeigt: " + progress.failure;
    }
    return {};
}

namespace {

CaptureModeState ModesOf(const CaptureModes& session) {
    CaptureModeState modes;
    modes.continuous = session.continuousMode();
    modes.interval = session.intervalMode();
    modes.withoutReconnect = session.withoutReconnect();
    modes.intervalTimerEnabled = session.intervalTimerEnabled();
    modes.minutes = session.intervalMinutes();
    return modes;
}

} // namespace

std::string DescribeStatus(const CaptureProgress& progress, const CaptureModes& modes) {
    return StatusLineText(progress, ModesOf(modes), modes.msUntilIntervalDue(),
                          CurrentClock().wallTimeMs());
}

std::string StatusLineText(const CaptureProgress& progress, const CaptureModeState& modes,
                           qint64 msUntilNextInterval, std::int64_t nowWallMs) {
    std::string text = DescribeProgress(progress);
    const std::string mode = ModeText(modes, msUntilNextInterval, nowWallMs);
    if (!text.empty() && !mode.empty())
        text += " \u2013 ";
    return text + mode;
}

std::string ModeText(const CaptureModeState& modes, qint64 msUntilNextInterval,
                     std::int64_t nowWallMs) {
    if (modes.continuous)
        return "Fortlaufend: das nächste Bild wird gleich nach dem Speichern angefordert";
    if (!modes.interval)
        return {};
    // Refused minutes leave the timer off: the minutes taken before are not
    // the ones in force.
    if (!modes.intervalTimerEnabled)
        return "Keine gültige Anzahl Minuten: kein Bild geplant";
    const std::string every =
        (modes.minutes == 1 ? std::string("Jede Minute")
                            : "Alle " + std::to_string(modes.minutes) + " Minuten") +
        (modes.withoutReconnect ? " mit Anwahl" : "");
    if (msUntilNextInterval < 0)
        return every + ": kein Bild geplant";
    return every + ", nächstes Bild um " +
           ClockTimeText(nowWallMs + msUntilNextInterval, nowWallMs);
}
