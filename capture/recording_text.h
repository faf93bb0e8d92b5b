// What a recording (a terminal capture holding a picture stream) becomes on
// its way into the capture buffer, and the names its JPEG file gets.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The text ends at its first NUL byte, and every line break (CR LF, CR alone
// or LF alone) becomes one CR LF; LF CR counts as two breaks. Works in place
// and leaves the text untouched when nothing needs to change.
void NormaliseRecordingText(std::string& text);

// The two halves of that rule for text held in memory of the caller's own
// (NUL already handled): how many characters the line breaks add, and the
// widening itself, in place, for a buffer holding length characters with
// room for length + addedCharacters.
std::size_t CountLoneLineBreaks(std::string_view text);
void WidenLineBreaks(char* text, std::size_t length, std::size_t addedCharacters);

// The path with the extension of its last component replaced by ".jpg", or
// ".jpg" appended when that component has none ("rec.txt" -> "rec.jpg",
// "rec" -> "rec.jpg", ".hidden" -> ".hidden.jpg").
std::string ReplaceExtensionWithJpg(const std::string& path);

// The JPEG name for a recording placed in dir: dir, a slash, and the
// recording's file name with its extension replaced by ".jpg". An empty dir
// means the current directory.
std::string JpgNameInDirectory(const std::string& dir, const std::string& recordingPath);
