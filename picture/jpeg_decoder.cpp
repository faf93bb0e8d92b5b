#include "picture/jpeg_decoder.h"

#include "picture/scanline_reducer.h"
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

// libjpeg gives up: straight back to the setjmp in runGuarded. Only libjpeg's
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
    ~Decompression() { jpeg_destroy_decompress(&info); } // harmless if never created
    Decompression(const Decompression&) = delete;
    Decompression& operator=(const Decompression&) = delete;

    int errorCode() const { return error.base.msg_code; }

    jpeg_decompress_struct info{};
    JumpingErrorManager error{};
    MemorySource source{};
    ScanWatch watch{};
    unsigned int scaleNum = 1;
    unsigned int scaleDenom = 1;
    ScanlineReducer* reducer = nullptr;
    ScanlineReducer::Layout layout = ScanlineReducer::Layout::Rgb;
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

void DecodeRows(Decompression& d) {
    d.watch.multiScan = jpeg_has_multiple_scans(&d.info) != 0;
    jpeg_start_decompress(&d.info);
    const JDIMENSION rowLength =
        d.info.output_width * static_cast<JDIMENSION>(d.info.output_components);
    JSAMPARRAY row = (*d.info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&d.info),
                                                 JPOOL_IMAGE, rowLength, 1);
    while (d.info.output_scanline < d.info.output_height) {
        if (jpeg_read_scanlines(&d.info, row, 1) != 1)
            break;
        d.reducer->addRow(row[0], d.layout);
    }
    jpeg_finish_decompress(&d.info);
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

JpegDecodeResult DecodeJpeg(const std::string& bytes, int boxWidth, int boxHeight,
                            JpegScaling scaling) {
    JpegDecodeResult result;
    Decompression d(bytes);
    if (!RunGuarded(d, CreateAndReadHeader)) {
        result.errorCode = d.errorCode();
        return result;
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
        result.errorCode = d.errorCode();
        return result;
    }

    // The library decides the output size; a libjpeg without n/8 scaling
    // rounds to a larger power of two, which still covers the box.
    const int outputWidth = static_cast<int>(d.info.output_width);
    const int outputHeight = static_cast<int>(d.info.output_height);
    ScanlineReducer reducer(outputWidth, outputHeight,
                            fit ? ScanlineReducer::factorFor(outputWidth, boxWidth) : 1,
                            fit ? ScanlineReducer::factorFor(outputHeight, boxHeight) : 1);
    d.reducer = &reducer;
    d.layout = LayoutOf(d.info);

    if (!RunGuarded(d, DecodeRows))
        result.errorCode = d.errorCode();
    reducer.flushPartialBand();
    result.image = reducer.image();
    result.scansRead = d.info.input_scan_number;
    result.inputCut = d.watch.inputCut;
    return result;
}
