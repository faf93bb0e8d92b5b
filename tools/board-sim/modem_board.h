// The simulated modem and the Merlon board behind it, as a state machine
// without any I/O: bytes from the far side go in with the time they arrived,
// the bytes to put on the line come out. The event loop owns the clock, the
// device and the pacing; the pictures themselves are made elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The board's options for the next picture, as the option lines set them.
struct BoardOptions {
    bool flash = false;  // "CONBE" / "CONBA"
    bool direct = false; // "CONSD" / "CONSI"
    bool large = false;  // "CONRH" / "CONRL"

    bool operator==(const BoardOptions& other) const {
        return flash == other.flash && direct == other.direct && large == other.large;
    }
};

struct ModemSettings {
    bool echo = true;                // command echo at start (ATE1)
    std::int64_t dialDelayMs = 1500; // from "ATD…" to "CONNECT" (or "BUSY")
    long speed = 9600;               // reported in "CONNECT <speed>"
    std::int64_t guardMs = 1000;     // silence around "+++"
    bool verbose = true;             // result codes as words at start (ATV1)
    bool quiet = false;              // no result codes at start (ATQ1)
};

// How a dial ends. The failures come after a time of their own: a busy tone
// is heard once the number is dialled, ringing goes on for a while before
// the modem gives up, and a missing dial tone shows before any digit.
enum class CallOutcome { Connect, Busy, NoAnswer, NoDialtone };

// Decides how dial number n (from 1) ends, when the modem takes its "ATD".
using CallPlanner = std::function<CallOutcome(int dial)>;
// Decides whether the call of dial n refuses the escape, as a modem with
// S2=255 does: "+++" is data for the board like any other byte.
using EscapePlanner = std::function<bool(int dial)>;

class ModemBoard {
public:
    enum class State {
        Command,       // no call; lines are AT commands
        Dialling,      // "ATD" taken, waiting for the far modem
        Online,        // call up; lines go to the board
        OnlineCommand, // call up, but escaped to command mode with "+++"
    };

    // Longest command or board line kept; the rest of an overlong line is
    // dropped, so that a stream of garbage cannot grow memory without bound.
    static constexpr std::size_t kMaxLineLength = 256;

    // Ringing lasts this many dial delays before "NO ANSWER"; a missing
    // dial tone is reported after this fraction of one.
    static constexpr int kNoAnswerDialDelays = 5;
    static constexpr int kNoDialtoneDivisor = 5;

    // A call that refused the escape is dropped by the far side once the
    // line has been quiet this long after the refused "+++", so that the
    // next call can be tried.
    static constexpr std::int64_t kRefusedCallHoldMs = 3000;

    // Without a planner every dial connects, and every call takes the escape.
    explicit ModemBoard(const ModemSettings& settings, CallPlanner planner = {},
                        EscapePlanner escapePlanner = {});

    // Bytes the far side wrote, received at nowMs (a monotonic time).
    void receive(std::string_view bytes, std::int64_t nowMs);
    // Runs the timers (dial, escape guard) that are due at nowMs.
    void advance(std::int64_t nowMs);
    // When advance() next has something to do, if anything is pending.
    std::optional<std::int64_t> nextTimer() const;

    // Gets each event worth a log line: the lines taken (commands and the
    // board's), the modem's replies, the escape taken or refused.
    void setLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }

    // "BILD" lines the board took during a call, each with the options in
    // force at that moment, oldest first. Taking them empties the list.
    std::vector<BoardOptions> takePictureRequests();

    // Board text for the line (a picture stream, chatter). It goes out only
    // while the call is online; after "+++" it waits until "ATO".
    // With hangUpAfter, the call drops with "NO CARRIER" right after it.
    void queueBoardText(std::string text, bool hangUpAfter = false);

    // The bytes to write next: the modem's own texts first, then board text.
    // Empty when there is nothing to send.
    std::string_view pendingOutput() const;
    // Reports that the first count bytes of pendingOutput() went out.
    void consumeOutput(std::size_t count);

    State state() const { return state_; }
    bool inCall() const { return state_ == State::Online || state_ == State::OnlineCommand; }
    bool refusesEscape() const { return escapeRefused_; }
    bool echo() const { return echo_; }
    int dials() const { return dials_; }
    const BoardOptions& options() const { return options_; }

private:
    struct BoardSegment {
        std::string text;
        std::size_t sent = 0;
        bool hangUpAfter = false;
    };

    void receiveInCommandMode(char c);
    void receiveOnline(char c, std::int64_t nowMs);
    void commandLine(const std::string& line);
    void boardLine(const std::string& line);
    enum class Result { Ok, Connect, NoCarrier, Error, NoDialtone, Busy, NoAnswer };

    void startDial(std::int64_t nowMs);
    void reply(Result result);
    std::string informationText(std::string_view text) const;
    void connect(std::int64_t nowMs);
    void dropCall();

    ModemSettings settings_;
    CallPlanner planner_;
    EscapePlanner escapePlanner_;
    std::function<void(const std::string&)> log_;
    void log(const std::string& event) const {
        if (log_)
            log_(event);
    }
    bool escapeRefused_ = false;        // by the call in progress
    std::int64_t refusedCallEndsAt_ = -1; // after a refused "+++", else -1
    State state_ = State::Command;
    bool echo_;
    bool verbose_;
    bool quiet_;
    BoardOptions options_;

    std::string line_;
    bool lineOverflowed_ = false;

    int dials_ = 0;
    CallOutcome outcome_ = CallOutcome::Connect;
    std::int64_t dialDoneAt_ = 0;
    // Escape detection: time of the last byte received while online, and
    // how many "+" of a possible escape arrived after a guard-time silence.
    std::int64_t lastOnlineByteAt_ = 0;
    int escapePluses_ = 0;
    std::int64_t escapeDoneAt_ = 0;

    std::string modemOut_;
    std::deque<BoardSegment> boardOut_;
    std::vector<BoardOptions> pictureRequests_;
};
