#include "picture/jpeg_decoder.h"

#include "picture/scanline_reducer.h"

// The rows libjpeg hands out go straight into the shrinking image.
struct JpegDrawing::State final : JpegRowSink {
    explicit State(std::string&& bytes) : decoder(std::move(bytes)) {}

    void takeRow(const unsigned char* samples) noexcept override {
        reducer->addRow(samples, layout);
    }

    JpegRowDecoder decoder;
    std::unique_ptr<ScanlineReducer> reducer;
    JpegSampleLayout layout = JpegSampleLayout::Rgb;
    bool done = false;
};

JpegDrawing::JpegDrawing(std::string bytes, int boxWidth, int boxHeight, JpegScaling scaling)
    : state_(std::make_unique<State>(std::move(bytes))) {
    State& s = *state_;
    JpegRowDecoder& decoder = s.decoder;
    s.done = true;
    if (!decoder.ready())
        return;
    const bool fit = scaling == JpegScaling::FitBox;
    if (fit) {
        const JpegScale scale =
            ChooseJpegScale(decoder.header().width, decoder.header().height, boxWidth, boxHeight);
        if (!decoder.setOutputScale(scale.num, scale.denom))
            return;
    }
    // The library decides the output size; a libjpeg without n/8 scaling
    // rounds to a larger power of two, which still covers the box.
    const int outputWidth = decoder.outputWidth();
    const int outputHeight = decoder.outputHeight();
    s.reducer = std::make_unique<ScanlineReducer>(
        outputWidth, outputHeight, fit ? ScanlineReducer::factorFor(outputWidth, boxWidth) : 1,
        fit ? ScanlineReducer::factorFor(outputHeight, boxHeight) : 1);
    s.layout = decoder.layout();
    s.done = false;
}

JpegDrawing::~JpegDrawing() = default;

bool JpegDrawing::step(std::chrono::milliseconds budget) {
    State& s = *state_;
    if (s.done)
        return true;
    if (!s.decoder.step(budget, s))
        return false;
    s.reducer->flushPartialBand();
    s.done = true;
    return true;
}

QImage JpegDrawing::image() const {
    return state_->reducer ? state_->reducer->image() : QImage();
}

JpegDecodeResult JpegDrawing::result() const {
    const JpegReadOutcome outcome = state_->decoder.outcome();
    JpegDecodeResult result;
    result.image = image();
    result.errorCode = outcome.errorCode;
    result.scansRead = outcome.scansRead;
    result.inputCut = outcome.inputCut;
    return result;
}

JpegDecodeResult DecodeJpeg(const std::string& bytes, int boxWidth, int boxHeight,
                            JpegScaling scaling) {
    JpegDrawing drawing(bytes, boxWidth, boxHeight, scaling);
    while (!drawing.step(std::chrono::hours(1))) {
    }
    return drawing.result();
}
