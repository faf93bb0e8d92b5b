// Which faults the simulator puts into each dial and each picture: the
// counts given on the command line ("--busy=2": the first two dials), and
// for soaks a reproducible random mix of every fault it knows ("--faults
// SEED"), with the names under which both are reported.
#pragma once

#include "tools/board-sim/modem_board.h"
#include "tools/board-sim/picture_stream.h"

#include <optional>
#include <string>

// For each fault, how many dials or pictures from the first one it spoils:
// 0 for none, kEveryPicture for all of them.
struct FaultPlan {
    static constexpr int kEveryPicture = -1;
    // Faults of a picture stream, counted in pictures.
    int chatter = 0;
    int cutBeforeEnd = 0;
    int nul = 0;
    int noise = 0;
    int lowercase = 0;
    int hangUpMidPicture = 0;
    int dropDigit = 0;
    int flipDigit = 0;
    // Faults of a call, counted in dials. Where several spoil one dial the
    // earliest in a call wins: no dial tone, then busy, then no answer.
    int busy = 0;
    int noAnswer = 0;
    int noDialtone = 0;
    // A call that connects but refuses the escape, counted in dials.
    int noEscape = 0;
    // "--faults SEED": besides the counts above, each dial and each picture
    // draws its own fault from this seed and its number.
    std::optional<unsigned> randomSeed;

    bool any() const;
};

// Of a random mix, how many dials and pictures in kRandomOutOf stay clean.
constexpr unsigned kRandomCleanShare = 6;
constexpr unsigned kRandomOutOf = 10;

StreamFaults FaultsForPicture(const FaultPlan& plan, int number);
CallOutcome OutcomeForDial(const FaultPlan& plan, int dial);
// Whether the call of this dial, once connected, refuses the escape.
bool EscapeRefusedForDial(const FaultPlan& plan, int dial);

// The option names of a picture's faults, without the dashes and separated
// by blanks ("drop-digit", "nul noise"); empty when it has none.
std::string FaultNames(const StreamFaults& faults);
// The German lines for the error output, one for each fault, each ending
// with a line break: "Bild 3: Fehler drop-digit (eine Hex-Ziffer fehlt)".
std::string FaultReport(const StreamFaults& faults, int number);
// "Anwahl 2: Fehler busy (besetzt, BUSY)"; empty for a dial that connects
// (with escapeRefused, the line of no-escape).
std::string FaultReport(CallOutcome outcome, int dial, bool escapeRefused = false);
