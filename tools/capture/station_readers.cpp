#include "tools/capture/station_readers.h"

#include "camera/capture_status.h"
#include "camera/text_formats.h"
#include "platform/files.h"
#include "platform/user_error.h"

#include <ctime>
#include <new>
#include <ostream>

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
