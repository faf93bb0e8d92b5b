// A picture stream of a given size made of random bytes, as the board sends
// it, for the capture benchmarks.
#pragma once

#include <random>
#include <string>

// "XX " for each of pairCount random bytes, a line break after every
// pairsPerLine pairs (none when 0).
inline std::string RandomHexPairs(std::size_t pairCount, std::size_t pairsPerLine,
                                  const char* lineBreak = "\r\n") {
    static const char digits[] = "0123456789ABCDEF";
    std::mt19937 random(42);
    std::string text;
    text.reserve(pairCount * 3 + (pairsPerLine ? pairCount / pairsPerLine * 2 : 0));
    for (std::size_t i = 0; i < pairCount; ++i) {
        const auto byte = static_cast<unsigned char>(random());
        text += digits[byte >> 4];
        text += digits[byte & 15];
        text += ' ';
        if (pairsPerLine && (i + 1) % pairsPerLine == 0)
            text += lineBreak;
    }
    return text;
}
