// The simulated camera's pictures: a landscape drawn in RGB, brighter with
// the flash, framed and badged "D" for a direct picture, with the picture's
// running number and the time of day written in with a small bitmap font so
// that successive pictures differ.
#pragma once

#include "tools/board-sim/modem_board.h"

#include <string>
#include <string_view>
#include <vector>

struct Rgb {
    unsigned char r = 0, g = 0, b = 0;
};

// Packed 8-bit RGB, rows top to bottom, as EncodeJpeg takes it.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;

    RgbImage(int w, int h);
    Rgb pixel(int x, int y) const;
    void setPixel(int x, int y, Rgb colour); // outside the picture: ignored
};

struct SceneRequest {
    BoardOptions options;
    int number = 1;   // running number of the picture, from 1
    std::string time; // time of day as written into the picture, "HH:MM:SS"
};

// Draws the picture the board takes with these options: 640 × 480 when large,
// else 320 × 240. The same request always gives the same pixels.
RgbImage RenderScene(const SceneRequest& request);

// The built-in font: 5 × 7 cells drawn scale × scale pixels each, one empty
// column between characters. Knows digits, ':', '.', '-', the space and the
// capitals ABDEIKLMNORSTZ; other characters are left blank.
int TextWidth(std::string_view text, int scale);
constexpr int TextHeight(int scale) {
    return 7 * scale;
}
void DrawText(RgbImage& image, int x, int y, std::string_view text, int scale, Rgb colour);

// The picture as the board sends it: the scene encoded as a JPEG file.
std::string TakePicture(const SceneRequest& request, int quality);
