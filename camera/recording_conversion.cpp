#include "camera/recording_conversion.h"

#include "camera/text_formats.h"
#include "capture/recording_text.h"
#include "platform/user_error.h"

#include <sys/stat.h>

namespace {

// In place: the text costs one buffer of its own size, grown where it lies.
void NormaliseLineBreaks(RecordingText& text) {
    if (const std::size_t added = CountLoneLineBreaks(text.view())) {
        const std::size_t length = text.size();
        text.resize(length + added);
        WidenLineBreaks(text.data(), length, added);
    }
}

bool SameFile(const std::string& first, const std::string& second) {
    struct stat a {};
    struct stat b {};
    return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Nothing is written over the recording a picture comes from: it would be
// lost, and with it the only way to convert it again.
void RefuseOwnRecording(bool outputIsRecording, const std::string& output) {
    if (outputIsRecording)
        throw UserError::withDetail("Datei %s ist der Mitschnitt selbst und wird nicht ersetzt",
                                    output);
}

} // namespace

RecordingText LoadRecording(const std::string& path) {
    RecordingText text = ReadRecording(path);
    NormaliseLineBreaks(text);
    return text;
}

std::string LoadRecordingText(const std::string& path) {
    return LoadRecording(path).copy();
}

void WritePicture(const std::string& output, const DecodedCapture& picture) {
    WriteFileReplacing(output, picture.bytes);
}

std::string RecordingConversion::open(const std::string& recording) {
    std::string text = LoadRecordingText(recording);
    recording_ = recording;
    return text;
}

const DecodedCapture& RecordingConversion::decode(std::string_view captureBuffer) {
    picture_ = DecodeHexCapture(captureBuffer);
    return picture_;
}

void RecordingConversion::write(const std::string& output) const {
    if (!recording_.empty())
        RefuseOwnRecording(SameFile(recording_, output), output);
    WritePicture(output, picture_);
}

// Block by block: the text is never held whole, each block is widened and
// decoded while it is still in the processor's cache, and memory stays at the
// picture's size whatever the recording's.
DecodedCapture ConvertRecording(const std::string& recording, const std::string& output) {
    RecordingReader reader(recording);
    RefuseOwnRecording(reader.isFileAt(output), output);
    LineBreakWidener widener;
    HexCaptureDecoder decoder(reader.expectedSize());
    std::size_t textLength = 0;
    auto take = [&](std::string_view text) {
        textLength += text.size();
        reader.checkMemoryBound(textLength);
        decoder.feed(text);
    };
    for (std::string_view block = reader.next(); !block.empty(); block = reader.next())
        take(widener.widen(block));
    take(widener.finish());
    const DecodedCapture picture = decoder.finish();
    WritePicture(output, picture);
    return picture;
}

std::string ConversionReport(const std::string& output, const DecodedCapture& picture) {
    return output + ": " + ByteCountText(static_cast<std::int64_t>(picture.bytes.size())) + ", " +
           (picture.endSeen ? "Endemarke gesehen" : "keine Endemarke");
}
