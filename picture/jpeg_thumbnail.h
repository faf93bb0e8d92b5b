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

// Decodes the picture at the smallest of libjpeg's scalings n/8 that is still
// at least `width` wide (a narrower picture keeps its size), the height
// following, and encodes the result at quality. Damaged data comes out as libjpeg pads it;
// nullopt when the library gives up before it knows the picture's size.
std::optional<JpegThumbnail> MakeJpegThumbnail(std::string_view picture, int width,
                                               int quality = 80);
