#include "camera/recording_conversion.h"

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

DecodedCapture ConvertRecording(const std::string& recording, const std::string& output) {
    RecordingText text = ReadRecording(recording);
    if (SameFile(recording, output))
        throw UserError::withDetail("Datei %s ist der Mitschnitt selbst und wird nicht ersetzt",
                                    output);
    NormaliseLineBreaks(text);
    DecodedCapture picture = DecodeHexCapture(text.view());
    text = RecordingText(); // gives the recording's memory back before writing
    WritePicture(output, picture);
    return picture;
}

std::string ConversionReport(const std::string& output, const DecodedCapture& picture) {
    const std::size_t bytes = picture.bytes.size();
    return output + ": " + std::to_string(bytes) + (bytes == 1 ? " Byte, " : " Bytes, ") +
           (picture.endSeen ? "Endemarke gesehen" : "keine Endemarke");
}
