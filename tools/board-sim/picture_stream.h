// The board's answer to "BILD" as text on the line: "CAM_B", CR LF, the
// picture's bytes as upper-case hex pairs each followed by a space, "CAM_E",
// CR LF; and the faults the simulator can put into it on request.
#pragma once

#include <string>
#include <string_view>

// The faults one particular picture gets.
struct StreamFaults {
    bool chatter = false;          // board and modem chatter before the stream
    bool cutBeforeEnd = false;     // no "CAM_E"
    bool nul = false;              // a NUL byte between two pairs
    bool noise = false;            // a few random bytes somewhere in the hex
    bool lowercase = false;        // hex digits in lower case
    bool hangUpMidPicture = false; // half the stream, then the call drops
    bool dropDigit = false;        // one hex digit of the scan data lost
    bool flipDigit = false;        // one hex digit of the scan data changed

    bool any() const {
        return chatter || cutBeforeEnd || nul || noise || lowercase || hangUpMidPicture ||
               dropDigit || flipDigit;
    }
};

struct PictureStream {
    std::string text;
    bool hangUpAfter = false; // the call drops with "NO CARRIER" after text
};

// The lines the board sends before the stream when asked for chatter.
extern const char* const kBoardChatter;

// seed picks the places and values of line noise and of the digit lost or
// changed, so that a picture's faults can be reproduced. Both digit faults
// fall inside the entropy-coded data, between the scan header and the
// end-of-image marker, so the end marker and the file's headers come whole.
PictureStream BuildPictureStream(std::string_view jpeg, const StreamFaults& faults, unsigned seed);
