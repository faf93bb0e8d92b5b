// Shrinks decoded rows into a small image while they arrive, averaging blocks
// of pixels, so that showing a huge picture never needs a full-size buffer.
#pragma once

#include "picture/jpeg_reading.h"

#include <QImage>

#include <cstdint>
#include <vector>

class ScanlineReducer {
public:
    // How the samples of one decoded row are laid out, as libjpeg gives them.
    using Layout = JpegSampleLayout;

    // Rows of sourceWidth pixels, sourceHeight of them, shrink by factorX ×
    // factorY (each at least 1); cells at the right and bottom edges may be
    // narrower and average what they hold.
    ScanlineReducer(int sourceWidth, int sourceHeight, int factorX, int factorY);

    // The largest whole factor that keeps a source length at or above the box
    // length: the result is at least the box and less than twice it.
    static int factorFor(int sourceLength, int boxLength);

    // Takes the next row; rows beyond sourceHeight are ignored.
    void addRow(const unsigned char* samples, Layout layout) noexcept;
    // Writes out a band that received only some of its rows (decoding stopped).
    void flushPartialBand() noexcept;

    int rowsAdded() const { return rowsAdded_; }
    // Pixels not reached by any row are fully transparent.
    const QImage& image() const { return image_; }

private:
    void writeBand() noexcept;

    int sourceWidth_;
    int sourceHeight_;
    int factorX_;
    int factorY_;
    int rowsAdded_ = 0;
    int rowsInBand_ = 0;
    QImage image_;
    std::vector<std::uint64_t> sums_; // red, green, blue per cell of the band
};
