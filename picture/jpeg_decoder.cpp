#include "picture/jpeg_decoder.h"

#include "picture/scanline_reducer.h"
#include "platform/user_error.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h expects FILE and size_t to be declared
#include <memory>
#include <numeric>

#include <jerror.h>
#include <jpeglib.h>

namespace {

struct JumpingErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// libjpeg gives up: straight back to the setjmp in RunGuarded. Only libjpeg's
// C frames and a step function lie in between, none of which own C++ objects.
[[noreturn]] void JumpOut(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JumpingErrorManager*>(info->err)->jump, 1);
}

// Warnings (corrupt or missing data) and trace messages are not the user's
// business: the picture is shown as well as the library could decode it.
void DropMessage(j_common_ptr, int) {}
void DropOutput(j_common_ptr) {}

// The whole file is in memory; reading past its end finds an end-of-image
// marker, as libjpeg's own sources do, so a cut-off picture shows what came.
struct MemorySource {
    jpeg_source_mgr base;
    const JOCTET* data;
    size_t size;
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void StartSource(j_decompress_ptr) {}
void EndSource(j_decompress_ptr) {}

boolean RefillSource(j_decompress_ptr info) {
    if (reinterpret_cast<MemorySource*>(info->src)->size == 0)
        ERREXIT(info, JERR_INPUT_EMPTY);
    WARNMS(info, JWRN_JPEG_EOF);
    info->src->next_input_byte = kEndOfImage;
    info->src->bytes_in_buffer = sizeof kEndOfImage;
    return TRUE;
}

void SkipSource(j_decompress_ptr info, long count) {
    if (count <= 0)
        return;
    jpeg_source_mgr* source = info->src;
    if (static_cast<unsigned long>(count) > source->bytes_in_buffer) {
        source->bytes_in_buffer = 0;
        RefillSource(info);
        return;
    }
    source->next_input_byte += count;
    source->bytes_in_buffer -= static_cast<size_t>(count);
}

struct ScanWatch {
    jpeg_progress_mgr base;
    bool multiScan;
    int countedScan;
    long long blocks;
    bool inputCut;
};

// libjpeg calls this between pieces of input work, so the source is at a
// clean point: emptying it there makes the next read find the end of image.
// A single scan is left alone: its cost is bounded by the picture's size.
void WatchScans(j_common_ptr common) {
    auto* info = reinterpret_cast<j_decompress_ptr>(common);
    auto* watch = reinterpret_cast<ScanWatch*>(common->progress);
    if (!watch->multiScan || watch->inputCut)
        return;
    if (info->input_scan_number != watch->countedScan) {
        watch->countedScan = info->input_scan_number;
        for (int i = 0; i < info->comps_in_scan; ++i) {
            const jpeg_component_info* component = info->cur_comp_info[i];
            watch->blocks +=
                static_cast<long long>(component->width_in_blocks) * component->height_in_blocks;
        }
    }
    if (info->input_scan_number > kJpegMaxScans || watch->blocks > kJpegMaxScanBlocks) {
        watch->inputCut = true;
        info->src->bytes_in_buffer = 0;
    }
}

// Everything libjpeg needs for one picture. It lives in an ordinary C++
// frame, which a longjmp never leaves, and releases the library's memory.
struct Decompression {
    explicit Decompression(const std::string& bytes) {
        source.data = reinterpret_cast<const JOCTET*>(bytes.data());
        source.size = bytes.size();
    }
    // Keeps the bytes itself, for a decoding that outlives the caller's call.
    explicit Decompression(std::string&& bytes) : owned(std::move(bytes)) {
        source.data = reinterpret_cast<const JOCTET*>(owned.data());
        source.size = owned.size();
    }
    ~Decompression() { jpeg_destroy_decompress(&info); } // harmless if never created
    Decompression(const Decompression&) = delete;
    Decompression& operator=(const Decompression&) = delete;

    int errorCode() const { return error.base.msg_code; }

    std::string owned;
    jpeg_decompress_struct info{};
    JumpingErrorManager error{};
    MemorySource source{};
    ScanWatch watch{};
    unsigned int scaleNum = 1;
    unsigned int scaleDenom = 1;
    ScanlineReducer* reducer = nullptr;
    ScanlineReducer::Layout layout = ScanlineReducer::Layout::Rgb;
    // Set by the steps below: the input is all read, the rows are all out.
    bool inputDone = false;
    bool rowsDone = false;
    JSAMPARRAY row = nullptr;
    std::chrono::steady_clock::time_point deadline;
};

// The one frame that calls setjmp. It and the steps it runs own no C++
// objects, so jumping back here skips no destructor. False: libjpeg gave up.
bool RunGuarded(Decompression& d, void (*step)(Decompression&)) {
    if (setjmp(d.error.jump) != 0)
        return false;
    step(d);
    return true;
}

void CreateAndReadHeader(Decompression& d) {
    d.info.err = jpeg_std_error(&d.error.base);
    d.error.base.error_exit = JumpOut;
    d.error.base.emit_message = DropMessage;
    d.error.base.output_message = DropOutput;
    jpeg_create_decompress(&d.info);
    d.info.mem->max_memory_to_use = kJpegMemoryLimit;

    d.source.base.init_source = StartSource;
    d.source.base.fill_input_buffer = RefillSource;
    d.source.base.skip_input_data = SkipSource;
    d.source.base.resync_to_restart = jpeg_resync_to_restart;
    d.source.base.term_source = EndSource;
    d.source.base.next_input_byte = d.source.data;
    d.source.base.bytes_in_buffer = d.source.size;
    d.info.src = &d.source.base;

    d.watch.base.progress_monitor = WatchScans;
    d.info.progress = &d.watch.base;

    jpeg_read_header(&d.info, TRUE);
    // Decoding costs time in proportion to the declared size whatever the
    // file holds: beyond any camera's picture the library's own refusal of a
    // size it cannot handle ends it before it starts.
    if (static_cast<unsigned long long>(d.info.image_width) * d.info.image_height >
        static_cast<unsigned long long>(kJpegMaxPixels))
        ERREXIT1(&d.info, JERR_IMAGE_TOO_BIG, static_cast<unsigned int>(JPEG_MAX_DIMENSION));
}

void ConfigureOutput(Decompression& d) {
    d.info.scale_num = d.scaleNum;
    d.info.scale_denom = d.scaleDenom;
    switch (d.info.jpeg_color_space) {
    case JCS_GRAYSCALE:
        d.info.out_color_space = JCS_GRAYSCALE;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        // libjpeg turns YCCK into CMYK but not CMYK into RGB; that is ours.
        d.info.out_color_space = JCS_CMYK;
        break;
    default:
        d.info.out_color_space = JCS_RGB;
        break;
    }
    jpeg_calc_output_dimensions(&d.info);
}

// Files of several scans are decoded in buffered-image mode, so that their
// input can be taken in pieces (jpeg_start_decompress would take it all at
// once) and the rows come out in one pass once the input is complete.
void StartDecompress(Decompression& d) {
    d.watch.multiScan = jpeg_has_multiple_scans(&d.info) != 0;
    d.info.buffered_image = d.watch.multiScan ? TRUE : FALSE;
    jpeg_start_decompress(&d.info);
    d.inputDone = !d.watch.multiScan;
    const JDIMENSION rowLength =
        d.info.output_width * static_cast<JDIMENSION>(d.info.output_components);
    d.row = (*d.info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&d.info), JPOOL_IMAGE,
                                        rowLength, 1);
}

bool PastDeadline(const Decompression& d) {
    return std::chrono::steady_clock::now() >= d.deadline;
}

// One iMCU row of input a call, until the end of the image or the deadline.
void ConsumeInput(Decompression& d) {
    while (!PastDeadline(d)) {
        WatchScans(reinterpret_cast<j_common_ptr>(&d.info));
        const int status = jpeg_consume_input(&d.info);
        if (status == JPEG_REACHED_EOI || status == JPEG_SUSPENDED) {
            d.inputDone = true;
            jpeg_start_output(&d.info, d.info.input_scan_number);
            return;
        }
    }
}

void ReadRows(Decompression& d) {
    while (d.info.output_scanline < d.info.output_height) {
        if (PastDeadline(d))
            return;
        if (jpeg_read_scanlines(&d.info, d.row, 1) != 1)
            break;
        d.reducer->addRow(d.row[0], d.layout);
    }
    if (d.info.buffered_image)
        jpeg_finish_output(&d.info);
    jpeg_finish_decompress(&d.info);
    d.rowsDone = true;
}

JpegColorSpace ColorSpaceOf(J_COLOR_SPACE space) {
    switch (space) {
    case JCS_GRAYSCALE:
        return JpegColorSpace::Grey;
    case JCS_RGB:
        return JpegColorSpace::Rgb;
    case JCS_YCbCr:
        return JpegColorSpace::YCbCr;
    case JCS_CMYK:
        return JpegColorSpace::Cmyk;
    case JCS_YCCK:
        return JpegColorSpace::Ycck;
    default:
        return JpegColorSpace::Unknown;
    }
}

ScanlineReducer::Layout LayoutOf(const jpeg_decompress_struct& info) {
    switch (info.out_color_space) {
    case JCS_GRAYSCALE:
        return ScanlineReducer::Layout::Grey;
    case JCS_CMYK:
        // Adobe's applications write the inks inverted and mark the file so.
        return info.saw_Adobe_marker ? ScanlineReducer::Layout::AdobeCmyk
                                     : ScanlineReducer::Layout::Cmyk;
    default:
        return ScanlineReducer::Layout::Rgb;
    }
}

} // namespace

std::string JpegErrorMessage(int code) {
    return "JPEG-Fehler #" + std::to_string(code);
}

JpegHeader ReadJpegHeader(const std::string& bytes) {
    Decompression d(bytes);
    if (!RunGuarded(d, CreateAndReadHeader))
        throw UserError(JpegErrorMessage(d.errorCode()));
    JpegHeader header;
    header.width = static_cast<int>(d.info.image_width);
    header.height = static_cast<int>(d.info.image_height);
    header.components = d.info.num_components;
    header.colorSpace = ColorSpaceOf(d.info.jpeg_color_space);
    header.multiScan = jpeg_has_multiple_scans(&d.info) != 0;
    return header;
}

JpegScale ChooseJpegScale(int width, int height, int boxWidth, int boxHeight) {
    const long long neededWidth = std::min(boxWidth, width);
    const long long neededHeight = std::min(boxHeight, height);
    JpegScale scale;
    for (int n = 1; n <= 8; ++n) {
        // libjpeg rounds scaled sizes up.
        const long long scaledWidth = (static_cast<long long>(width) * n + 7) / 8;
        const long long scaledHeight = (static_cast<long long>(height) * n + 7) / 8;
        if ((scaledWidth >= neededWidth && scaledHeight >= neededHeight) || n == 8) {
            const int divisor = std::gcd(n, 8);
            scale.num = n / divisor;
            scale.denom = 8 / divisor;
            scale.width = static_cast<int>(scaledWidth);
            scale.height = static_cast<int>(scaledHeight);
            break;
        }
    }
    return scale;
}

struct JpegDrawing::State {
    explicit State(std::string&& bytes) : d(std::move(bytes)) {}
    Decompression d;
    std::unique_ptr<ScanlineReducer> reducer;
    JpegDecodeResult result;
    bool started = false;
    bool done = false;
};

JpegDrawing::JpegDrawing(std::string bytes, int boxWidth, int boxHeight, JpegScaling scaling)
    : state_(std::make_unique<State>(std::move(bytes))) {
    State& s = *state_;
    Decompression& d = s.d;
    s.done = true;
    if (!RunGuarded(d, CreateAndReadHeader)) {
        s.result.errorCode = d.errorCode();
        return;
    }
    const bool fit = scaling == JpegScaling::FitBox;
    if (fit) {
        const JpegScale scale =
            ChooseJpegScale(static_cast<int>(d.info.image_width),
                            static_cast<int>(d.info.image_height), boxWidth, boxHeight);
        d.scaleNum = static_cast<unsigned int>(scale.num);
        d.scaleDenom = static_cast<unsigned int>(scale.denom);
    }
    if (!RunGuarded(d, ConfigureOutput)) {
        s.result.errorCode = d.errorCode();
        return;
    }
    // The library decides the output size; a libjpeg without n/8 scaling
    // rounds to a larger power of two, which still covers the box.
    const int outputWidth = static_cast<int>(d.info.output_width);
    const int outputHeight = static_cast<int>(d.info.output_height);
    s.reducer = std::make_unique<ScanlineReducer>(
        outputWidth, outputHeight, fit ? ScanlineReducer::factorFor(outputWidth, boxWidth) : 1,
        fit ? ScanlineReducer::factorFor(outputHeight, boxHeight) : 1);
    d.reducer = s.reducer.get();
    d.layout = LayoutOf(d.info);
    s.done = false;
}

JpegDrawing::~JpegDrawing() = default;

bool JpegDrawing::step(std::chrono::milliseconds budget) {
    State& s = *state_;
    if (s.done)
        return true;
    Decompression& d = s.d;
    d.deadline = std::chrono::steady_clock::now() + budget;
    bool ok = true;
    if (!s.started) {
        s.started = true;
        ok = RunGuarded(d, StartDecompress);
    }
    if (ok && !d.inputDone)
        ok = RunGuarded(d, ConsumeInput);
    if (ok && d.inputDone)
        ok = RunGuarded(d, ReadRows);
    if (!ok)
        s.result.errorCode = d.errorCode();
    if (ok && !d.rowsDone)
        return false;
    s.reducer->flushPartialBand();
    s.done = true;
    return true;
}

QImage JpegDrawing::image() const {
    return state_->reducer ? state_->reducer->image() : QImage();
}

JpegDecodeResult JpegDrawing::result() const {
    JpegDecodeResult result = state_->result;
    result.image = image();
    result.scansRead = state_->d.info.input_scan_number;
    result.inputCut = state_->d.watch.inputCut;
    return result;
}

JpegDecodeResult DecodeJpeg(const std::string& bytes, int boxWidth, int boxHeight,
                            JpegScaling scaling) {
    JpegDrawing drawing(bytes, boxWidth, boxHeight, scaling);
    while (!drawing.step(std::chrono::hours(1))) {
    }
    return drawing.result();
}
