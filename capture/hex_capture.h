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

// The start marker "CAM_B" and the two characters after it (CR LF, as the
// board sends them), which the decoder skips together before the first pair.
constexpr std::size_t kCaptureStartSkip = 7;

enum class HexDigitCase { Upper, Lower };

// Each byte as two hexadecimal digits and a space, the way the board sends a
// picture between the markers. With pairsPerLine > 0, lineBreak follows
// every pairsPerLine pairs except the last ones.
std::string EncodeHexPairs(std::string_view bytes, HexDigitCase digitCase = HexDigitCase::Upper,
                           std::size_t pairsPerLine = 0, std::string_view lineBreak = "\r\n");
