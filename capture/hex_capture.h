// The picture-stream decoder: a received text (8-bit bytes) in, the picture's
// bytes and whether the end marker was met out. Pure, never fails. Beside it
// the encoder of the same hex pairs, for the simulated board and for tests.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct DecodedCapture {
    std::string bytes;    // the decoded picture bytes, unchanged
    bool endSeen = false; // "CAM_E" met after a "CAM_B"
    bool startSeen = false;
    // Just past the end marker when endSeen: how much of the text the
    // picture took.
    std::size_t endPosition = 0;
};

DecodedCapture DecodeHexCapture(std::string_view text);

// The same decoder for a text that arrives in parts (a recording read block
// by block): finish() gives what DecodeHexCapture gives for the parts joined,
// while only the few characters a step looks ahead are kept across a seam.
class HexCaptureDecoder {
public:
    // expectedLength, the whole text's length where it is known, sizes the
    // picture's memory once.
    explicit HexCaptureDecoder(std::size_t expectedLength = 0) : expectedLength_(expectedLength) {}

    // Once the end marker is in, later parts change nothing.
    void feed(std::string_view part);
    DecodedCapture finish();

private:
    friend DecodedCapture DecodeHexCapture(std::string_view text);
    enum class Phase { SeekingStart, AtStart, Pairs, Ended };
    std::size_t scan(const char* text, std::size_t length, std::size_t from, std::size_t offset,
                     bool last);

    std::size_t expectedLength_;
    Phase phase_ = Phase::SeekingStart;
    // The unscanned end of what was fed, and how much was fed in all.
    std::string carry_;
    std::size_t fed_ = 0;
    DecodedCapture result_;
    std::size_t written_ = 0; // of result_.bytes, which is sized ahead
};

// The start marker "CAM_B" and the two characters after it (CR LF, as the
// board sends them), which the decoder skips together before the first pair.
constexpr std::size_t kCaptureStartSkip = 7;

enum class HexDigitCase { Upper, Lower };

// Each byte as two hexadecimal digits and a space, the way the board sends a
// picture between the markers. With pairsPerLine > 0, lineBreak follows
// every pairsPerLine pairs except the last ones.
std::string EncodeHexPairs(std::string_view bytes, HexDigitCase digitCase = HexDigitCase::Upper,
                           std::size_t pairsPerLine = 0, std::string_view lineBreak = "\r\n");
