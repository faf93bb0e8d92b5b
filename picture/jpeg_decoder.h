// Reading and decoding JPEG files with libjpeg, bounded in memory and time
// whatever the file declares: the header alone when a picture is loaded, the
// pixels, shrunk to the size they will be shown at, when it is first drawn.
#pragma once

#include <QImage>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

// The most pixels a picture may declare: above every camera's (50 megapixels
// and a little more for medium format), and small enough that decoding any
// file of this size, however crafted, takes a fraction of a second. Larger
// declarations fail with libjpeg's JERR_IMAGE_TOO_BIG.
constexpr long long kJpegMaxPixels = 60'000'000;
// libjpeg may use this much memory for one picture; beyond it the library
// gives up with its own error instead of taking gigabytes.
constexpr long kJpegMemoryLimit = 256L * 1024 * 1024;
// Real progressive pictures have a dozen scans or so. After this many the input
// is treated as ended, so a file of endless tiny scans shows what it has.
constexpr int kJpegMaxScans = 300;
// Every scan goes over all blocks of its components, however few bytes it
// carries. Once the scans of a picture have gone over this many blocks (under
// a second's work) the input is treated as ended too; real pictures need a
// small fraction of it.
constexpr long long kJpegMaxScanBlocks = 50'000'000;

enum class JpegColorSpace { Unknown, Grey, Rgb, YCbCr, Cmyk, Ycck };

struct JpegHeader {
    int width = 0;
    int height = 0;
    int components = 0;
    JpegColorSpace colorSpace = JpegColorSpace::Unknown;
    bool multiScan = false;
};

// "JPEG-Fehler #<code>" with the library's message code.
std::string JpegErrorMessage(int code);

// Reads the header of a non-empty file's bytes; throws UserError with
// JpegErrorMessage when libjpeg rejects them.
JpegHeader ReadJpegHeader(const std::string& bytes);

// A scaling libjpeg applies while decoding (num / denom, in lowest terms) and
// the picture size it gives.
struct JpegScale {
    int num = 1;
    int denom = 1;
    int width = 0;
    int height = 0;
};

// The smallest of libjpeg's scalings n/8 (n = 1 … 8) whose output still
// covers the box in both directions; in a direction where the picture is
// smaller than the box it keeps its full size.
JpegScale ChooseJpegScale(int width, int height, int boxWidth, int boxHeight);

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
// errorCode, its warnings are dropped, and missing data shows as libjpeg pads
// it.
JpegDecodeResult DecodeJpeg(const std::string& bytes, int boxWidth, int boxHeight,
                            JpegScaling scaling = JpegScaling::FitBox);
