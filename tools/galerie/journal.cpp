#include "tools/galerie/journal.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

const std::vector<std::string> kAttemptOutcomes = {"sound",       "damaged",      "unreadable",
                                                   "no_picture",  "line_dropped", "port_failed",
                                                   "dial_failed", "store_failed"};

namespace {

bool Digits(const std::string& text, std::size_t from, std::size_t count) {
    return text.size() >= from + count &&
           std::all_of(text.begin() + static_cast<long>(from),
                       text.begin() + static_cast<long>(from + count),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// "2026-12-09T04:10:00+01:00", with optional fractions of a second and "Z"
// for UTC: the offset must be there, since pages show the station's own time.
bool IsoTimeWithOffset(const std::string& time) {
    if (!(Digits(time, 0, 4) && time[4] == '-' && Digits(time, 5, 2) && time[7] == '-' &&
          Digits(time, 8, 2) && time[10] == 'T' && Digits(time, 11, 2) && time[13] == ':' &&
          Digits(time, 14, 2) && time[16] == ':' && Digits(time, 17, 2)))
        return false;
    std::size_t at = 19;
    if (at < time.size() && time[at] == '.') {
        ++at;
        while (at < time.size() && time[at] >= '0' && time[at] <= '9')
            ++at;
    }
    const std::string offset = time.substr(at);
    return offset == "Z" || (offset.size() == 6 && (offset[0] == '+' || offset[0] == '-') &&
                             Digits(offset, 1, 2) && offset[3] == ':' && Digits(offset, 4, 2));
}

int Number(const std::string& text, std::size_t from, std::size_t count) {
    int value = 0;
    for (std::size_t i = from; i < from + count; ++i)
        value = value * 10 + (text[i] - '0');
    return value;
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar
// (Howard Hinnant's days_from_civil); QDateTime's parser took most of a
// year's update.
std::int64_t DaysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yearOfEra = year - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
}

// The instant and the offset of a time IsoTimeWithOffset accepted; false for
// a date or a time of day that does not exist.
bool ReadIsoTime(const std::string& time, std::int64_t& epochMs, int& offsetSeconds) {
    const int year = Number(time, 0, 4), month = Number(time, 5, 2), day = Number(time, 8, 2);
    const int hour = Number(time, 11, 2), minute = Number(time, 14, 2),
              second = Number(time, 17, 2);
    static const int kDaysIn[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month < 1 || month > 12 || day < 1 || day > kDaysIn[month - 1] ||
        (month == 2 && day == 29 && !leap) || hour > 23 || minute > 59 || second > 60)
        return false;
    int milliseconds = 0;
    std::size_t at = 19;
    if (time[at] == '.')
        for (int scale = 100; ++at < time.size() && time[at] >= '0' && time[at] <= '9'; scale /= 10)
            milliseconds += (time[at] - '0') * scale;
    offsetSeconds = 0;
    if (time[at] != 'Z') {
        const int sign = time[at] == '-' ? -1 : 1;
        const int offsetHours = Number(time, at + 1, 2), offsetMinutes = Number(time, at + 4, 2);
        if (offsetHours > 23 || offsetMinutes > 59)
            return false;
        offsetSeconds = sign * (offsetHours * 3600 + offsetMinutes * 60);
    }
    const std::int64_t local =
        DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    epochMs = (local - offsetSeconds) * 1000 + milliseconds;
    return true;
}

std::optional<std::string> TextOrNull(const QJsonObject& object, const char* key, bool& wrong) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isNull() || value.isUndefined())
        return std::nullopt;
    if (!value.isString()) {
        wrong = true;
        return std::nullopt;
    }
    return value.toString().toStdString();
}

std::string ReadWhole(const std::string& path, bool& opened) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    opened = static_cast<bool>(in);
    std::string bytes;
    if (!opened)
        return bytes;
    bytes.resize(static_cast<std::size_t>(std::max<std::streamoff>(0, in.tellg())));
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
    return bytes;
}

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

} // namespace

std::optional<JournalEntry> ParseJournalLine(const std::string& line, std::string& reason) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(line.data(), static_cast<int>(line.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        reason = "kein JSON-Objekt";
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    JournalEntry entry;
    entry.line = line;
    entry.time = object.value(QLatin1String("time")).toString().toStdString();
    if (!IsoTimeWithOffset(entry.time)) {
        reason = "„time“ ist keine Zeit nach ISO 8601 mit Zeitzone";
        return std::nullopt;
    }
    const QDateTime when =
        QDateTime::fromString(QString::fromStdString(entry.time), Qt::ISODateWithMs);
    if (!when.isValid()) {
        reason = "„time“ ist keine gültige Zeit";
        return std::nullopt;
    }
    entry.epochMs = when.toMSecsSinceEpoch();
    entry.offsetSeconds = when.offsetFromUtc();
    entry.outcome = object.value(QLatin1String("outcome")).toString().toStdString();
    if (std::find(kAttemptOutcomes.begin(), kAttemptOutcomes.end(), entry.outcome) ==
        kAttemptOutcomes.end()) {
        reason = "unbekanntes Ergebnis „" + entry.outcome + "“";
        return std::nullopt;
    }
    const QJsonValue attempt = object.value(QLatin1String("attempt"));
    if (!attempt.isDouble() || attempt.toInt() < 1) {
        reason = "„attempt“ fehlt oder ist keine Zahl";
        return std::nullopt;
    }
    entry.attempt = attempt.toInt();
    entry.attempts = std::max(entry.attempt, object.value(QLatin1String("attempts")).toInt());
    entry.port = object.value(QLatin1String("port")).toString().toStdString();
    bool wrong = false;
    entry.dial = TextOrNull(object, "dial", wrong);
    entry.file = TextOrNull(object, "file", wrong);
    entry.message = TextOrNull(object, "message", wrong);
    if (wrong) {
        reason = "„dial“, „file“ oder „message“ ist weder Text noch null";
        return std::nullopt;
    }
    entry.bytes = static_cast<std::int64_t>(object.value(QLatin1String("bytes")).toDouble());
    entry.seconds = object.value(QLatin1String("seconds")).toDouble();
    const QJsonValue interval = object.value(QLatin1String("interval_seconds"));
    if (interval.isDouble())
        entry.intervalSeconds = interval.toDouble();
    return entry;
}

Journal ReadJournal(const std::string& path) {
    Journal journal;
    journal.path = path;
    bool opened = false;
    const std::string bytes = ReadWhole(path, opened);
    if (!opened) {
        journal.notes.push_back(path +
                                ": Protokoll kann nicht gelesen werden: " + std::strerror(errno));
        journal.faulty = true;
        return journal;
    }
    if (bytes.find('\0') != std::string::npos) {
        journal.notes.push_back(path + ": keine Protokolldatei von merlon-capture (enthält "
                                       "Binärdaten; erwartet wird eine JSON-Zeile je Versuch)");
        journal.faulty = true;
        return journal;
    }
    journal.entries.reserve(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) +
                            1);
    std::size_t start = 0;
    int number = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find('\n', start);
        const bool torn = end == std::string::npos;
        const std::string line = bytes.substr(start, torn ? std::string::npos : end - start);
        start = torn ? bytes.size() : end + 1;
        ++number;
        if (line.empty())
            continue;
        std::string reason;
        std::optional<JournalEntry> entry = ParseJournalLine(line, reason);
        if (entry) {
            journal.entries.push_back(std::move(*entry));
            continue;
        }
        if (torn) {
            journal.notes.push_back(path + ": Zeile " + std::to_string(number) +
                                    " ist unvollständig (die Station wurde beim Schreiben "
                                    "beendet) und wird übergangen");
            continue;
        }
        if (journal.entries.empty() && number == 1) {
            journal.notes.push_back(path + ": keine Protokolldatei von merlon-capture (Zeile 1: " +
                                    reason + "; erwartet wird eine JSON-Zeile je Versuch)");
            journal.faulty = true;
            return journal;
        }
        journal.notes.push_back(path + ": Zeile " + std::to_string(number) +
                                " übergangen: " + reason);
        journal.faulty = true;
    }
    return journal;
}

std::optional<PictureLocation> LocatePicture(const std::string& journalPath,
                                             const std::string& fileName, std::string& reason) {
    const std::string shown = "„" + fileName + "“";
    std::istringstream parts(fileName);
    for (std::string part; std::getline(parts, part, '/');) {
        if (part == "..") {
            reason = "Bildname " + shown + " führt aus dem Ordner des Protokolls hinaus";
            return std::nullopt;
        }
    }
    if (fileName.empty() || fileName.find('\0') != std::string::npos) {
        reason = "Bildname " + shown + " ist leer";
        return std::nullopt;
    }
    const std::size_t slash = journalPath.rfind('/');
    const std::string folder =
        RealPath(slash == std::string::npos ? "." : journalPath.substr(0, slash + 1));
    const std::string joined = fileName[0] == '/' ? fileName : folder + "/" + fileName;
    const std::string resolved = RealPath(joined);
    if (resolved.empty()) {
        reason = "Bild " + shown + " kann nicht gelesen werden: " + std::strerror(errno);
        return std::nullopt;
    }
    if (folder.empty() || resolved.compare(0, folder.size() + 1, folder + "/") != 0) {
        reason = "Bildname " + shown + " führt aus dem Ordner des Protokolls hinaus";
        return std::nullopt;
    }
    return PictureLocation{resolved, resolved.substr(folder.size() + 1)};
}
