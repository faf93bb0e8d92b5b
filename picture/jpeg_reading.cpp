#include "picture/jpeg_reading.h"

#include "platform/user_error.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h expects FILE and size_t to be declared
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

// Warnings (corrupt or missing data) are counted, for the verdict on a
// picture; neither they nor trace messages are shown to anyone: the picture
// is shown as well as the library could decode it.
void CountMessage(j_common_ptr info, int level) {
    if (level < 0)
        ++info->err->num_warnings;
}
void DropOutput(j_common_ptr) {}

// The whole file is in memory; reading past its end finds an end-of-image
// marker, as libjpeg's own sources do, so a cut-off picture shows what came.
struct MemorySource {
    jpeg_source_mgr base;
    const JOCTET* data;
    size_t size;
    // The data ran out (or was emptied by the scan limits) and the
    // end-of-image marker below was supplied in its place.
    bool ranOut;
};

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void StartSource(j_decompress_ptr) {}
void EndSource(j_decompress_ptr) {}

boolean RefillSource(j_decompress_ptr info) {
    auto* source = reinterpret_cast<MemorySource*>(info->src);
    if (source->size == 0)
        ERREXIT(info, JERR_INPUT_EMPTY);
    WARNMS(info, JWRN_JPEG_EOF);
    source->ranOut = true;
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
    explicit Decompression(std::string_view bytes) {
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
    std::size_t bytesUsed() const {
        return source.ranOut ? source.size : source.size - source.base.bytes_in_buffer;
    }

    std::string owned;
    jpeg_decompress_struct info{};
    JumpingErrorManager error{};
    MemorySource source{};
    ScanWatch watch{};
    unsigned int scaleNum = 1;
    unsigned int scaleDenom = 1;
    JpegRowSink* sink = nullptr;
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
    d.error.base.emit_message = CountMessage;
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
    d.watch.multiScan = jpeg_has_multiple_scans(&d.info) != 0;
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
        d.sink->takeRow(d.row[0]);
    }
    if (d.info.buffered_image)
        jpeg_finish_output(&d.info);
    jpeg_finish_decompress(&d.info);
    d.rowsDone = true;
}

// Every scan's entropy-coded data into the coefficient buffers, up to the end
// of image, with the scan limits watching as for a drawing.
void ReadCoefficients(Decompression& d) {
    jpeg_read_coefficients(&d.info);
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

JpegHeader HeaderOf(jpeg_decompress_struct& info) {
    JpegHeader header;
    header.width = static_cast<int>(info.image_width);
    header.height = static_cast<int>(info.image_height);
    header.components = info.num_components;
    header.colorSpace = ColorSpaceOf(info.jpeg_color_space);
    header.multiScan = jpeg_has_multiple_scans(&info) != 0;
    return header;
}

} // namespace

std::string JpegErrorMessage(int code) {
    return "JPEG-Fehler #" + std::to_string(code);
}

JpegHeader ReadJpegHeader(std::string_view bytes) {
    Decompression d(bytes);
    if (!RunGuarded(d, CreateAndReadHeader))
        throw UserError(JpegErrorMessage(d.errorCode()));
    return HeaderOf(d.info);
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

struct JpegRowDecoder::State {
    explicit State(std::string&& bytes) : d(std::move(bytes)) {}
    Decompression d;
    JpegHeader header;
    JpegReadOutcome outcome;
    bool ready = false;
    bool started = false;
    bool done = false;
};

JpegRowDecoder::JpegRowDecoder(std::string bytes)
    : state_(std::make_unique<State>(std::move(bytes))) {
    State& s = *state_;
    s.done = true;
    if (!RunGuarded(s.d, CreateAndReadHeader) || !RunGuarded(s.d, ConfigureOutput)) {
        s.outcome.errorCode = s.d.errorCode();
        return;
    }
    s.header = HeaderOf(s.d.info);
    s.ready = true;
    s.done = false;
}

JpegRowDecoder::~JpegRowDecoder() = default;

bool JpegRowDecoder::ready() const {
    return state_->ready;
}

const JpegHeader& JpegRowDecoder::header() const {
    return state_->header;
}

bool JpegRowDecoder::setOutputScale(int num, int denom) {
    State& s = *state_;
    if (!s.ready || s.started)
        return s.ready;
    s.d.scaleNum = static_cast<unsigned int>(num);
    s.d.scaleDenom = static_cast<unsigned int>(denom);
    if (!RunGuarded(s.d, ConfigureOutput)) {
        s.outcome.errorCode = s.d.errorCode();
        s.ready = false;
        s.done = true;
    }
    return s.ready;
}

int JpegRowDecoder::outputWidth() const {
    return state_->ready ? static_cast<int>(state_->d.info.output_width) : 0;
}

int JpegRowDecoder::outputHeight() const {
    return state_->ready ? static_cast<int>(state_->d.info.output_height) : 0;
}

JpegSampleLayout JpegRowDecoder::layout() const {
    const jpeg_decompress_struct& info = state_->d.info;
    switch (info.out_color_space) {
    case JCS_GRAYSCALE:
        return JpegSampleLayout::Grey;
    case JCS_CMYK:
        // Adobe's applications write the inks inverted and mark the file so.
        return info.saw_Adobe_marker ? JpegSampleLayout::AdobeCmyk : JpegSampleLayout::Cmyk;
    default:
        return JpegSampleLayout::Rgb;
    }
}

bool JpegRowDecoder::step(std::chrono::milliseconds budget, JpegRowSink& sink) {
    State& s = *state_;
    if (s.done)
        return true;
    Decompression& d = s.d;
    d.deadline = std::chrono::steady_clock::now() + budget;
    d.sink = &sink;
    bool ok = true;
    if (!s.started) {
        s.started = true;
        ok = RunGuarded(d, StartDecompress);
    }
    if (ok && !d.inputDone)
        ok = RunGuarded(d, ConsumeInput);
    if (ok && d.inputDone)
        ok = RunGuarded(d, ReadRows);
    d.sink = nullptr;
    if (!ok)
        s.outcome.errorCode = d.errorCode();
    if (ok && !d.rowsDone)
        return false;
    s.done = true;
    return true;
}

JpegReadOutcome JpegRowDecoder::outcome() const {
    JpegReadOutcome outcome = state_->outcome;
    outcome.warnings = static_cast<int>(state_->d.error.base.num_warnings);
    outcome.scansRead = state_->d.info.input_scan_number;
    outcome.inputCut = state_->d.watch.inputCut;
    return outcome;
}

JpegInspection InspectJpeg(std::string_view bytes) {
    Decompression d(bytes);
    JpegInspection inspection;
    if (!RunGuarded(d, CreateAndReadHeader) || !RunGuarded(d, ReadCoefficients))
        inspection.errorCode = d.errorCode();
    inspection.warnings = static_cast<int>(d.error.base.num_warnings);
    // Without a backing store, the memory limit shows as this error: the
    // picture needed more than a picture may have.
    inspection.limitReached =
        d.watch.inputCut || inspection.errorCode == std::optional<int>(JERR_NO_BACKING_STORE);
    inspection.bytesUsed = d.bytesUsed();
    return inspection;
}
