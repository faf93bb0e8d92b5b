#include "camera/text_formats.h"

#include <QDateTime>

namespace {

std::string CountText(std::int64_t count, const char* one, const char* many) {
    return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

QDateTime LocalDateTime(std::int64_t wallMs) {
    return QDateTime::fromMSecsSinceEpoch(wallMs);
}

} // namespace

std::string ByteCountText(std::int64_t bytes) {
    return CountText(bytes, "Byte", "Bytes");
}

std::string SecondsText(std::int64_t seconds) {
    return CountText(seconds, "Sekunde", "Sekunden");
}

std::string LocalTimeText(std::int64_t wallMs) {
    return LocalDateTime(wallMs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
}

std::string ClockTimeText(std::int64_t wallMs, std::int64_t nowWallMs) {
    const QDateTime time = LocalDateTime(wallMs);
    const QString format = time.date() == LocalDateTime(nowWallMs).date()
                               ? QStringLiteral("HH:mm:ss")
                               : QStringLiteral("dd.MM.yyyy HH:mm:ss");
    return time.toString(format).toStdString();
}

QString LocalText(std::string_view bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string LocalBytes(const QString& text) {
    return text.toLocal8Bit().toStdString();
}
