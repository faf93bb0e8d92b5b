// The two command sequences the board is driven by: the dial ("AT", a
// second, "ATD " and the number) and the picture request (the three option
// lines and "BILD", a second apart). One list of lines for every front end:
// the window runs a sequence with its waits on the clock, the station steps
// through the same lines from its own loop and reads the modem's answer in
// the pauses. Each line is read from the controls when it goes out, so an
// option changed during the request counts from its own line on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CaptureControls;
class Terminal;

enum class CommandSequence { Dial, PictureRequest };

struct SequenceLine {
    std::string text;
    std::uint32_t pauseAfterMs = 0; // before the next line; 0 after the last
};

// How many lines the sequence has.
std::size_t SequenceLength(CommandSequence sequence);
// Its line at index, as the controls say now.
SequenceLine SequenceLineAt(CommandSequence sequence, std::size_t index, CaptureControls& controls);

// One command line the way every sequence sends it: into the command field,
// connect (which opens the port on the first line and is a no-op after),
// send.
void SendCommandLine(Terminal& terminal, const std::string& line);

// The whole sequence, line after line with its pauses on the clock
// interface (the window's clock keeps the window alive through them).
void RunCommandSequence(CommandSequence sequence, Terminal& terminal, CaptureControls& controls);
