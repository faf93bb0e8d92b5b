// Small copies of pictures for overviews (the station's web site): libjpeg's
// scaled decoding does the shrinking, so a thumbnail costs a fraction of a
// full decode and never needs a full-size buffer. No Qt.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct JpegThumbnail {
    std::string bytes; // a baseline JPEG file
    int width = 0;
    int height = 0;
};

// Decodes the picture at the smallest of libjpeg's scalings n/8 that still
// covers box × box (a picture smaller than the box keeps its size) and
// encodes the result at quality. Damaged data comes out as libjpeg pads it;
// nullopt when the library gives up before it knows the picture's size.
std::optional<JpegThumbnail> MakeJpegThumbnail(std::string_view picture, int box, int quality = 80);
