#include "tools/board-sim/picture_scene.h"

#include "picture/jpeg_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <optional>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Glyph {
    char character;
    const char* rows[7];
};

// '#' is ink. Kept as pictures so that a glyph can be checked by eye.
const Glyph kGlyphs[] = {
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {':', {".....", ".##..", ".##..", ".....", ".##..", ".##..", "....."}},
    {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."}},
    {'-', {".....", ".....", ".....", "#####", ".....", ".....", "....."}},
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'Z', {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
};

const Glyph* FindGlyph(char c) {
    for (const Glyph& glyph : kGlyphs)
        if (glyph.character == c)
            return &glyph;
    return nullptr;
}

double Clamp01(double v) {
    return std::min(1.0, std::max(0.0, v));
}

struct Colour {
    double r, g, b;
};

Colour Mix(Colour a, Colour b, double t) {
    t = Clamp01(t);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

unsigned char ToByte(double v) {
    return static_cast<unsigned char>(std::lround(std::min(255.0, std::max(0.0, v))));
}

// The landscape, as continuous functions of the position, so that both
// picture sizes show the same scene.
class Landscape {
public:
    Landscape(int width, int height, int number) : w_(width), h_(height) {
        horizon_ = 0.60 * h_;
        // The sun walks across the sky over twelve pictures, then starts over.
        const double u = ((number - 1) % 12) / 11.0;
        sunX_ = w_ * (0.12 + 0.76 * u);
        sunY_ = horizon_ - h_ * 0.42 * std::sin(kPi * (0.12 + 0.76 * u));
        sunRadius_ = 0.055 * w_;
    }

    Colour at(int px, int py) const {
        const double x = px + 0.5, y = py + 0.5;
        if (const auto leaf = tree(x, y))
            return *leaf;
        if (y < farRidge(x))
            return sky(x, y);
        if (y < horizon_)
            return farHills(y);
        if (y < nearRidge(x))
            return water(x, y);
        return meadow(x, y);
    }

private:
    double farRidge(double x) const {
        const double t = x / w_ * 2 * kPi;
        return horizon_ - h_ * (0.06 + 0.035 * std::sin(1.3 * t + 0.7) + 0.02 * std::sin(3.1 * t));
    }

    double nearRidge(double x) const {
        const double t = x / w_ * 2 * kPi;
        return horizon_ + h_ * (0.07 + 0.03 * std::sin(0.8 * t + 2.0));
    }

    Colour sky(double x, double y) const {
        const Colour zenith{28, 64, 140}, low{246, 178, 120}, sun{255, 238, 176},
            glow{255, 205, 130};
        Colour c = Mix(zenith, low, std::pow(Clamp01(y / horizon_), 1.6));
        const double d = std::hypot(x - sunX_, y - sunY_);
        if (d <= sunRadius_)
            return sun;
        return Mix(c, glow, 0.75 * std::exp(-(d - sunRadius_) / (0.10 * w_)));
    }

    Colour farHills(double y) const {
        // Haze: the hills fade into the sky towards the horizon.
        const Colour hill{74, 96, 128}, haze{170, 150, 150};
        return Mix(hill, haze, (y - (horizon_ - 0.11 * h_)) / (0.11 * h_) * 0.5);
    }

    Colour water(double x, double y) const {
        const Colour deep{24, 64, 120};
        const double mirrored = 2 * horizon_ - y;
        Colour c = Mix(sky(x, std::max(0.0, mirrored)), deep, 0.45);
        // The sun's glitter: broken horizontal strokes below the sun.
        const double spread = sunRadius_ * (0.8 + 2.0 * (y - horizon_) / h_);
        const int band = static_cast<int>((y - horizon_) / std::max(1.0, 0.008 * h_));
        if (std::abs(x - sunX_) < spread && band % 2 == 0)
            c = Mix(c, Colour{255, 230, 170}, 0.55);
        return c;
    }

    // A tree on the meadow to the right, in front of everything else.
    std::optional<Colour> tree(double x, double y) const {
        const Colour trunk{82, 56, 36}, crown{30, 104, 44}, crownLit{96, 164, 78};
        const double treeX = 0.80 * w_, groundY = nearRidge(treeX) + 0.06 * h_;
        const double crownY = groundY - 0.21 * h_, crownR = 0.07 * w_;
        const double dx = x - treeX, dy = (y - crownY) * 1.15;
        if (std::hypot(dx, dy) < crownR)
            return Mix(crownLit, crown, (dx + dy + crownR) / (2.4 * crownR));
        if (std::abs(dx) < 0.011 * w_ && y < groundY && y > crownY)
            return trunk;
        return std::nullopt;
    }

    Colour meadow(double x, double y) const {
        const Colour lit{104, 160, 70}, shade{34, 92, 42};
        return Mix(lit, shade, (y - nearRidge(x)) / (h_ - horizon_));
    }

    double w_, h_;
    double horizon_;
    double sunX_, sunY_, sunRadius_;
};

} // namespace

RgbImage::RgbImage(int w, int h)
    : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h) * 3) {}

Rgb RgbImage::pixel(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return {pixels[i], pixels[i + 1], pixels[i + 2]};
}

void RgbImage::setPixel(int x, int y, Rgb colour) {
    if (x < 0 || y < 0 || x >= width || y >= height)
        return;
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    pixels[i] = colour.r;
    pixels[i + 1] = colour.g;
    pixels[i + 2] = colour.b;
}

int TextWidth(std::string_view text, int scale) {
    if (text.empty())
        return 0;
    return (static_cast<int>(text.size()) * 6 - 1) * scale;
}

void DrawText(RgbImage& image, int x, int y, std::string_view text, int scale, Rgb colour) {
    for (const char c : text) {
        if (const Glyph* glyph = FindGlyph(c)) {
            for (int row = 0; row < 7; ++row)
                for (int column = 0; column < 5; ++column) {
                    if (glyph->rows[row][column] != '#')
                        continue;
                    for (int dy = 0; dy < scale; ++dy)
                        for (int dx = 0; dx < scale; ++dx)
                            image.setPixel(x + column * scale + dx, y + row * scale + dy, colour);
                }
        }
        x += 6 * scale;
    }
}

namespace {

void FillRect(RgbImage& image, int x0, int y0, int x1, int y1, Rgb colour) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            image.setPixel(x, y, colour);
}

// White text with a dark shadow reads on sky and meadow alike.
void DrawLabel(RgbImage& image, int x, int y, std::string_view text, int scale) {
    DrawText(image, x + scale / 2 + 1, y + scale / 2 + 1, text, scale, Rgb{20, 20, 28});
    DrawText(image, x, y, text, scale, Rgb{255, 255, 255});
}

} // namespace

RgbImage RenderScene(const SceneRequest& request) {
    const int width = request.options.large ? 640 : 320;
    const int height = request.options.large ? 480 : 240;
    const int unit = width / 320; // 1 for the small picture, 2 for the large
    RgbImage image(width, height);

    const Landscape landscape(width, height, request.number);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Colour c = landscape.at(x, y);
            if (request.options.flash) {
                // Flash: everything lifted and lighter, as a flash lights a
                // scene that the camera exposed for daylight.
                c = {40 + 1.2 * c.r, 40 + 1.2 * c.g, 40 + 1.2 * c.b};
            }
            image.setPixel(x, y, Rgb{ToByte(c.r), ToByte(c.g), ToByte(c.b)});
        }

    const int scale = 3 * unit;
    const int margin = 12 * unit;
    char number[16];
    std::snprintf(number, sizeof number, "%04d", request.number);
    DrawLabel(image, margin, margin, std::string("BILD ") + number, scale);
    if (request.options.flash)
        DrawLabel(image, margin, margin + TextHeight(scale) + 4 * unit, "BLITZ", 2 * unit);
    DrawLabel(image, width - margin - TextWidth(request.time, scale),
              height - margin - TextHeight(scale), request.time, scale);

    if (request.options.direct) {
        const Rgb mark{225, 48, 36};
        const int frame = 6 * unit;
        FillRect(image, 0, 0, width, frame, mark);
        FillRect(image, 0, height - frame, width, height, mark);
        FillRect(image, 0, 0, frame, height, mark);
        FillRect(image, width - frame, 0, width, height, mark);
        // The "D" badge in the top right corner.
        const int badge = TextHeight(scale) + 6 * unit;
        const int bx = width - margin - badge, by = margin;
        FillRect(image, bx, by, bx + badge, by + badge, mark);
        DrawText(image, bx + (badge - TextWidth("D", scale)) / 2, by + 3 * unit, "D", scale,
                 Rgb{255, 255, 255});
    }
    return image;
}

std::string TakePicture(const SceneRequest& request, int quality) {
    const RgbImage image = RenderScene(request);
    return EncodeJpeg(image.pixels.data(), image.width, image.height, quality);
}
