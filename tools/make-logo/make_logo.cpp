// Draws the start-up logo: a lens in a camera body on a blue field, with the
// letter M in the corner, 32 × 32 pixels. The same drawing, scaled, is the
// desktop icon at the sizes of the hicolor theme.
#include "picture/jpeg_encoder.h"

#include <QImage>
#include <cstdlib>
#include <cstring>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

struct Rgb {
    unsigned char r, g, b;
};

Rgb LogoPixel(int x, int y) {
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

constexpr int kLogoSize = 32;

// The logo is pixel art: larger icons keep its hard edges, smaller ones are
// averaged so that the letter does not vanish.
int WriteIcon(int size, const char* path) {
    QImage logo(kLogoSize, kLogoSize, QImage::Format_RGB32);
    for (int y = 0; y < kLogoSize; ++y)
        for (int x = 0; x < kLogoSize; ++x) {
            const Rgb p = LogoPixel(x, y);
            logo.setPixel(x, y, qRgb(p.r, p.g, p.b));
        }
    const QImage icon =
        logo.scaled(size, size, Qt::IgnoreAspectRatio,
                    size < kLogoSize ? Qt::SmoothTransformation : Qt::FastTransformation);
    return icon.save(QString::fromLocal8Bit(path), "PNG") ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--png") == 0) {
        const int size = std::atoi(argv[2]);
        if (size >= 8 && size <= 1024)
            return WriteIcon(size, argv[3]);
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.jpg\n       %s --png SIZE OUTPUT.png\n", argv[0],
                     argv[0]);
        return 2;
    }
    constexpr int size = kLogoSize;
    std::vector<unsigned char> rgb;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const Rgb p = LogoPixel(x, y);
            rgb.insert(rgb.end(), {p.r, p.g, p.b});
        }
    const std::string jpeg = EncodeJpeg(rgb.data(), size, size, 90);
    std::ofstream out(argv[1], std::ios::binary);
    out.write(jpeg.data(), static_cast<std::streamsize>(jpeg.size()));
    return out ? 0 : 1;
}
