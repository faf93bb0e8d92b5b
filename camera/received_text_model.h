// The editing model behind the data window's received-text box: the byte
// text, an index of where its lines start, the longest line, and the caret
// and selection. It knows nothing about widgets or pixels, so the box only has
// to paint and forward keys.
//
// Appending costs time in proportion to the chunk, never to the text: the line
// index and the longest-line length are extended, not rebuilt. User edits may
// cost time in proportion to the text after the edit.
//
// CR LF, a lone LF and a lone CR each end a line. A CR LF pair is one step for
// the caret and for Backspace/Delete; the caret never sits between its two
// bytes. A NUL byte never enters the text: a text set or typed is cut at its
// first NUL, as a text box would keep it; in an appended chunk, which comes
// from the line, each NUL is dropped alone and the bytes after it are kept
// (the rules in camera/received_text.h).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class ReceivedTextModel {
public:
    enum class Move {
        Left,
        Right,
        WordLeft,
        WordRight,
        Up,
        Down,
        PageUp,
        PageDown,
        LineStart,
        LineEnd,
        DocumentStart,
        DocumentEnd,
    };

    ReceivedTextModel();

    const std::string& text() const { return text_; }
    std::size_t size() const { return text_.size(); }

    // Programmatic updates. Each puts the caret at the beginning without a
    // selection, as a text box does whose whole text was replaced; a chunk
    // that brings nothing but NULs changes nothing, the caret included, and
    // append returns false for it.
    void setText(std::string bytes);
    bool append(std::string_view chunk);
    void clear();

    std::size_t lineCount() const { return lineStarts_.size(); }
    std::size_t lineStart(std::size_t line) const { return lineStarts_[line]; }
    // Bytes of the line without its line break.
    std::size_t lineLength(std::size_t line) const;
    std::size_t longestLineLength() const { return longestLine_; }
    std::size_t lineOf(std::size_t position) const;
    std::size_t columnOf(std::size_t position) const {
        return position - lineStarts_[lineOf(position)];
    }
    // The position at a line and column, both clamped into the text.
    std::size_t positionAt(std::size_t line, std::size_t column) const;

    std::size_t caret() const { return caret_; }
    std::size_t anchor() const { return anchor_; }
    bool hasSelection() const { return caret_ != anchor_; }
    std::size_t selectionStart() const { return caret_ < anchor_ ? caret_ : anchor_; }
    std::size_t selectionEnd() const { return caret_ < anchor_ ? anchor_ : caret_; }
    std::string_view selectedBytes() const;

    // Places the caret; with keepAnchor the selection stretches from the
    // anchor to it. A position inside a CR LF pair moves before the pair.
    void setCaret(std::size_t position, bool keepAnchor = false);
    // pageLines is how many lines PageUp/PageDown travel.
    void move(Move how, bool select, std::size_t pageLines = 1);
    void selectAll();

    // Each returns whether the text changed. Inserted bytes replace the
    // selection and are cut at their first NUL.
    bool insert(std::string_view bytes);
    bool deleteBackward();
    bool deleteForward();
    bool removeSelection();

private:
    void resetCaret();
    void replace(std::size_t from, std::size_t to, std::string_view bytes);
    // Indexes text_[from, size) given that lineStarts_ already ends with the
    // line that holds `from`.
    void indexFrom(std::size_t from);
    bool isPairMiddle(std::size_t position) const;
    std::size_t stepBack(std::size_t position) const;
    std::size_t stepForward(std::size_t position) const;
    std::size_t wordLeft(std::size_t position) const;
    std::size_t wordRight(std::size_t position) const;
    std::size_t verticalTarget(std::size_t lines, bool down);

    std::string text_;
    std::vector<std::size_t> lineStarts_;
    std::size_t longestLine_ = 0;
    std::size_t caret_ = 0;
    std::size_t anchor_ = 0;
    // The column Up/Down aim for, kept across short lines; npos when unset.
    std::size_t goalColumn_;
};
