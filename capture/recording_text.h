// What a recording (a terminal capture holding a picture stream) becomes on
// its way into the capture buffer, and the names its JPEG file gets.
#pragma once

#include <string>

// The text ends at its first NUL byte, and every line break (CR LF, CR alone
// or LF alone) becomes one CR LF; LF CR counts as two breaks. Works in place
// and leaves the text untouched when nothing needs to change.
void NormaliseRecordingText(std::string& text);

// The path with the extension of its last component replaced by ".jpg", or
// ".jpg" appended when that component has none ("rec.txt" -> "rec.jpg",
// "rec" -> "rec.jpg", ".hidden" -> ".hidden.jpg").
std::string ReplaceExtensionWithJpg(const std::string& path);

// The JPEG name for a recording placed in dir: dir, a slash, and the
// recording's file name with its extension replaced by ".jpg". An empty dir
// means the current directory.
std::string JpgNameInDirectory(const std::string& dir, const std::string& recordingPath);
