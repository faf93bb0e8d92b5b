// Builds the station's web site under one folder from the journals and the
// pictures they name. A small state file (hidden) remembers what each day's
// page was made from, so that the build after one more attempt redoes only
// the day it fell on and the overview: pictures are linked and thumbnails
// made once each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct GalleryRequest {
    std::string target;                // ORDNER
    std::vector<std::string> journals; // one station each
    std::int64_t nowMs = 0;            // for the last 24 hours and the warning
};

struct GalleryReport {
    std::vector<std::string> notes; // German, one line each
    bool faulty = false;            // a journal or a picture could not be read
    int dayPagesWritten = 0;
    int thumbnailsMade = 0;
};

// The station's name for a journal: its file name without the extension, or
// the folder's name for a journal called "protokoll.*".
std::string StationName(const std::string& journalPath);

// Throws UserError only when the target folder cannot be made or written;
// everything about one journal or picture goes into the report.
GalleryReport BuildGallery(const GalleryRequest& request);
