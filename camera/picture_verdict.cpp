#include "camera/picture_verdict.h"

#include "capture/hex_capture.h"
#include "picture/jpeg_reading.h"

namespace {

bool IsUpperHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// Whether the text from `from` on carries `count` pairs before anything else,
// the way the board sends them: two upper-case hex digits and a space each,
// with line breaks between pairs where a recording wrapped its lines. Only
// then are the decoder's first `count` bytes exactly those pairs: a digit
// lost or added leaves a pair without its space (the decoder skips or
// misreads it), a lower-case digit decodes as 0, and a stray byte either
// breaks a pair or is one of these line breaks, which cost no byte.
bool PairsAsSent(std::string_view text, std::size_t from, std::size_t count) {
    std::size_t pairs = 0;
    std::size_t i = from;
    while (pairs < count) {
        if (i >= text.size())
            return false;
        if (text[i] == '\r' || text[i] == '\n') {
            ++i;
            continue;
        }
        if (text.size() - i < 3 || !IsUpperHexDigit(text[i]) || !IsUpperHexDigit(text[i + 1]) ||
            text[i + 2] != ' ')
            return false;
        ++pairs;
        i += 3;
    }
    return true;
}

} // namespace

const char* VerdictText(PictureVerdict verdict) {
    switch (verdict) {
    case PictureVerdict::Sound:
        return "in Ordnung";
    case PictureVerdict::Damaged:
        return "beschädigt";
    case PictureVerdict::Unreadable:
        break;
    }
    return "unlesbar";
}

const char* VerdictFileWord(PictureVerdict verdict) {
    switch (verdict) {
    case PictureVerdict::Sound:
        return "in-ordnung";
    case PictureVerdict::Damaged:
        return "beschaedigt";
    case PictureVerdict::Unreadable:
        break;
    }
    return "unlesbar";
}

PictureVerdict JudgePicture(std::string_view text, std::string_view bytes) {
    if (bytes.empty())
        return PictureVerdict::Unreadable;
    const JpegInspection jpeg = InspectJpeg(bytes);
    // The limits stop a picture that claims more than any camera sends; what
    // was read of it may still show.
    if (jpeg.limitReached)
        return PictureVerdict::Damaged;
    if (jpeg.errorCode)
        return PictureVerdict::Unreadable;
    if (jpeg.warnings > 0)
        return PictureVerdict::Damaged;
    // Whatever follows the end-of-image marker is no part of the picture, in
    // the bytes or in the text.
    const std::size_t start = text.find("CAM_B");
    if (start == std::string_view::npos ||
        !PairsAsSent(text, start + kCaptureStartSkip, jpeg.bytesUsed))
        return PictureVerdict::Damaged;
    return PictureVerdict::Sound;
}

std::string_view PictureText(std::string_view text, const DecodedCapture& capture) {
    const std::size_t start = text.find("CAM_B");
    if (start == std::string_view::npos)
        return {};
    const std::size_t end = capture.endSeen ? capture.endPosition : text.size();
    return text.substr(start, end > start ? end - start : 0);
}
