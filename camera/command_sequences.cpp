#include "camera/command_sequences.h"

#include "camera/capture_controls.h"
#include "camera/terminal.h"
#include "platform/clock.h"

namespace {

constexpr std::uint32_t kLinePauseMs = 1000;

} // namespace

std::size_t SequenceLength(CommandSequence sequence) {
    return sequence == CommandSequence::Dial ? 2 : 4;
}

SequenceLine SequenceLineAt(CommandSequence sequence, std::size_t index,
                            CaptureControls& controls) {
    const bool last = index + 1 >= SequenceLength(sequence);
    const std::uint32_t pause = last ? 0 : kLinePauseMs;
    if (sequence == CommandSequence::Dial)
        return {index == 0 ? "AT" : "ATD " + controls.phoneNumber(), pause};
    switch (index) {
    case 0:
        return {controls.flash() ? "CONBE" : "CONBA", pause};
    case 1:
        return {controls.direct() ? "CONSD" : "CONSI", pause};
    case 2:
        return {controls.large() ? "CONRH" : "CONRL", pause};
    default:
        return {"BILD", pause};
    }
}

void SendCommandLine(Terminal& terminal, const std::string& line) {
    terminal.setCommandField(line);
    terminal.connectPort();
    terminal.send();
}

void RunCommandSequence(CommandSequence sequence, Terminal& terminal, CaptureControls& controls) {
    // Open loop: the replies land in the received text and are not awaited.
    for (std::size_t index = 0; index < SequenceLength(sequence); ++index) {
        const SequenceLine line = SequenceLineAt(sequence, index, controls);
        SendCommandLine(terminal, line.text);
        if (line.pauseAfterMs > 0)
            CurrentClock().sleepMs(line.pauseAfterMs);
    }
}
