// A recording (a terminal capture holding a picture stream) turned into a
// JPEG file. The main window's "Aufnahme öffnen" and merlon-convert both go
// through here, so that a recording gives the same picture in either; the
// window puts its capture buffer and its save dialog between the steps.
// Standard C++ only.
#pragma once

#include "capture/hex_capture.h"
#include "platform/files.h"

#include <string>

// The recording's text as the capture buffer takes it: the file read whole
// up to its first NUL byte, every line break (CR LF, CR alone or LF alone)
// one CR LF. The messages of ReadRecording; "Datei %s ist zu groß für den
// Arbeitsspeicher" also when the widened text would be.
RecordingText LoadRecording(const std::string& path);

// The same text as a string, the capture buffer's type.
std::string LoadRecordingText(const std::string& path);

// Writes the picture's bytes under output, replacing any file there, also
// when the stream had no end marker. The messages of WriteFileReplacing (an
// empty name: "Datei  kann nicht erstellt werden").
void WritePicture(const std::string& output, const DecodedCapture& picture);

// merlon-convert's step for one recording: load, decode, write, with the
// messages of those steps. The picture never replaces its own recording,
// under whatever name: "Datei %s ist der Mitschnitt selbst und wird nicht
// ersetzt", with nothing written. Returns the picture written.
DecodedCapture ConvertRecording(const std::string& recording, const std::string& output);

// The window's conversion, one step at a time, for the window to put its
// capture buffer and its save dialog between them. The picture never
// replaces the recording opened, as in ConvertRecording.
class RecordingConversion {
public:
    // The recording's text, as LoadRecordingText gives it, for the capture
    // buffer; the recording is the one the picture must not replace.
    std::string open(const std::string& recording);
    // The capture buffer decoded: the picture to write.
    const DecodedCapture& decode(std::string_view captureBuffer);
    // The picture written as WritePicture writes it; refused, with nothing
    // written, when output is the recording opened.
    void write(const std::string& output) const;

private:
    std::string recording_;
    DecodedCapture picture_;
};

// The line that reports a conversion: "bild.jpg: 5432 Bytes, Endemarke
// gesehen", or "..., keine Endemarke" when the stream had no end marker.
std::string ConversionReport(const std::string& output, const DecodedCapture& picture);
