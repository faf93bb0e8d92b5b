// Draws the start-up logo: a lens in a camera body on a blue field, with the
// letter M in the corner, 32 × 32 pixels.
#include "picture/jpeg_encoder.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

struct Rgb {
    unsigned char r, g, b;
};

Rgb logoPixel(int x, int y) {
    const Rgb field{24, 70, 140}, body{40, 40, 44}, lens{200, 210, 225}, glint{255, 255, 255},
        letter{250, 200, 40};
    // The letter M, 7 × 7, top left.
    if (x >= 2 && x <= 8 && y >= 2 && y <= 8) {
        const int cx = x - 2, cy = y - 2;
        if (cx == 0 || cx == 6 || (cy == cx && cy <= 3) || (cy == 6 - cx && cy <= 3))
            return letter;
    }
    const bool inBody = x >= 4 && x <= 27 && y >= 11 && y <= 27;
    const bool inViewfinder = x >= 18 && x <= 24 && y >= 8 && y <= 11;
    const double dx = x - 15.5, dy = y - 19.5, r = std::sqrt(dx * dx + dy * dy);
    if (r <= 1.8 && dx < 0 && dy < 0)
        return glint;
    if (r <= 6.5)
        return r >= 5.0 ? body : lens;
    if (inBody || inViewfinder)
        return body;
    return field;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.jpg\n", argv[0]);
        return 2;
    }
    constexpr int size = 32;
    std::vector<unsigned char> rgb;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const Rgb p = logoPixel(x, y);
            rgb.insert(rgb.end(), {p.r, p.g, p.b});
        }
    const std::string jpeg = EncodeJpeg(rgb.data(), size, size, 90);
    std::ofstream out(argv[1], std::ios::binary);
    out.write(jpeg.data(), static_cast<std::streamsize>(jpeg.size()));
    return out ? 0 : 1;
}
