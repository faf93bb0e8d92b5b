// The board's answer to "BILD" as text on the line: "CAM_B", CR LF, the
// picture's bytes as upper-case hex pairs each followed by a space, "CAM_E",
// CR LF; and the faults the simulator can put into it on request.
#pragma once

#include <string>
#include <string_view>

// For each fault, how many pictures from the first one it spoils: 0 for
// none, kEveryPicture for all of them.
struct FaultPlan {
    static constexpr int kEveryPicture = -1;
    int chatter = 0;
    int cutBeforeEnd = 0;
    int nul = 0;
    int noise = 0;
    int lowercase = 0;
    int hangUpMidPicture = 0;
};

// The faults one particular picture gets.
struct StreamFaults {
    bool chatter = false;          // board and modem chatter before the stream
    bool cutBeforeEnd = false;     // no "CAM_E"
    bool nul = false;              // a NUL byte between two pairs
    bool noise = false;            // a few random bytes somewhere in the hex
    bool lowercase = false;        // hex digits in lower case
    bool hangUpMidPicture = false; // half the stream, then the call drops
};

StreamFaults FaultsForPicture(const FaultPlan& plan, int number);

struct PictureStream {
    std::string text;
    bool hangUpAfter = false; // the call drops with "NO CARRIER" after text
};

// The lines the board sends before the stream when asked for chatter.
extern const char* const kBoardChatter;

// seed picks the places and values of line noise, so that a picture's
// faults can be reproduced.
PictureStream BuildPictureStream(std::string_view jpeg, const StreamFaults& faults, unsigned seed);
