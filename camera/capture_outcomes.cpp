#include "camera/capture_outcomes.h"

const char* DialResultLabel(DialResult result) {
    switch (result) {
    case DialResult::Connect:
        return "connect";
    case DialResult::Busy:
        return "busy";
    case DialResult::NoAnswer:
        return "no_answer";
    case DialResult::NoCarrier:
        return "no_carrier";
    case DialResult::NoDialtone:
        return "no_dialtone";
    case DialResult::Error:
        return "error";
    case DialResult::Silent:
        break;
    }
    return "silent";
}

std::string DialResultText(DialResult result) {
    switch (result) {
    case DialResult::Connect:
        return "Verbunden (CONNECT)";
    case DialResult::Busy:
        return "Besetzt (BUSY)";
    case DialResult::NoAnswer:
        return "Keine Antwort (NO ANSWER)";
    case DialResult::NoCarrier:
        return "Keine Verbindung (NO CARRIER)";
    case DialResult::NoDialtone:
        return "Kein Wählton (NO DIALTONE)";
    case DialResult::Error:
        return "Fehler des Modems (ERROR)";
    case DialResult::Silent:
        break;
    }
    return "Keine Meldung des Modems";
}

const char* AttemptOutcomeLabel(AttemptOutcome outcome) {
    switch (outcome) {
    case AttemptOutcome::Sound:
        return "sound";
    case AttemptOutcome::Damaged:
        return "damaged";
    case AttemptOutcome::Unreadable:
        return "unreadable";
    case AttemptOutcome::NoPicture:
        return "no_picture";
    case AttemptOutcome::LineDropped:
        return "line_dropped";
    case AttemptOutcome::PortFailed:
        return "port_failed";
    case AttemptOutcome::DialFailed:
        return "dial_failed";
    case AttemptOutcome::StoreFailed:
        break;
    }
    return "store_failed";
}
