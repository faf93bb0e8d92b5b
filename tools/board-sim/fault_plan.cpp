#include "tools/board-sim/fault_plan.h"

#include <iterator>
#include <random>

namespace {

struct PictureFault {
    bool StreamFaults::*flag;
    int FaultPlan::*count;
    const char* name; // the option without its dashes
    const char* says; // what it does, for the error output
};

// Order fixes the order of names and reports, and the random draw.
const PictureFault kPictureFaults[] = {
    {&StreamFaults::chatter, &FaultPlan::chatter, "chatter", "Meldungen vor dem Bild"},
    {&StreamFaults::cutBeforeEnd, &FaultPlan::cutBeforeEnd, "cut-before-end", "ohne CAM_E"},
    {&StreamFaults::nul, &FaultPlan::nul, "nul", "ein NUL-Byte zwischen zwei Hex-Paaren"},
    {&StreamFaults::noise, &FaultPlan::noise, "noise", "drei Störbytes"},
    {&StreamFaults::lowercase, &FaultPlan::lowercase, "lowercase", "Kleinbuchstaben"},
    {&StreamFaults::hangUpMidPicture, &FaultPlan::hangUpMidPicture, "hangup-mid-picture",
     "Auflegen mitten im Bild"},
    {&StreamFaults::dropDigit, &FaultPlan::dropDigit, "drop-digit", "eine Hex-Ziffer fehlt"},
    {&StreamFaults::flipDigit, &FaultPlan::flipDigit, "flip-digit", "eine Hex-Ziffer verändert"},
};

struct CallFault {
    CallOutcome outcome;
    int FaultPlan::*count;
    const char* name;
    const char* says;
};

// In the order in which they can happen in a call.
const CallFault kCallFaults[] = {
    {CallOutcome::NoDialtone, &FaultPlan::noDialtone, "no-dialtone", "kein Wählton, NO DIALTONE"},
    {CallOutcome::Busy, &FaultPlan::busy, "busy", "besetzt, BUSY"},
    {CallOutcome::NoAnswer, &FaultPlan::noAnswer, "no-answer", "keine Antwort, NO ANSWER"},
};

const char kNoEscapeName[] = "no-escape";
const char kNoEscapeSays[] = "kein Escape, +++ geht als Daten an das Board";

bool Spoils(int count, int number) {
    return count == FaultPlan::kEveryPicture || (count > 0 && number <= count);
}

// Each dial and each picture draws from its own generator, seeded with the
// seed, its kind and its number: the draw for picture 7 does not depend on
// how many dials came before it. Raw mt19937 output keeps the sequence the
// same with every standard library.
std::size_t RandomFault(unsigned seed, unsigned kind, int number, std::size_t faults) {
    std::seed_seq sequence{seed, kind, static_cast<unsigned>(number)};
    std::mt19937 random(sequence);
    if (random() % kRandomOutOf < kRandomCleanShare)
        return faults; // none
    return random() % faults;
}

constexpr unsigned kPictureDraw = 1;
constexpr unsigned kDialDraw = 2;
// What a dial's draw picks from: the call faults, then no-escape.
constexpr std::size_t kDialKinds = std::size(kCallFaults) + 1;

} // namespace

bool FaultPlan::any() const {
    if (randomSeed)
        return true;
    for (const PictureFault& fault : kPictureFaults)
        if (this->*fault.count != 0)
            return true;
    for (const CallFault& fault : kCallFaults)
        if (this->*fault.count != 0)
            return true;
    return noEscape != 0;
}

StreamFaults FaultsForPicture(const FaultPlan& plan, int number) {
    StreamFaults faults;
    for (const PictureFault& fault : kPictureFaults)
        faults.*fault.flag = Spoils(plan.*fault.count, number);
    if (plan.randomSeed) {
        constexpr std::size_t kinds = std::size(kPictureFaults);
        const std::size_t drawn = RandomFault(*plan.randomSeed, kPictureDraw, number, kinds);
        if (drawn < kinds)
            faults.*kPictureFaults[drawn].flag = true;
    }
    return faults;
}

CallOutcome OutcomeForDial(const FaultPlan& plan, int dial) {
    for (const CallFault& fault : kCallFaults)
        if (Spoils(plan.*fault.count, dial))
            return fault.outcome;
    if (plan.randomSeed) {
        const std::size_t drawn = RandomFault(*plan.randomSeed, kDialDraw, dial, kDialKinds);
        if (drawn < std::size(kCallFaults))
            return kCallFaults[drawn].outcome;
    }
    return CallOutcome::Connect;
}

bool EscapeRefusedForDial(const FaultPlan& plan, int dial) {
    if (OutcomeForDial(plan, dial) != CallOutcome::Connect)
        return false;
    if (Spoils(plan.noEscape, dial))
        return true;
    return plan.randomSeed &&
           RandomFault(*plan.randomSeed, kDialDraw, dial, kDialKinds) == std::size(kCallFaults);
}

std::string FaultNames(const StreamFaults& faults) {
    std::string names;
    for (const PictureFault& fault : kPictureFaults) {
        if (!(faults.*fault.flag))
            continue;
        if (!names.empty())
            names += ' ';
        names += fault.name;
    }
    return names;
}

std::string FaultReport(const StreamFaults& faults, int number) {
    std::string report;
    for (const PictureFault& fault : kPictureFaults)
        if (faults.*fault.flag)
            report += "Bild " + std::to_string(number) + ": Fehler " + fault.name + " (" +
                      fault.says + ")\n";
    return report;
}

std::string FaultReport(CallOutcome outcome, int dial, bool escapeRefused) {
    const auto line = [dial](const char* name, const char* says) {
        return "Anwahl " + std::to_string(dial) + ": Fehler " + name + " (" + says + ")\n";
    };
    for (const CallFault& fault : kCallFaults)
        if (fault.outcome == outcome)
            return line(fault.name, fault.says);
    return escapeRefused ? line(kNoEscapeName, kNoEscapeSays) : std::string();
}
