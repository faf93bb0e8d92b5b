// The station's outputs, each a reader of the loop's events
// (camera/station_loop.h) that knows nothing of the others:
//   PictureLines    one line per sound picture on standard output
//   FailureLines    the failures, pictures kept aside and the progress on
//                   standard error
//   NewestCopy      an identical copy of the newest sound picture (--neuestes)
//   HookRuns        the command after each sound picture (--danach)
//   MetricsFile     the station's state for Prometheus (--metriken)
//   JournalFile     one JSON line for every attempt (--protokoll)
// What they write to standard error goes through one StandardError, which
// owns the progress line, so that no line lands in the middle of it.
#pragma once

#include "camera/station_loop.h"
#include "tools/capture/picture_hook.h"
#include "tools/capture/station_metrics.h"

#include <iosfwd>
#include <memory>
#include <string>

// Standard error: whole lines with the program's name before them, and a
// progress line that is redrawn in place while standard error is a terminal.
class StandardError {
public:
    StandardError(std::ostream& stream, bool terminal);
    void line(const std::string& text);
    void progress(const std::string& text);
    void clearProgress();

private:
    std::ostream& stream_;
    bool terminal_;
    bool progressShown_ = false;
};

// "Versuch 2 von 3".
std::string AttemptText(const StationEvent& event);

class PictureLines : public StationReader {
public:
    PictureLines(std::ostream& out, StandardError& errors) : out_(out), errors_(errors) {}
    void read(const StationEvent& event) override;

private:
    std::ostream& out_;
    StandardError& errors_;
};

class FailureLines : public StationReader {
public:
    explicit FailureLines(StandardError& errors) : errors_(errors) {}
    void read(const StationEvent& event) override;

private:
    StandardError& errors_;
};

class NewestCopy : public StationReader {
public:
    NewestCopy(std::string path, StandardError& errors) : path_(std::move(path)), errors_(errors) {}
    void read(const StationEvent& event) override;

private:
    std::string path_;
    StandardError& errors_;
};

class HookRuns : public StationReader {
public:
    HookRuns(PictureHook& hook) : hook_(hook) {}
    void read(const StationEvent& event) override;

private:
    PictureHook& hook_;
};

class MetricsFile : public StationReader {
public:
    // intervalSeconds: the interval pictures are due at, 0 without one.
    MetricsFile(std::string port, double intervalSeconds, std::string path, StandardError& errors);
    void read(const StationEvent& event) override;
    // The hook's running counts, whenever a run ends; written at once.
    void setHookCounts(const PictureHook::Counts& runs);
    const StationMetrics& metrics() const { return metrics_; }

private:
    void write();

    StationMetrics metrics_;
    std::string path_;
    StandardError& errors_;
    bool failing_ = false; // reported once until a write works again
};

// The journal (--protokoll): one JSON object a line (JSON Lines, UTF-8) for
// every attempt, appended with one write a line and flushed to the disk,
// never rewritten. Its keys are the words of the metrics' labels: time (when
// the attempt ended, ISO 8601 with the offset), port, attempt, attempts,
// outcome, dial (or null), file (relative to the journal's folder when the
// picture lies in it; null for none), bytes, seconds, message (or null),
// and line_bytes_per_second, interval_seconds.
class JournalFile : public StationReader {
public:
    JournalFile(std::string path, std::string port, double intervalSeconds, StandardError& errors);
    ~JournalFile() override;
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;
    void read(const StationEvent& event) override;

    // The line for one ended attempt, with its line end.
    std::string lineFor(const StationEvent& ended) const;

private:
    void append(const std::string& line);
    void failed(const std::string& cause);

    std::string path_;
    std::string port_;
    double intervalSeconds_;
    std::string folder_; // the journal's folder, resolved, with a slash
    StandardError& errors_;
    int fd_ = -1;
    double lineRate_ = 0; // of the attempt's picture, if one came
    bool failing_ = false;
};

// A JSON string literal of the bytes, quotes included: a byte that is not
// UTF-8 becomes U+FFFD, control characters are escaped.
std::string JsonString(std::string_view bytes);
