#include "picture/scanline_reducer.h"

#include <algorithm>

namespace {

int DivideRoundingUp(int value, int divisor) {
    return static_cast<int>((static_cast<long long>(value) + divisor - 1) / divisor);
}

} // namespace

ScanlineReducer::ScanlineReducer(int sourceWidth, int sourceHeight, int factorX, int factorY)
    : sourceWidth_(std::max(sourceWidth, 0)), sourceHeight_(std::max(sourceHeight, 0)),
      factorX_(std::max(factorX, 1)), factorY_(std::max(factorY, 1)) {
    const int width = DivideRoundingUp(sourceWidth_, factorX_);
    const int height = DivideRoundingUp(sourceHeight_, factorY_);
    if (width > 0 && height > 0) {
        image_ = QImage(width, height, QImage::Format_ARGB32_Premultiplied);
        // A null image here means the allocation failed; rows are then ignored.
        image_.fill(Qt::transparent);
        if (factorX_ > 1 || factorY_ > 1)
            sums_.assign(static_cast<size_t>(width) * 3, 0);
    }
}

int ScanlineReducer::factorFor(int sourceLength, int boxLength) {
    if (boxLength <= 0)
        return std::max(sourceLength, 1);
    return std::max(sourceLength / boxLength, 1);
}

namespace {

struct Rgb {
    unsigned red, green, blue;
};

Rgb GreyPixel(const unsigned char* sample) {
    return {sample[0], sample[0], sample[0]};
}

Rgb RgbPixel(const unsigned char* sample) {
    return {sample[0], sample[1], sample[2]};
}

Rgb CmykPixel(const unsigned char* sample) {
    const unsigned white = 255u - sample[3];
    return {(255u - sample[0]) * white / 255u, (255u - sample[1]) * white / 255u,
            (255u - sample[2]) * white / 255u};
}

Rgb AdobeCmykPixel(const unsigned char* sample) {
    const unsigned white = sample[3];
    return {sample[0] * white / 255u, sample[1] * white / 255u, sample[2] * white / 255u};
}

template <int Step, Rgb (*ToRgb)(const unsigned char*)>
void CopyRow(const unsigned char* samples, int width, QRgb* out) {
    for (int x = 0; x < width; ++x) {
        const Rgb pixel = ToRgb(samples + Step * x);
        out[x] = qRgb(static_cast<int>(pixel.red), static_cast<int>(pixel.green),
                      static_cast<int>(pixel.blue));
    }
}

// Cells are summed locally first: a cell row is at most 65535 pixels of 255,
// which fits 32 bits; the band's sums are 64-bit.
template <int Step, Rgb (*ToRgb)(const unsigned char*)>
void AddToSums(const unsigned char* samples, int width, int factor, std::uint64_t* sums) {
    for (int x = 0; x < width; sums += 3) {
        const int end = std::min(x + factor, width);
        std::uint32_t red = 0, green = 0, blue = 0;
        for (; x < end; ++x) {
            const Rgb pixel = ToRgb(samples + Step * x);
            red += pixel.red;
            green += pixel.green;
            blue += pixel.blue;
        }
        sums[0] += red;
        sums[1] += green;
        sums[2] += blue;
    }
}

template <int Step, Rgb (*ToRgb)(const unsigned char*)>
void TakeRow(const unsigned char* samples, int width, int factor, QRgb* direct,
             std::uint64_t* sums) {
    if (direct)
        CopyRow<Step, ToRgb>(samples, width, direct);
    else
        AddToSums<Step, ToRgb>(samples, width, factor, sums);
}

} // namespace

void ScanlineReducer::addRow(const unsigned char* samples, Layout layout) noexcept {
    if (rowsAdded_ >= sourceHeight_ || image_.isNull())
        return;

    // Without shrinking, pixels go straight into the image row.
    QRgb* direct = sums_.empty() ? reinterpret_cast<QRgb*>(image_.scanLine(rowsAdded_)) : nullptr;
    std::uint64_t* sums = sums_.data();
    switch (layout) {
    case Layout::Grey:
        TakeRow<1, GreyPixel>(samples, sourceWidth_, factorX_, direct, sums);
        break;
    case Layout::Rgb:
        TakeRow<3, RgbPixel>(samples, sourceWidth_, factorX_, direct, sums);
        break;
    case Layout::Cmyk:
        TakeRow<4, CmykPixel>(samples, sourceWidth_, factorX_, direct, sums);
        break;
    case Layout::AdobeCmyk:
        TakeRow<4, AdobeCmykPixel>(samples, sourceWidth_, factorX_, direct, sums);
        break;
    }

    ++rowsAdded_;
    if (direct)
        return;
    ++rowsInBand_;
    if (rowsInBand_ == factorY_ || rowsAdded_ == sourceHeight_)
        writeBand();
}

void ScanlineReducer::flushPartialBand() noexcept {
    if (rowsInBand_ > 0)
        writeBand();
}

void ScanlineReducer::writeBand() noexcept {
    const int row = (rowsAdded_ - 1) / factorY_;
    QRgb* out = reinterpret_cast<QRgb*>(image_.scanLine(row));
    for (int cell = 0; cell < image_.width(); ++cell) {
        const int columns = std::min(factorX_, sourceWidth_ - cell * factorX_);
        const std::uint64_t count = static_cast<std::uint64_t>(columns) * rowsInBand_;
        std::uint64_t* sum = &sums_[static_cast<size_t>(cell) * 3];
        out[cell] = qRgb(static_cast<int>((sum[0] + count / 2) / count),
                         static_cast<int>((sum[1] + count / 2) / count),
                         static_cast<int>((sum[2] + count / 2) / count));
        sum[0] = sum[1] = sum[2] = 0;
    }
    rowsInBand_ = 0;
}
