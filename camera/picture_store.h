// Storing one complete picture, for both front ends: its verdict, the name
// it goes under, a damaged or unreadable one kept aside with its received
// text where the front end asks for that, and the files written so that no
// picture ever replaces a file (a hidden name, then a rename that refuses to
// replace; a taken name gets _2, _3, …).
#pragma once

#include "camera/picture_verdict.h"
#include "capture/hex_capture.h"

#include <cstddef>
#include <string>
#include <string_view>

// How pictures are named: by the tick count (the window), or by the local
// time of day (--zeitnamen), which never comes again after a restart.
enum class PictureNaming { TickCount, LocalTime };
// Where a picture that is not sound goes: under the picture's name like any
// other (the window, which shows the verdict), or aside as
// <stem>_<moment>.<verdict>.jpg with its text as .txt (the station).
enum class UnsoundPictures { StoredAsAny, KeptAside };

struct StoredPicture {
    std::string fileName;     // the name it got
    std::string textFileName; // the received text beside one kept aside, else empty
    PictureVerdict verdict = PictureVerdict::Sound;
    bool keptAside = false;
    // Characters of its text from "CAM_B" to "CAM_E", for the line's rate.
    std::size_t lineCharacters = 0;
};

class PictureStore {
public:
    PictureStore(PictureNaming naming, UnsoundPictures unsound)
        : naming_(naming), unsound_(unsound) {}

    // What sets the next name apart, read from the clock now: each look at
    // the capture buffer forms a new one, whether or not a picture is there.
    std::string momentNow() const;
    // Judges and writes the picture that text holds up to decoded.endPosition
    // (decoded.endSeen must hold). Throws UserError when it cannot be
    // written; then no file of it is left.
    StoredPicture store(std::string_view text, const DecodedCapture& decoded,
                        const std::string& stem, std::string_view moment) const;

private:
    PictureNaming naming_;
    UnsoundPictures unsound_;
};
