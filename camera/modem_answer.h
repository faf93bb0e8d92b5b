// The modem's answers, read from the received text: whole lines ended by CR
// and/or LF (numeric result codes, as after ATV0, end with a CR alone), what
// a line says about a dial, and the "NO CARRIER" of a call that drops while
// a picture arrives. Pure: text in, results out.
#pragma once

#include "camera/capture_outcomes.h"

#include <cstddef>
#include <optional>
#include <string_view>

// Walks a growing text one whole line at a time from a given place on.
class ModemLines {
public:
    explicit ModemLines(std::size_t from = 0) : next_(from) {}

    // The next line that is complete in text, without its line end and the
    // blanks around it (empty lines included), or nothing until one is. A
    // text shorter than what was read has been emptied: it is read afresh
    // from its start.
    std::optional<std::string_view> next(std::string_view text);
    // The same, with the blanks around it as they came.
    std::optional<std::string_view> nextAsReceived(std::string_view text);

    // Where the next line starts.
    std::size_t position() const { return next_; }

private:
    std::size_t next_;
};

// The final result a line gives a dial, verbose or numeric: CONNECT (with or
// without a speed, and the numeric CONNECT speeds), BUSY/7, NO CARRIER/3,
// NO ANSWER/8, NO DIALTONE/6, ERROR/4. Nothing for the rest: the echo of
// our own command, OK/0, RING/2, empty and information lines.
std::optional<DialResult> DialResultOfLine(std::string_view line);

// Reads the modem's answer to a dial from text, from a place on; each call
// goes on where the last one stopped.
class ModemAnswerReader {
public:
    explicit ModemAnswerReader(std::size_t from = 0) : lines_(from) {}
    // The first final result, once its line is complete.
    std::optional<DialResult> read(std::string_view text);

private:
    ModemLines lines_;
};

// Whether a whole line, as received (nextAsReceived), tells that the call
// dropped: "NO CARRIER" or a numeric 3, also at the end of a picture cut
// short, where a numeric code comes without a line break before it and a
// word may too. The board sends each hex pair with a blank after it, so
// hex digits that end a line without one hold the modem's 3: after a lone
// high digit ("A3"), after a whole pair ("A33") or after the blank ("A3 3").
bool IsCallDropLine(std::string_view line);
