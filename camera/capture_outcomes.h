// How a call and a try at one picture went, as the station counts and
// reports them: the modem's result of a dial and the outcome of an attempt.
// Each has a fixed label (lower case, for counters and logs read by programs)
// and the dial results a German line for people.
#pragma once

#include <array>
#include <string>

// The modem's answer to a dial. Silent: no result code in the time allowed
// (a modem whose result codes are off), which is not yet a failure.
enum class DialResult { Connect, Busy, NoAnswer, NoCarrier, NoDialtone, Error, Silent };

inline constexpr std::array<DialResult, 7> kDialResults = {
    DialResult::Connect,    DialResult::Busy,  DialResult::NoAnswer, DialResult::NoCarrier,
    DialResult::NoDialtone, DialResult::Error, DialResult::Silent};

// "connect", "busy", "no_answer", "no_carrier", "no_dialtone", "error", "silent".
const char* DialResultLabel(DialResult result);
// "Verbunden (CONNECT)", "Besetzt (BUSY)", "Keine Antwort (NO ANSWER)", … (UTF-8).
std::string DialResultText(DialResult result);

// How one try at a picture ended.
enum class AttemptOutcome {
    Sound,       // stored under the picture's name
    Damaged,     // kept aside, "beschädigt"
    Unreadable,  // kept aside, "unlesbar"
    NoPicture,   // nothing complete within the time allowed
    LineDropped, // the call or the device went away
    PortFailed,  // the port could not be opened
    DialFailed,  // the modem answered the dial with anything but CONNECT
    StoreFailed, // the picture came but could not be written (a full disk)
};

inline constexpr std::array<AttemptOutcome, 8> kAttemptOutcomes = {
    AttemptOutcome::Sound,       AttemptOutcome::Damaged,    AttemptOutcome::Unreadable,
    AttemptOutcome::NoPicture,   AttemptOutcome::LineDropped, AttemptOutcome::PortFailed,
    AttemptOutcome::DialFailed, AttemptOutcome::StoreFailed};

// "sound", "damaged", "unreadable", "no_picture", "line_dropped",
// "port_failed", "dial_failed", "store_failed".
const char* AttemptOutcomeLabel(AttemptOutcome outcome);
