#include "tools/board-sim/modem_board.h"

#include <cctype>
#include <utility>

namespace {

char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the decimal number at rest[i] (none means 0), moving i past it.
long ReadNumber(const std::string& rest, std::size_t& i) {
    long value = 0;
    while (i < rest.size() && IsDigit(rest[i])) {
        if (value < 100000)
            value = value * 10 + (rest[i] - '0');
        ++i;
    }
    return value;
}

// The numeric CONNECT codes of the common extended table, for the speeds it
// names; any other speed is reported as plain CONNECT, code 1.
int NumericConnectCode(long speed) {
    struct SpeedCode {
        long speed;
        int code;
    };
    static constexpr SpeedCode kCodes[] = {
        {1200, 5},   {600, 9},    {2400, 10},  {4800, 11},  {9600, 12},  {7200, 13},
        {12000, 14}, {14400, 15}, {19200, 16}, {38400, 17}, {57600, 18}, {115200, 19},
    };
    for (const SpeedCode& entry : kCodes)
        if (entry.speed == speed)
            return entry.code;
    return 1;
}

std::string Trimmed(const std::string& line) {
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = line.find_last_not_of(" \t");
    return line.substr(first, last - first + 1);
}

} // namespace

ModemBoard::ModemBoard(const ModemSettings& settings, CallPlanner planner,
                       EscapePlanner escapePlanner)
    : settings_(settings), planner_(std::move(planner)),
      escapePlanner_(std::move(escapePlanner)), echo_(settings.echo),
      verbose_(settings.verbose), quiet_(settings.quiet) {}

void ModemBoard::receive(std::string_view bytes, std::int64_t nowMs) {
    for (const char c : bytes) {
        switch (state_) {
        case State::Command:
        case State::OnlineCommand:
            if (echo_)
                modemOut_ += c;
            receiveInCommandMode(c);
            if (state_ == State::Dialling)
                startDial(nowMs);
            else if (state_ == State::Online)
                lastOnlineByteAt_ = nowMs; // back online with "ATO"
            break;
        case State::Dialling:
            // Keys typed while the modem dials are dropped rather than
            // aborting the call, so an early "BILD" costs nothing.
            break;
        case State::Online:
            receiveOnline(c, nowMs);
            break;
        }
    }
}

void ModemBoard::receiveInCommandMode(char c) {
    if (c == '\r' || c == '\n') {
        if (lineOverflowed_) {
            line_.clear();
            lineOverflowed_ = false;
            reply(Result::Error);
        } else if (!line_.empty()) {
            const std::string line = line_;
            line_.clear();
            commandLine(line);
        }
        return;
    }
    if (c == '\b' || c == '\x7f') {
        if (!line_.empty())
            line_.pop_back();
        return;
    }
    if (line_.size() < kMaxLineLength)
        line_ += c;
    else
        lineOverflowed_ = true;
}

void ModemBoard::commandLine(const std::string& rawLine) {
    const std::string line = Trimmed(rawLine);
    log("Befehl " + line);
    // A Hayes modem only listens to lines that begin with "AT"; anything else
    // (a board command sent without a call, say) passes without a reply.
    if (line.size() < 2 || Upper(line[0]) != 'A' || Upper(line[1]) != 'T')
        return;

    const std::string rest = line.substr(2);
    std::string information;
    std::size_t i = 0;
    while (i < rest.size()) {
        const char command = Upper(rest[i++]);
        switch (command) {
        case ' ':
            break;
        case 'D':
            if (inCall()) {
                reply(Result::Error);
                return;
            }
            // The rest of the line is the number; any number reaches the board.
            state_ = State::Dialling;
            return;
        case 'E':
        case 'V':
        case 'Q': {
            const long value = ReadNumber(rest, i);
            if (value > 1) {
                reply(Result::Error);
                return;
            }
            // Echo, words (else numbers) and quiet: a reply to this very
            // line already takes the new form.
            (command == 'E' ? echo_ : command == 'V' ? verbose_ : quiet_) = value == 1;
            break;
        }
        case 'H': {
            const long value = ReadNumber(rest, i);
            if (value > 1) {
                reply(Result::Error);
                return;
            }
            if (value == 0 && inCall())
                dropCall();
            break;
        }
        case 'O':
            ReadNumber(rest, i);
            if (state_ == State::OnlineCommand) {
                state_ = State::Online;
                escapePluses_ = 0;
                reply(Result::Connect);
            } else {
                reply(Result::NoCarrier);
            }
            return;
        case 'Z':
            ReadNumber(rest, i);
            if (inCall())
                dropCall();
            echo_ = settings_.echo;
            verbose_ = settings_.verbose;
            quiet_ = settings_.quiet;
            break;
        case 'I':
            ReadNumber(rest, i);
            information += informationText("Merlon Board-Simulator");
            break;
        case 'S':
            ReadNumber(rest, i);
            if (i < rest.size() && rest[i] == '=') {
                ++i;
                ReadNumber(rest, i);
            } else if (i < rest.size() && rest[i] == '?') {
                ++i;
                information += informationText("000");
            }
            break;
        case '&':
        case '\\':
        case '%':
            if (i >= rest.size() || !std::isalpha(static_cast<unsigned char>(rest[i]))) {
                reply(Result::Error);
                return;
            }
            ++i;
            ReadNumber(rest, i);
            break;
        default:
            if (!std::isalpha(static_cast<unsigned char>(command))) {
                reply(Result::Error);
                return;
            }
            // Settings this modem has no use for (volume, speaker, …).
            ReadNumber(rest, i);
            break;
        }
    }
    modemOut_ += information;
    reply(Result::Ok);
}

void ModemBoard::receiveOnline(char c, std::int64_t nowMs) {
    // Hayes escape: guard-time silence, "+++", guard-time silence. Any byte
    // while the second silence runs cancels it.
    if (escapePluses_ == 3)
        escapePluses_ = 0;
    if (escapeRefused_) {
        // The pluses are data; the far side gives up on the call a while
        // after the line fell quiet.
        if (c == '+' && refusedCallEndsAt_ < 0)
            log("+++ abgelehnt (no-escape): Daten für das Board");
        if (c == '+' || refusedCallEndsAt_ >= 0)
            refusedCallEndsAt_ = nowMs + kRefusedCallHoldMs;
    } else if (c == '+') {
        const bool afterSilence = nowMs - lastOnlineByteAt_ >= settings_.guardMs;
        if (escapePluses_ == 0 || afterSilence)
            escapePluses_ = afterSilence ? 1 : 0;
        else
            ++escapePluses_;
        if (escapePluses_ == 3)
            escapeDoneAt_ = nowMs + settings_.guardMs;
    } else {
        escapePluses_ = 0;
    }
    lastOnlineByteAt_ = nowMs;

    if (c == '\r' || c == '\n') {
        const std::string line = line_;
        const bool overflowed = lineOverflowed_;
        line_.clear();
        lineOverflowed_ = false;
        // The board drops an overlong line whole rather than act on its start.
        if (!line.empty() && !overflowed)
            boardLine(line);
        return;
    }
    if (line_.size() < kMaxLineLength)
        line_ += c;
    else
        lineOverflowed_ = true;
}

void ModemBoard::boardLine(const std::string& rawLine) {
    std::string line = Trimmed(rawLine);
    log("Board-Zeile " + line);
    // "+++" on a line of its own: the program can only send whole lines, so
    // the guard time after the escape never comes; take it as the escape.
    if (line == "+++" && !escapeRefused_) {
        state_ = State::OnlineCommand;
        escapePluses_ = 0;
        reply(Result::Ok);
        return;
    }
    for (char& c : line)
        c = Upper(c);
    if (line == "CONBE")
        options_.flash = true;
    else if (line == "CONBA")
        options_.flash = false;
    else if (line == "CONSD")
        options_.direct = true;
    else if (line == "CONSI")
        options_.direct = false;
    else if (line == "CONRH")
        options_.large = true;
    else if (line == "CONRL")
        options_.large = false;
    else if (line == "BILD")
        pictureRequests_.push_back(options_);
    // The board ignores every other line, the program's "AT" and "ATD"
    // included when it dials again during a call.
}

void ModemBoard::startDial(std::int64_t nowMs) {
    ++dials_;
    outcome_ = planner_ ? planner_(dials_) : CallOutcome::Connect;
    std::int64_t delay = settings_.dialDelayMs;
    if (outcome_ == CallOutcome::NoAnswer)
        delay *= kNoAnswerDialDelays;
    else if (outcome_ == CallOutcome::NoDialtone)
        delay /= kNoDialtoneDivisor;
    dialDoneAt_ = nowMs + delay;
}

void ModemBoard::advance(std::int64_t nowMs) {
    if (state_ == State::Dialling && nowMs >= dialDoneAt_) {
        switch (outcome_) {
        case CallOutcome::Connect:
            connect(nowMs);
            break;
        case CallOutcome::Busy:
        case CallOutcome::NoAnswer:
        case CallOutcome::NoDialtone:
            // The modem hangs up and is back in command mode.
            state_ = State::Command;
            reply(outcome_ == CallOutcome::Busy       ? Result::Busy
                  : outcome_ == CallOutcome::NoAnswer ? Result::NoAnswer
                                                      : Result::NoDialtone);
            break;
        }
    }
    if (state_ == State::Online && refusedCallEndsAt_ >= 0 && nowMs >= refusedCallEndsAt_) {
        dropCall();
        reply(Result::NoCarrier);
    }
    if (state_ == State::Online && escapePluses_ == 3 && nowMs >= escapeDoneAt_) {
        log("Escape +++ nach je " + std::to_string(settings_.guardMs) + " ms Pause");
        state_ = State::OnlineCommand;
        escapePluses_ = 0;
        line_.clear();
        lineOverflowed_ = false;
        reply(Result::Ok);
    }
}

std::optional<std::int64_t> ModemBoard::nextTimer() const {
    if (state_ == State::Dialling)
        return dialDoneAt_;
    if (state_ == State::Online && escapePluses_ == 3)
        return escapeDoneAt_;
    if (state_ == State::Online && refusedCallEndsAt_ >= 0)
        return refusedCallEndsAt_;
    return std::nullopt;
}

void ModemBoard::connect(std::int64_t nowMs) {
    state_ = State::Online;
    escapeRefused_ = escapePlanner_ && escapePlanner_(dials_);
    refusedCallEndsAt_ = -1;
    lastOnlineByteAt_ = nowMs;
    escapePluses_ = 0;
    line_.clear();
    lineOverflowed_ = false;
    reply(Result::Connect);
}

void ModemBoard::dropCall() {
    state_ = State::Command;
    escapeRefused_ = false;
    refusedCallEndsAt_ = -1;
    boardOut_.clear();
    escapePluses_ = 0;
    line_.clear();
    lineOverflowed_ = false;
}

// Words framed by CR LF (ATV1), or the number and one CR (ATV0); nothing at
// all when quiet (ATQ1).
void ModemBoard::reply(Result result) {
    if (quiet_)
        return;
    static const char* const kNames[] = {"OK",          "CONNECT", "NO CARRIER", "ERROR",
                                         "NO DIALTONE", "BUSY",    "NO ANSWER"};
    log(std::string("Antwort ") + kNames[static_cast<int>(result)]);
    if (!verbose_) {
        int code = 0;
        switch (result) {
        case Result::Ok:
            code = 0;
            break;
        case Result::Connect:
            code = NumericConnectCode(settings_.speed);
            break;
        case Result::NoCarrier:
            code = 3;
            break;
        case Result::Error:
            code = 4;
            break;
        case Result::NoDialtone:
            code = 6;
            break;
        case Result::Busy:
            code = 7;
            break;
        case Result::NoAnswer:
            code = 8;
            break;
        }
        modemOut_ += std::to_string(code);
        modemOut_ += '\r';
        return;
    }
    const char* words = "";
    switch (result) {
    case Result::Ok:
        words = "OK";
        break;
    case Result::Connect:
        words = "CONNECT ";
        break;
    case Result::NoCarrier:
        words = "NO CARRIER";
        break;
    case Result::Error:
        words = "ERROR";
        break;
    case Result::NoDialtone:
        words = "NO DIALTONE";
        break;
    case Result::Busy:
        words = "BUSY";
        break;
    case Result::NoAnswer:
        words = "NO ANSWER";
        break;
    }
    modemOut_ += "\r\n";
    modemOut_ += words;
    if (result == Result::Connect)
        modemOut_ += std::to_string(settings_.speed);
    modemOut_ += "\r\n";
}

// Information text ("ATI") comes whatever ATQ says; only its framing
// follows ATV.
std::string ModemBoard::informationText(std::string_view text) const {
    std::string framed = verbose_ ? "\r\n" : "";
    framed += text;
    framed += "\r\n";
    return framed;
}

std::vector<BoardOptions> ModemBoard::takePictureRequests() {
    std::vector<BoardOptions> requests;
    requests.swap(pictureRequests_);
    return requests;
}

void ModemBoard::queueBoardText(std::string text, bool hangUpAfter) {
    if (!inCall())
        return;
    if (text.empty()) {
        if (!hangUpAfter)
            return;
        if (!boardOut_.empty()) {
            boardOut_.back().hangUpAfter = true;
            return;
        }
        dropCall();
        reply(Result::NoCarrier);
        return;
    }
    boardOut_.push_back(BoardSegment{std::move(text), 0, hangUpAfter});
}

std::string_view ModemBoard::pendingOutput() const {
    if (!modemOut_.empty())
        return modemOut_;
    if (state_ == State::Online && !boardOut_.empty()) {
        const BoardSegment& front = boardOut_.front();
        return std::string_view(front.text).substr(front.sent);
    }
    return {};
}

void ModemBoard::consumeOutput(std::size_t count) {
    if (!modemOut_.empty()) {
        modemOut_.erase(0, count);
        return;
    }
    if (boardOut_.empty() || count == 0)
        return;
    BoardSegment& front = boardOut_.front();
    front.sent += count;
    if (front.sent < front.text.size())
        return;
    const bool hangUp = front.hangUpAfter;
    boardOut_.pop_front();
    if (hangUp) {
        dropCall();
        reply(Result::NoCarrier);
    }
}
