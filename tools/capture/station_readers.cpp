#include "tools/capture/station_readers.h"

#include "camera/capture_status.h"
#include "camera/text_formats.h"
#include "platform/files.h"
#include "platform/system_error_text.h"
#include "platform/user_error.h"
#include "tools/capture/utf8_sequence.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kProgram[] = "merlon-capture: ";

// ISO 8601 in local time with the offset from UTC, "+00:00" included
// (2026-12-09T04:10:00+01:00): what a script can parse and compare.
std::string IsoTime(std::int64_t wallMs) {
    const auto time = static_cast<std::time_t>(wallMs / 1000);
    std::tm local{};
    char text[40] = {};
    if (!::localtime_r(&time, &local) ||
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local) == 0)
        return {};
    std::string iso = text;
    if (iso.size() > 2)
        iso.insert(iso.size() - 2, ":"); // +0100 to +01:00
    return iso;
}

const char* PictureLabel(PictureVerdict verdict) {
    switch (verdict) {
    case PictureVerdict::Sound:
        break;
    case PictureVerdict::Damaged:
        return AttemptOutcomeLabel(AttemptOutcome::Damaged);
    case PictureVerdict::Unreadable:
        return AttemptOutcomeLabel(AttemptOutcome::Unreadable);
    }
    return AttemptOutcomeLabel(AttemptOutcome::Sound);
}

} // namespace

StandardError::StandardError(std::ostream& stream, bool terminal)
    : stream_(stream), terminal_(terminal) {}

void StandardError::line(const std::string& text) {
    clearProgress();
    stream_ << kProgram << text << std::endl;
}

void StandardError::progress(const std::string& text) {
    if (!terminal_)
        return;
    stream_ << '\r' << text << "\033[K" << std::flush;
    progressShown_ = true;
}

void StandardError::clearProgress() {
    if (!progressShown_)
        return;
    stream_ << "\r\033[K" << std::flush;
    progressShown_ = false;
}

std::string AttemptText(const StationEvent& event) {
    return "Versuch " + std::to_string(event.attempt) + " von " + std::to_string(event.attempts);
}

void PictureLines::read(const StationEvent& event) {
    if (event.kind != StationEvent::Kind::PictureStored)
        return;
    errors_.clearProgress();
    out_ << event.file << ": " << ByteCountText(event.bytes) << ", " << LocalTimeText(event.wallMs)
         << ", " << AttemptText(event) << std::endl;
}

void FailureLines::read(const StationEvent& event) {
    switch (event.kind) {
    case StationEvent::Kind::PictureArriving:
        errors_.progress(DescribeProgress(event.progress));
        break;
    case StationEvent::Kind::PictureKeptAside:
        errors_.line(AttemptText(event) + ": Bild " + VerdictText(event.verdict) +
                     ", beiseitegelegt als " + event.file + " (" + ByteCountText(event.bytes) +
                     ") mit " + event.textFile);
        break;
    case StationEvent::Kind::AttemptEnded:
        if (event.message.empty())
            break;
        // A port that cannot be opened and a picture that cannot be written
        // are no try at the picture: told as they are.
        errors_.line(event.countsAsTry ? AttemptText(event) + ": " + event.message : event.message);
        break;
    case StationEvent::Kind::Notice:
        errors_.line(event.message);
        break;
    case StationEvent::Kind::HangUpEnded:
        if (!event.hangUpOk)
            errors_.line(event.message);
        break;
    default:
        break;
    }
}

void NewestCopy::read(const StationEvent& event) {
    if (event.kind != StationEvent::Kind::PictureStored)
        return;
    try {
        WriteFileAtomically(path_, event.pictureBytes);
    } catch (const UserError& error) {
        errors_.line("Das neueste Bild konnte nicht nach " + path_ +
                     " kopiert werden: " + DescribeFailure(error));
    } catch (const std::bad_alloc&) {
        errors_.line("Das neueste Bild konnte nicht nach " + path_ +
                     " kopiert werden: Nicht genügend Arbeitsspeicher");
    }
}

void HookRuns::read(const StationEvent& event) {
    if (event.kind == StationEvent::Kind::PictureStored)
        hook_.picture(
            {ResolvedPath(event.file), event.bytes, IsoTime(event.wallMs), event.attempt});
}

MetricsFile::MetricsFile(std::string port, double intervalSeconds, std::string path,
                         StandardError& errors)
    : metrics_(std::move(port)), path_(std::move(path)), errors_(errors) {
    metrics_.setIntervalSeconds(intervalSeconds);
}

void MetricsFile::read(const StationEvent& event) {
    switch (event.kind) {
    case StationEvent::Kind::Started:
        // Written before the first attempt, so that a station that never
        // gets a picture is seen from the start.
        metrics_.setStartTime(static_cast<double>(event.wallMs) / 1000);
        write();
        break;
    case StationEvent::Kind::DialAnswered:
        metrics_.count(StationMetrics::Counter::Dials, DialResultLabel(*event.dial));
        break;
    case StationEvent::Kind::PictureStored:
    case StationEvent::Kind::PictureKeptAside:
        if (event.kind == StationEvent::Kind::PictureStored)
            metrics_.setLastSoundPicture(static_cast<double>(event.wallMs) / 1000);
        metrics_.count(StationMetrics::Counter::Pictures, PictureLabel(event.verdict));
        metrics_.setLastPictureBytes(static_cast<std::uint64_t>(event.bytes));
        if (event.lineCharactersPerSecond > 0)
            metrics_.setLineBytesPerSecond(event.lineCharactersPerSecond);
        break;
    case StationEvent::Kind::AttemptEnded:
        metrics_.count(StationMetrics::Counter::Attempts, AttemptOutcomeLabel(event.outcome));
        write();
        break;
    case StationEvent::Kind::CallBegun:
        metrics_.setCallUp(true, static_cast<double>(event.wallMs) / 1000);
        write();
        break;
    case StationEvent::Kind::CallEnded:
        metrics_.addCallSeconds(event.callSeconds);
        metrics_.setCallUp(false, 0);
        write();
        break;
    case StationEvent::Kind::HangUpEnded:
        metrics_.count(StationMetrics::Counter::Hangups, event.hangUpOk ? "ok" : "failed");
        write();
        break;
    default:
        break;
    }
}

void MetricsFile::setHookCounts(const PictureHook::Counts& runs) {
    metrics_.setCount(StationMetrics::Counter::HookRuns, "ok", runs.ok);
    metrics_.setCount(StationMetrics::Counter::HookRuns, "failed", runs.failed);
    metrics_.setCount(StationMetrics::Counter::HookRuns, "timed_out", runs.timedOut);
    metrics_.setCount(StationMetrics::Counter::HookRuns, "skipped", runs.skipped);
    write();
}

void MetricsFile::write() {
    try {
        metrics_.writeTo(path_);
        failing_ = false;
    } catch (const UserError& error) {
        if (!failing_)
            errors_.line("Die Metriken konnten nicht nach " + path_ +
                         " geschrieben werden: " + DescribeFailure(error));
        failing_ = true;
    } catch (const std::bad_alloc&) {
        failing_ = true;
    }
}

std::string JsonString(std::string_view bytes) {
    std::string json = "\"";
    for (std::size_t i = 0; i < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c < 0x20 || c == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            json += escaped;
            ++i;
            continue;
        }
        if (c < 0x80) {
            json += static_cast<char>(c);
            ++i;
            continue;
        }
        // A whole UTF-8 sequence goes through as it is, anything else as
        // U+FFFD, one for each byte that starts nothing.
        const std::size_t length = Utf8SequenceLength(bytes, i);
        if (length == 0) {
            json += kReplacementCharacter;
            ++i;
            continue;
        }
        json.append(bytes.substr(i, length));
        i += length;
    }
    return json + "\"";
}

namespace {

std::string JsonNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

std::string FolderOf(const std::string& path) {
    const std::string resolved = ResolvedPath(path);
    const std::size_t slash = resolved.rfind('/');
    return slash == std::string::npos ? std::string() : resolved.substr(0, slash + 1);
}

} // namespace

JournalFile::JournalFile(std::string path, std::string port, double intervalSeconds,
                         StandardError& errors)
    : path_(std::move(path)), port_(std::move(port)), intervalSeconds_(intervalSeconds),
      folder_(FolderOf(path_)), errors_(errors) {
    // Read too: the last byte tells whether the last line is whole.
    fd_ = ::open(path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd_ < 0) {
        failed(SystemErrorText(errno));
        return;
    }
    // A station killed in the middle of a line left it torn: the next line
    // starts on a line of its own, so that only the torn one is lost.
    struct stat file {};
    char last = '\n';
    if (::fstat(fd_, &file) == 0 && file.st_size > 0 &&
        ::pread(fd_, &last, 1, file.st_size - 1) == 1 && last != '\n')
        append("\n");
}

JournalFile::~JournalFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

void JournalFile::read(const StationEvent& event) {
    switch (event.kind) {
    case StationEvent::Kind::AttemptBegun:
        lineRate_ = 0;
        break;
    case StationEvent::Kind::PictureStored:
    case StationEvent::Kind::PictureKeptAside:
        lineRate_ = event.lineCharactersPerSecond;
        break;
    case StationEvent::Kind::AttemptEnded:
        if (fd_ >= 0)
            append(lineFor(event));
        break;
    default:
        break;
    }
}

std::string JournalFile::lineFor(const StationEvent& ended) const {
    std::string file = "null";
    if (!ended.file.empty()) {
        std::string where = ResolvedPath(ended.file);
        if (!folder_.empty() && where.compare(0, folder_.size(), folder_) == 0)
            where.erase(0, folder_.size());
        file = JsonString(where);
    }
    const double seconds = static_cast<double>(ended.atMs - ended.attemptStartMs) / 1000;
    std::string line =
        "{\"time\":" + JsonString(IsoTime(ended.wallMs)) + ",\"port\":" + JsonString(port_) +
        ",\"attempt\":" + std::to_string(ended.attempt) +
        ",\"attempts\":" + std::to_string(ended.attempts) +
        ",\"outcome\":" + JsonString(AttemptOutcomeLabel(ended.outcome)) +
        ",\"dial\":" + (ended.dial ? JsonString(DialResultLabel(*ended.dial)) : "null") +
        ",\"file\":" + file + ",\"bytes\":" + std::to_string(ended.bytes) +
        ",\"seconds\":" + JsonNumber(std::max(seconds, 0.0)) +
        ",\"message\":" + (ended.message.empty() ? "null" : JsonString(ended.message));
    if (lineRate_ > 0)
        line += ",\"line_bytes_per_second\":" + JsonNumber(lineRate_);
    if (intervalSeconds_ > 0)
        line += ",\"interval_seconds\":" + JsonNumber(intervalSeconds_);
    return line + "}\n";
}

void JournalFile::append(const std::string& line) {
    // One write a line: with O_APPEND it lands whole at the end, or not at all.
    const ssize_t written = ::write(fd_, line.data(), line.size());
    if (written != static_cast<ssize_t>(line.size())) {
        const int cause = written < 0 ? errno : ENOSPC;
        // A piece written is torn off: the journal keeps whole lines.
        if (written > 0) {
            struct stat file {};
            if (::fstat(fd_, &file) == 0)
                (void)::ftruncate(fd_, file.st_size - written);
        }
        failed(SystemErrorText(cause));
        return;
    }
    if (::fdatasync(fd_) != 0 && errno != EINVAL) {
        failed(SystemErrorText(errno));
        return;
    }
    failing_ = false;
}

void JournalFile::failed(const std::string& cause) {
    if (!failing_)
        errors_.line("Das Protokoll " + path_ + " kann nicht geschrieben werden: " + cause);
    failing_ = true;
}
