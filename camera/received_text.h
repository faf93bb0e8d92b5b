// The received text and the rules that hold for it wherever it is kept or
// shown: in the data window's box, in its accessible text, in a front end
// without a display, and in the terminal that appends what the line brought.
//
// - A chunk from the line goes in whole but for its NUL bytes: a NUL on the
//   line is noise, never part of a picture stream, so it is dropped alone and
//   the bytes after it still count.
// - A text given whole (set by the program, typed, pasted) is what a text box
//   keeps of it: everything before its first NUL.
// - Every byte is one character, the one Windows-1252 gives it
//   (camera/windows1252.h), drawn in one column: positions in the text are
//   character offsets for a screen reader and columns on screen.
// - CR LF, a lone CR and a lone LF each end a line (camera/received_text_model.h).
// - A word is a run of bytes that are neither blanks nor line breaks.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The part of the bytes a text box keeps: everything before the first NUL.
std::string_view UntilFirstNul(std::string_view bytes);

// Appends a chunk as it came from the line to text, without its NUL bytes.
// Returns how many bytes went in.
std::size_t AppendFromLine(std::string& text, std::string_view chunk);

// What a byte is to word-wise moves and to a screen reader's words.
enum class ByteKind { Word, Blank, LineBreak };

constexpr ByteKind KindOf(char byte) {
    if (byte == '\r' || byte == '\n')
        return ByteKind::LineBreak;
    if (byte == ' ' || byte == '\t')
        return ByteKind::Blank;
    return ByteKind::Word;
}

// Where the terminal keeps what it received: the data window's text box in the
// program, a plain byte string in a front end without a display. The capture
// cycle reads and empties it through the terminal.
class ReceivedText {
public:
    virtual ~ReceivedText() = default;
    // The bytes as they stand, the user's edits included where there is a user.
    virtual const std::string& text() const = 0;
    // Takes a chunk as it came from the line, by AppendFromLine's rule.
    virtual void append(std::string_view chunk) = 0;
    virtual void clear() = 0;
};

// A received text that only holds bytes.
class PlainReceivedText : public ReceivedText {
public:
    const std::string& text() const override { return text_; }
    void append(std::string_view chunk) override { AppendFromLine(text_, chunk); }
    void clear() override { text_.clear(); }

private:
    std::string text_;
};
