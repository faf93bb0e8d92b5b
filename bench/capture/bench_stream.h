// A picture stream of a given size made of random bytes, as the board sends
// it, for the capture benchmarks.
#pragma once

#include "capture/hex_capture.h"

#include <random>
#include <string>

// "XX " for each of pairCount random bytes, a line break after every
// pairsPerLine pairs (none when 0).
inline std::string RandomHexPairs(std::size_t pairCount, std::size_t pairsPerLine,
                                  const char* lineBreak = "\r\n") {
    std::mt19937 random(42);
    std::string bytes(pairCount, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    std::string text = EncodeHexPairs(bytes, HexDigitCase::Upper, pairsPerLine, lineBreak);
    if (pairsPerLine && pairCount % pairsPerLine == 0)
        text += lineBreak;
    return text;
}
