// The picture-stream decoder written the plain way, one position at a time,
// exactly as the stream rules read. The fast decoder is checked against it.
#pragma once

#include "capture/hex_capture.h"

#include <string_view>

namespace reference {

inline int HexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

// Positions past the end hold no character.
inline DecodedCapture DecodeHexCapture(std::string_view text) {
    DecodedCapture result;
    const size_t length = text.size();
    auto at = [&](size_t i) { return i < length ? text[i] : '\0'; };
    auto markerAt = [&](size_t i, char last) {
        return at(i) == 'C' && at(i + 1) == 'A' && at(i + 2) == 'M' && at(i + 3) == '_' &&
               at(i + 4) == last;
    };
    bool inPicture = false;
    for (size_t i = 0; i + 1 < length; ++i) {
        if (markerAt(i, 'B')) {
            inPicture = true;
            i += 7;
        }
        if (inPicture && markerAt(i, 'E')) {
            result.endSeen = true;
            break;
        }
        if (inPicture && at(i + 2) == ' ' && i + 2 < length)
            result.bytes.push_back(
                static_cast<char>(16 * HexDigitValue(at(i)) + HexDigitValue(at(i + 1))));
    }
    return result;
}

} // namespace reference
