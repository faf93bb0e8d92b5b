#include "camera/modem_answer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view line) {
    while (!line.empty() && IsBlank(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && IsBlank(line.back()))
        line.remove_suffix(1);
    return line;
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

struct Word {
    std::string_view text;
    DialResult result;
};

constexpr std::array<Word, 6> kWords = {{{"BUSY", DialResult::Busy},
                                         {"NO ANSWER", DialResult::NoAnswer},
                                         {"NO CARRIER", DialResult::NoCarrier},
                                         {"NO DIALTONE", DialResult::NoDialtone},
                                         {"NO DIAL TONE", DialResult::NoDialtone},
                                         {"ERROR", DialResult::Error}}};

std::optional<DialResult> NumericResult(std::string_view code) {
    if (code.empty() || code.size() > 3 || !std::all_of(code.begin(), code.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c)) != 0;
        }))
        return std::nullopt;
    const int number = std::stoi(std::string(code));
    switch (number) {
    case 1: // CONNECT at an unstated speed
    case 5: // CONNECT 1200
        return DialResult::Connect;
    case 3:
        return DialResult::NoCarrier;
    case 4:
        return DialResult::Error;
    case 6:
        return DialResult::NoDialtone;
    case 7:
        return DialResult::Busy;
    case 8:
        return DialResult::NoAnswer;
    default:
        break;
    }
    // 9 to 19: the CONNECT codes of the faster speeds (2400, 4800, 9600,
    // 7200, 12000, 14400, 19200, 38400, 57600, 115200 and their kin).
    if (number >= 9 && number <= 19)
        return DialResult::Connect;
    return std::nullopt;
}

} // namespace

std::optional<std::string_view> ModemLines::nextAsReceived(std::string_view text) {
    if (next_ > text.size())
        next_ = 0;
    const std::size_t end = text.find_first_of("\r\n", next_);
    if (end == std::string_view::npos)
        return std::nullopt;
    const std::string_view line = text.substr(next_, end - next_);
    next_ = end + 1;
    return line;
}

std::optional<std::string_view> ModemLines::next(std::string_view text) {
    const auto line = nextAsReceived(text);
    if (!line)
        return std::nullopt;
    return Trimmed(*line);
}

std::optional<DialResult> DialResultOfLine(std::string_view line) {
    const std::string upper = Upper(Trimmed(line));
    // The echo of our own "AT…" lines; a modem's result never starts so.
    if (StartsWith(upper, "AT"))
        return std::nullopt;
    if (upper == "CONNECT" || StartsWith(upper, "CONNECT ") || StartsWith(upper, "CONNECT/"))
        return DialResult::Connect;
    for (const Word& word : kWords)
        if (upper == word.text)
            return word.result;
    return NumericResult(upper);
}

std::optional<DialResult> ModemAnswerReader::read(std::string_view text) {
    while (const auto line = lines_.next(text))
        if (const auto result = DialResultOfLine(*line))
            return result;
    return std::nullopt;
}

bool IsCallDropLine(std::string_view line) {
    const std::string upper = Upper(line);
    constexpr std::string_view kNoCarrier = "NO CARRIER";
    const std::string_view words = Trimmed(upper);
    if (words.size() >= kNoCarrier.size() &&
        words.substr(words.size() - kNoCarrier.size()) == kNoCarrier)
        return true;
    if (words == "3")
        return true;
    if (upper.empty() || upper.back() != '3')
        return false;
    // The hex digits after the last blank: the board ends none of its pairs
    // so, a cut pair and the modem's 3 (up to a pair and the 3) it does.
    const std::size_t blank = upper.find_last_of(" \t");
    const std::string_view last =
        std::string_view(upper).substr(blank == std::string::npos ? 0 : blank + 1);
    return last.size() <= 3 && std::all_of(last.begin(), last.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c)) != 0;
           });
}
