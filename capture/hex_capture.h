// The picture-stream decoder: a received text (8-bit bytes) in, the picture's
// bytes and whether the end marker was met out. Pure, never fails.
#pragma once

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
