// Reading a station's journal (merlon-capture --protokoll): one JSON object a
// line for every attempt. Lines are checked one by one; a torn last line (the
// station stopped mid-write) is passed over with a note, a file that is no
// journal at all is refused as a whole, and the picture a line names is only
// taken when it lies inside the journal's own folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The outcomes an attempt can end with, as the metrics label them.
extern const std::vector<std::string> kAttemptOutcomes;

struct JournalEntry {
    std::string time; // as written, ISO 8601 with the station's offset
    std::int64_t epochMs = 0;
    int offsetSeconds = 0; // the station's offset from UTC at that time
    std::string port;
    int attempt = 0;
    int attempts = 0;
    std::string outcome; // one of kAttemptOutcomes
    std::optional<std::string> dial;
    std::optional<std::string> file; // as written
    std::int64_t bytes = 0;
    double seconds = 0;
    std::optional<std::string> message;
    std::optional<double> intervalSeconds;
    std::string line; // the line itself, for telling changed days apart

    std::string day() const { return time.substr(0, 10); }       // "2026-12-09"
    std::string clockTime() const { return time.substr(11, 8); } // "04:10:00"
};

struct Journal {
    std::string path;
    std::vector<JournalEntry> entries; // in the order written
    // What was passed over or could not be read, one German line each.
    std::vector<std::string> notes;
    // A line or the file could not be read (a torn last line is no fault).
    bool faulty = false;
};

// Reads the whole file. Never throws for anything in it; a file that cannot
// be opened, or that is of another kind, comes back faulty with its note.
Journal ReadJournal(const std::string& path);

// Reads one line (without its line break); the German reason when it is no
// journal line.
std::optional<JournalEntry> ParseJournalLine(const std::string& line, std::string& reason);

// Where the picture a line names lies, made absolute and with every link
// resolved; the German reason instead when the name leads out of the
// journal's folder ("..", an absolute path elsewhere, a link pointing out)
// or names no file.
struct PictureLocation {
    std::string path;         // absolute, links resolved
    std::string insideFolder; // relative to the journal's folder
};
std::optional<PictureLocation> LocatePicture(const std::string& journalPath,
                                             const std::string& fileName, std::string& reason);
