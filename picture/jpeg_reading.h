// libjpeg's decoding as a library of its own, bytes in and a result out,
// without Qt: the header, the limits that bound what any file can cost, a
// decoder that hands out rows in steps (the picture view builds its image from
// them), and the inspection of a whole file that a picture's verdict rests
// on. libjpeg's errors never leave as a jump: each call returns the library's
// message code, and its warnings are counted, never printed.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

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
JpegHeader ReadJpegHeader(std::string_view bytes);

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

// How the samples of one decoded row are laid out.
enum class JpegSampleLayout {
    Grey,      // 1 byte a pixel
    Rgb,       // 3 bytes a pixel
    Cmyk,      // 4 bytes a pixel, ink amounts as stored by most programs
    AdobeCmyk, // 4 bytes a pixel, inverted, as Adobe applications store them
};

// Takes the decoded rows, top to bottom. It is called between libjpeg's own
// calls, never from inside them, and must not throw.
class JpegRowSink {
public:
    virtual void takeRow(const unsigned char* samples) noexcept = 0;

protected:
    ~JpegRowSink() = default;
};

struct JpegReadOutcome {
    // The library's message code when it gave up.
    std::optional<int> errorCode;
    // Corrupt or missing data the library worked around.
    int warnings = 0;
    int scansRead = 0;
    // The input was cut short after kJpegMaxScans scans or kJpegMaxScanBlocks.
    bool inputCut = false;
};

// Decoding into rows in steps, so that a window drawing a large picture keeps
// answering: each step works for about its budget and returns. Never throws
// for anything in the bytes; missing data comes out as libjpeg pads it.
class JpegRowDecoder {
public:
    // Reads the header and sets the output to full size.
    explicit JpegRowDecoder(std::string bytes);
    ~JpegRowDecoder();
    JpegRowDecoder(const JpegRowDecoder&) = delete;
    JpegRowDecoder& operator=(const JpegRowDecoder&) = delete;

    // False when libjpeg gave up before the output size was known.
    bool ready() const;
    // What the header says; meaningful once ready.
    const JpegHeader& header() const;
    // Decodes at num/denom of the full size instead (libjpeg's DCT scaling,
    // as ChooseJpegScale gives it); only before the first step. False when
    // libjpeg gave up.
    bool setOutputScale(int num, int denom);
    // The rows' size and layout, which the library decides from the scale.
    int outputWidth() const;
    int outputHeight() const;
    JpegSampleLayout layout() const;

    // Works for about budget, handing each finished row to sink; true once
    // the decoding is over (completely or with an error).
    bool step(std::chrono::milliseconds budget, JpegRowSink& sink);
    // Complete once step() returned true.
    JpegReadOutcome outcome() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// What reading a whole file's entropy-coded data shows, every scan of it,
// without turning it into pixels (jpeg_read_coefficients).
struct JpegInspection {
    // The library gave up (its error_exit), with its message code.
    std::optional<int> errorCode;
    // Its warnings: corrupt data it skipped, data missing at the end (an end
    // of image was supplied in their place), and the like.
    int warnings = 0;
    // The scan limits treated the input as ended, or the memory limit
    // stopped the library (then errorCode holds its code too).
    bool limitReached = false;
    // The input bytes read, up to and including the end-of-image marker;
    // all of them when the data ran out before one came. Bytes after the
    // marker are never looked at.
    std::size_t bytesUsed = 0;
};

// Never throws for anything in the bytes.
JpegInspection InspectJpeg(std::string_view bytes);
