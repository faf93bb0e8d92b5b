#include "camera/capture_status.h"

#include "camera/capture_modes.h"
#include "camera/capture_progress.h"
#include "camera/picture_verdict.h"

#include <QDateTime>
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
    std::string text = "Bild wird empfangen: " + std::to_string(progress.pictureBytes) + " Bytes";
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
        return "Gespeichert: " + progress.fileName + " (" + std::to_string(progress.pictureBytes) +
               " Bytes), " + VerdictText(progress.verdict);
    case CaptureProgress::Stage::NotStored:
        return "Nicht gespeichert: " + progress.failure;
    case CaptureProgress::Stage::NotShown:
        return "Nicht angezeigt: " + progress.failure;
    }
    return {};
}

std::string DescribeMode(const CaptureModes& session, qint64 msUntilNextInterval) {
    if (session.continuousMode())
        return "Fortlaufend: das nächste Bild wird gleich nach dem Speichern angefordert";
    if (!session.intervalMode())
        return {};
    const std::string every = "Alle " + std::to_string(session.intervalMinutes()) + " Minuten" +
                              (session.withoutReconnect() ? " mit Anwahl" : "");
    if (!session.intervalTimerEnabled() || msUntilNextInterval < 0)
        return every + ": kein Bild geplant";
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime due = now.addMSecs(msUntilNextInterval);
    const QString format = due.date() == now.date() ? QStringLiteral("HH:mm:ss")
                                                    : QStringLiteral("dd.MM.yyyy HH:mm:ss");
    return every + ", nächstes Bild um " + due.toString(format).toStdString();
}
