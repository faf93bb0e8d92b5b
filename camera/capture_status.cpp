#include "camera/capture_status.h"

#include "camera/capture_session.h"
#include "camera/picture_verdict.h"

#include <QDateTime>

std::string DescribeProgress(const CaptureSession& session) {
    const CaptureProgress& progress = session.progress();
    switch (progress.stage) {
    case CaptureProgress::Stage::Idle:
        return {};
    case CaptureProgress::Stage::Arriving:
        return "Bild wird empfangen: " + std::to_string(progress.pictureBytes) + " Bytes";
    case CaptureProgress::Stage::Stored:
        return "Gespeichert: " + progress.fileName + " (" + std::to_string(progress.pictureBytes) +
               " Bytes), " + VerdictText(progress.verdict);
    }
    return {};
}

std::string DescribeMode(const CaptureSession& session, qint64 msUntilNextInterval) {
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
