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

// The line-break rule for a text that arrives in parts (NUL already
// handled): the parts widened one after the other give the whole text
// widened. A CR that ends a part waits for the next, which may begin with
// its LF.
class LineBreakWidener {
public:
    // The part widened, valid until the next call; the part itself where
    // nothing changes.
    std::string_view widen(std::string_view part);
    // What the last part held back: a CR alone at the very end.
    std::string_view finish();

private:
    std::string widened_;
    bool heldCr_ = false;
    bool lastWidened_ = false;
};

// The path with the extension of its last component replaced by ".jpg", or
// ".jpg" appended when that component has none ("rec.txt" -> "rec.jpg",
// "rec" -> "rec.jpg", ".hidden" -> ".hidden.jpg").
std::string ReplaceExtensionWithJpg(const std::string& path);

// The JPEG name for a recording placed in dir: dir, a slash, and the
// recording's file name with its extension replaced by ".jpg". An empty dir
// means the current directory.
std::string JpgNameInDirectory(const std::string& dir, const std::string& recordingPath);
