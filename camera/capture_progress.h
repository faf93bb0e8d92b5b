// What the live capture is doing, for a status line or a progress line:
// nothing yet, a picture arriving, the last one stored, or the last one that
// could not be stored or shown.
#pragma once

#include "camera/picture_verdict.h"

#include <cstddef>
#include <optional>
#include <string>

struct CaptureProgress {
    enum class Stage { Idle, Arriving, Stored, NotStored, NotShown };
    Stage stage = Stage::Idle;
    std::size_t pictureBytes = 0; // decoded so far, or stored
    std::string fileName;         // the stored file, under the name it got (Stored, NotShown)
    // Characters of the stored picture's text from "CAM_B" to "CAM_E" (Stored).
    std::size_t lineCharacters = 0;
    // Arriving: the picture's bytes per second over the last seconds, once
    // known.
    std::optional<double> bytesPerSecond;
    // The size of the picture stored last, 0 before the first.
    std::size_t lastStoredBytes = 0;
    PictureVerdict verdict = PictureVerdict::Sound; // of the stored picture (Stored)
    std::string failure;                            // the message, UTF-8 (NotStored, NotShown)
};
