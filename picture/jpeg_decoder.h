// Decoding JPEG files into pictures to show, bounded in memory and time
// whatever the file declares: the pixels, shrunk to the size they will be
// shown at, when a picture is first drawn. libjpeg's side (the header, the
// limits, the rows) is picture/jpeg_reading.h.
#pragma once

#include "picture/jpeg_reading.h"

#include <QImage>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

enum class JpegScaling {
    FitBox,   // decode scaled and shrink rows so the result is about the box size
    FullSize, // decode every pixel at full size
};

struct JpegDecodeResult {
    // What was decoded, at most twice the box in each direction with FitBox;
    // rows never reached are transparent. Null when decoding stopped before
    // the output size was known.
    QImage image;
    // The library's message code when it gave up.
    std::optional<int> errorCode;
    int scansRead = 0;
    // The input was cut short after kJpegMaxScans scans or kJpegMaxScanBlocks.
    bool inputCut = false;
};

// Decoding in steps, so that a window drawing a large picture keeps answering:
// each step works for about its budget and returns. Never throws for anything
// in the bytes, like DecodeJpeg.
class JpegDrawing {
public:
    JpegDrawing(std::string bytes, int boxWidth, int boxHeight,
                JpegScaling scaling = JpegScaling::FitBox);
    ~JpegDrawing();
    JpegDrawing(const JpegDrawing&) = delete;
    JpegDrawing& operator=(const JpegDrawing&) = delete;

    // True once the drawing is finished (completely or with an error).
    bool step(std::chrono::milliseconds budget);
    // The rows decoded so far; rows not reached yet are transparent.
    QImage image() const;
    // The outcome, complete once step() returned true.
    JpegDecodeResult result() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Never throws for anything in the bytes: libjpeg's errors end up in
// errorCode, its warnings are not shown, and missing data shows as libjpeg
// pads it.
JpegDecodeResult DecodeJpeg(const std::string& bytes, int boxWidth, int boxHeight,
                            JpegScaling scaling = JpegScaling::FitBox);
