#include "picture/jpeg_thumbnail.h"

#include "picture/jpeg_encoder.h"
#include "picture/jpeg_reading.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

// Collects the decoded rows as packed RGB, whatever layout libjpeg hands out.
class RgbRows final : public JpegRowSink {
public:
    RgbRows(int width, int height, JpegSampleLayout layout)
        : width_(width), layout_(layout), rgb_(static_cast<std::size_t>(width) * height * 3) {}

    void takeRow(const unsigned char* samples) noexcept override {
        if (row_ * width_ * 3 >= static_cast<long>(rgb_.size()))
            return;
        unsigned char* out = rgb_.data() + row_ * width_ * 3;
        for (int x = 0; x < width_; ++x, out += 3)
            pixel(samples, x, out);
        ++row_;
    }

    const std::vector<unsigned char>& rgb() const { return rgb_; }

private:
    void pixel(const unsigned char* samples, int x, unsigned char* out) const noexcept {
        switch (layout_) {
        case JpegSampleLayout::Grey:
            out[0] = out[1] = out[2] = samples[x];
            return;
        case JpegSampleLayout::Rgb:
            std::copy_n(samples + x * 3, 3, out);
            return;
        case JpegSampleLayout::Cmyk:
        case JpegSampleLayout::AdobeCmyk: {
            const unsigned char* p = samples + x * 4;
            const bool inverted = layout_ == JpegSampleLayout::AdobeCmyk;
            const int k = inverted ? p[3] : 255 - p[3];
            for (int c = 0; c < 3; ++c) {
                const int light = inverted ? p[c] : 255 - p[c];
                out[c] = static_cast<unsigned char>(light * k / 255);
            }
            return;
        }
        }
    }

    long width_;
    JpegSampleLayout layout_;
    std::vector<unsigned char> rgb_;
    long row_ = 0;
};

} // namespace

std::optional<JpegThumbnail> MakeJpegThumbnail(std::string_view picture, int width, int quality) {
    JpegRowDecoder decoder{std::string(picture)};
    if (!decoder.ready())
        return std::nullopt;
    const JpegHeader& header = decoder.header();
    const JpegScale scale = ChooseJpegScale(header.width, header.height, width, 1);
    if (!decoder.setOutputScale(scale.num, scale.denom))
        return std::nullopt;
    RgbRows rows(decoder.outputWidth(), decoder.outputHeight(), decoder.layout());
    while (!decoder.step(std::chrono::milliseconds(1000), rows)) {
    }
    // Rows the library never reached stay black, as a damaged picture shows.
    return JpegThumbnail{
        EncodeJpeg(rows.rgb().data(), decoder.outputWidth(), decoder.outputHeight(), quality),
        decoder.outputWidth(), decoder.outputHeight()};
}
