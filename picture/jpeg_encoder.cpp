#include "picture/jpeg_encoder.h"

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <stdexcept>

namespace {

// Compression of pixels we made ourselves cannot fail except for lack of
// memory; the error manager turns that into an exception-free abort path.
struct EncoderError {
    jpeg_error_mgr base;
};

[[noreturn]] void AbortEncoding(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    std::fprintf(stderr, "JPEG encoding failed: %s\n", text);
    std::abort();
}

} // namespace

std::string EncodeJpeg(const unsigned char* rgb, int width, int height, int quality,
                       bool progressive) {
    if (width <= 0 || height <= 0)
        throw std::invalid_argument("EncodeJpeg: empty picture");

    jpeg_compress_struct info{};
    EncoderError error{};
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = AbortEncoding;
    jpeg_create_compress(&info);

    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);

    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    const size_t stride = static_cast<size_t>(width) * 3;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + info.next_scanline * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);

    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return bytes;
}
