// A recording's text through the recording rules and the picture-stream
// decoder, checked against the rules written the plain way and against the
// reference decoder the tests use, and the same text in parts (as
// merlon-convert reads it) against the whole.
#include "capture/hex_capture.h"
#include "capture/recording_text.h"
#include "tests/capture/reference_decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// The text up to its first NUL, each CR LF, lone CR and lone LF one CR LF.
std::string PlainNormalised(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size() && text[i] != '\0'; ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The text up to its first NUL widened and decoded in parts of the given
// length, as merlon-convert takes a recording block by block.
DecodedCapture DecodedInParts(const std::string& text, std::size_t partLength) {
    const std::string_view raw(text.data(), std::min(text.find('\0'), text.size()));
    LineBreakWidener widener;
    HexCaptureDecoder decoder;
    for (std::size_t at = 0; at < raw.size(); at += partLength)
        decoder.feed(widener.widen(raw.substr(at, partLength)));
    decoder.feed(widener.finish());
    return decoder.finish();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    const std::string raw = text;
    const std::string expected = PlainNormalised(text);
    NormaliseRecordingText(text);
    if (text != expected)
        std::abort();

    const DecodedCapture decoded = DecodeHexCapture(text);
    const DecodedCapture reference = reference::DecodeHexCapture(text);
    if (decoded.bytes != reference.bytes || decoded.endSeen != reference.endSeen)
        std::abort();

    const DecodedCapture parts = DecodedInParts(raw, 1 + (size > 0 ? data[0] % 97 : 0));
    if (parts.bytes != decoded.bytes || parts.endSeen != decoded.endSeen ||
        parts.endPosition != decoded.endPosition)
        std::abort();
    return 0;
}
