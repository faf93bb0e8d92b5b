// Any bytes as a picture file: the header as loading reads it, then the
// drawing at a small box and, for small pictures, at full size, and the
// inspection a verdict rests on. Nothing may crash, leak or read out of
// bounds; a refused header must be refused by the drawing and the inspection
// too, and the inspection never claims more bytes than there are.
#include "picture/jpeg_decoder.h"
#include "platform/user_error.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    bool headerRead = false;
    JpegHeader header;
    try {
        header = ReadJpegHeader(bytes);
        headerRead = true;
    } catch (const UserError&) {
    }
    const JpegDecodeResult drawn = DecodeJpeg(bytes, 64, 48);
    if (!headerRead && !drawn.errorCode)
        std::abort();
    if (!drawn.image.isNull() && (drawn.image.width() > 2 * 64 || drawn.image.height() > 2 * 48) &&
        drawn.image.width() > 64 && drawn.image.height() > 48)
        std::abort();
    if (headerRead && static_cast<long long>(header.width) * header.height <= 256 * 256)
        DecodeJpeg(bytes, 0, 0, JpegScaling::FullSize);
    const JpegInspection inspection = InspectJpeg(bytes);
    if ((!headerRead && !inspection.errorCode) || inspection.bytesUsed > bytes.size())
        std::abort();
    return 0;
}
