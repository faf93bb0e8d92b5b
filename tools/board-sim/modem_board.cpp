#include "tools/board-sim/modem_board.h"

#include <cctype>

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

std::string Trimmed(const std::string& line) {
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = line.find_last_not_of(" \t");
    return line.substr(first, last - first + 1);
}

} // namespace

ModemBoard::ModemBoard(const ModemSettings& settings) : settings_(settings), echo_(settings.echo) {}

void ModemBoard::receive(std::string_view bytes, std::int64_t nowMs) {
    for (const char c : bytes) {
        switch (state_) {
        case State::Command:
        case State::OnlineCommand:
            if (echo_)
                modemOut_ += c;
            receiveInCommandMode(c);
            if (state_ == State::Dialling)
                dialDoneAt_ = nowMs + settings_.dialDelayMs;
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
            reply("ERROR");
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
                reply("ERROR");
                return;
            }
            // The rest of the line is the number; any number reaches the board.
            state_ = State::Dialling;
            return;
        case 'E': {
            const long value = ReadNumber(rest, i);
            if (value > 1) {
                reply("ERROR");
                return;
            }
            echo_ = value == 1;
            break;
        }
        case 'H': {
            const long value = ReadNumber(rest, i);
            if (value > 1) {
                reply("ERROR");
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
                reply("CONNECT " + std::to_string(settings_.speed));
            } else {
                reply("NO CARRIER");
            }
            return;
        case 'Z':
            ReadNumber(rest, i);
            if (inCall())
                dropCall();
            echo_ = settings_.echo;
            break;
        case 'I':
            ReadNumber(rest, i);
            information += "\r\nMerlon Board-Simulator\r\n";
            break;
        case 'S':
            ReadNumber(rest, i);
            if (i < rest.size() && rest[i] == '=') {
                ++i;
                ReadNumber(rest, i);
            } else if (i < rest.size() && rest[i] == '?') {
                ++i;
                information += "\r\n000\r\n";
            }
            break;
        case '&':
        case '\\':
        case '%':
            if (i >= rest.size() || !std::isalpha(static_cast<unsigned char>(rest[i]))) {
                reply("ERROR");
                return;
            }
            ++i;
            ReadNumber(rest, i);
            break;
        default:
            if (!std::isalpha(static_cast<unsigned char>(command))) {
                reply("ERROR");
                return;
            }
            // Settings this modem has no use for (volume, result codes, …).
            ReadNumber(rest, i);
            break;
        }
    }
    modemOut_ += information;
    reply("OK");
}

void ModemBoard::receiveOnline(char c, std::int64_t nowMs) {
    // Hayes escape: guard-time silence, "+++", guard-time silence. Any byte
    // while the second silence runs cancels it.
    if (escapePluses_ == 3)
        escapePluses_ = 0;
    if (c == '+') {
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
    // "+++" on a line of its own: the program can only send whole lines, so
    // the guard time after the escape never comes; take it as the escape.
    if (line == "+++") {
        state_ = State::OnlineCommand;
        escapePluses_ = 0;
        reply("OK");
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

void ModemBoard::advance(std::int64_t nowMs) {
    if (state_ == State::Dialling && nowMs >= dialDoneAt_)
        connect(nowMs);
    if (state_ == State::Online && escapePluses_ == 3 && nowMs >= escapeDoneAt_) {
        state_ = State::OnlineCommand;
        escapePluses_ = 0;
        line_.clear();
        lineOverflowed_ = false;
        reply("OK");
    }
}

std::optional<std::int64_t> ModemBoard::nextTimer() const {
    if (state_ == State::Dialling)
        return dialDoneAt_;
    if (state_ == State::Online && escapePluses_ == 3)
        return escapeDoneAt_;
    return std::nullopt;
}

void ModemBoard::connect(std::int64_t nowMs) {
    state_ = State::Online;
    lastOnlineByteAt_ = nowMs;
    escapePluses_ = 0;
    line_.clear();
    lineOverflowed_ = false;
    reply("CONNECT " + std::to_string(settings_.speed));
}

void ModemBoard::dropCall() {
    state_ = State::Command;
    boardOut_.clear();
    escapePluses_ = 0;
    line_.clear();
    lineOverflowed_ = false;
}

void ModemBoard::reply(std::string_view resultCode) {
    modemOut_ += "\r\n";
    modemOut_ += resultCode;
    modemOut_ += "\r\n";
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
        reply("NO CARRIER");
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
        reply("NO CARRIER");
    }
}
