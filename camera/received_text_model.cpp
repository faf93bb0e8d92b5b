#include "camera/received_text_model.h"

#include "camera/received_text.h"

#include <algorithm>

namespace {

constexpr std::size_t kNoColumn = std::string::npos;

bool IsBreak(char c) {
    return KindOf(c) == ByteKind::LineBreak;
}
bool IsSpace(char c) {
    return KindOf(c) == ByteKind::Blank;
}
bool IsWord(char c) {
    return KindOf(c) == ByteKind::Word;
}

} // namespace

ReceivedTextModel::ReceivedTextModel() : lineStarts_{0}, goalColumn_(kNoColumn) {}

void ReceivedTextModel::setText(std::string bytes) {
    bytes.resize(UntilFirstNul(bytes).size());
    text_ = std::move(bytes);
    lineStarts_.assign(1, 0);
    longestLine_ = 0;
    indexFrom(0);
    resetCaret();
}

bool ReceivedTextModel::append(std::string_view chunk) {
    const std::size_t oldSize = text_.size();
    // Nothing arrived: nothing is replaced, so the caret stays where the user put it.
    if (AppendFromLine(text_, chunk) == 0)
        return false;
    std::size_t from = oldSize;
    // A CR at the end of the previous chunk was taken for a lone CR; with the
    // LF arriving now the pair is one break, and the last line begins after it.
    if (oldSize > 0 && text_[oldSize - 1] == '\r' && text_[oldSize] == '\n') {
        lineStarts_.back() = oldSize + 1;
        from = oldSize + 1;
    }
    indexFrom(from);
    resetCaret();
    return true;
}

void ReceivedTextModel::clear() {
    setText(std::string());
}

void ReceivedTextModel::resetCaret() {
    caret_ = 0;
    anchor_ = 0;
    goalColumn_ = kNoColumn;
}

void ReceivedTextModel::indexFrom(std::size_t from) {
    const std::size_t end = text_.size();
    const char* bytes = text_.data();
    for (std::size_t i = from; i < end; ++i) {
        const char c = bytes[i];
        if (!IsBreak(c))
            continue;
        longestLine_ = std::max(longestLine_, i - lineStarts_.back());
        if (c == '\r' && i + 1 < end && bytes[i + 1] == '\n')
            ++i;
        lineStarts_.push_back(i + 1);
    }
    longestLine_ = std::max(longestLine_, end - lineStarts_.back());
}

std::size_t ReceivedTextModel::lineLength(std::size_t line) const {
    const std::size_t begin = lineStarts_[line];
    if (line + 1 >= lineStarts_.size())
        return text_.size() - begin;
    const std::size_t next = lineStarts_[line + 1];
    const bool pair = next >= begin + 2 && text_[next - 1] == '\n' && text_[next - 2] == '\r';
    return next - begin - (pair ? 2 : 1);
}

std::size_t ReceivedTextModel::lineOf(std::size_t position) const {
    const auto after = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), position);
    return static_cast<std::size_t>(after - lineStarts_.begin()) - 1;
}

std::size_t ReceivedTextModel::positionAt(std::size_t line, std::size_t column) const {
    line = std::min(line, lineStarts_.size() - 1);
    return lineStarts_[line] + std::min(column, lineLength(line));
}

std::string_view ReceivedTextModel::selectedBytes() const {
    return std::string_view(text_).substr(selectionStart(), selectionEnd() - selectionStart());
}

bool ReceivedTextModel::isPairMiddle(std::size_t position) const {
    return position > 0 && position < text_.size() && text_[position - 1] == '\r' &&
           text_[position] == '\n';
}

void ReceivedTextModel::setCaret(std::size_t position, bool keepAnchor) {
    position = std::min(position, text_.size());
    if (isPairMiddle(position))
        --position;
    caret_ = position;
    if (!keepAnchor)
        anchor_ = position;
    goalColumn_ = kNoColumn;
}

std::size_t ReceivedTextModel::stepBack(std::size_t position) const {
    if (position == 0)
        return 0;
    if (position >= 2 && text_[position - 2] == '\r' && text_[position - 1] == '\n')
        return position - 2;
    return position - 1;
}

std::size_t ReceivedTextModel::stepForward(std::size_t position) const {
    if (position >= text_.size())
        return text_.size();
    if (text_[position] == '\r' && position + 1 < text_.size() && text_[position + 1] == '\n')
        return position + 2;
    return position + 1;
}

std::size_t ReceivedTextModel::wordLeft(std::size_t position) const {
    if (position == 0)
        return 0;
    if (IsBreak(text_[position - 1]))
        return stepBack(position);
    while (position > 0 && IsSpace(text_[position - 1]))
        --position;
    while (position > 0 && IsWord(text_[position - 1]))
        --position;
    return position;
}

std::size_t ReceivedTextModel::wordRight(std::size_t position) const {
    const std::size_t end = text_.size();
    if (position >= end)
        return end;
    if (IsBreak(text_[position]))
        return stepForward(position);
    while (position < end && IsWord(text_[position]))
        ++position;
    while (position < end && IsSpace(text_[position]))
        ++position;
    return position;
}

std::size_t ReceivedTextModel::verticalTarget(std::size_t lines, bool down) {
    const std::size_t line = lineOf(caret_);
    if (goalColumn_ == kNoColumn)
        goalColumn_ = caret_ - lineStarts_[line];
    std::size_t target;
    if (down)
        target = std::min(line + lines, lineStarts_.size() - 1);
    else
        target = line >= lines ? line - lines : 0;
    return positionAt(target, goalColumn_);
}

void ReceivedTextModel::move(Move how, bool select, std::size_t pageLines) {
    std::size_t target = caret_;
    bool vertical = false;
    switch (how) {
    case Move::Left:
        target = hasSelection() && !select ? selectionStart() : stepBack(caret_);
        break;
    case Move::Right:
        target = hasSelection() && !select ? selectionEnd() : stepForward(caret_);
        break;
    case Move::WordLeft:
        target = wordLeft(caret_);
        break;
    case Move::WordRight:
        target = wordRight(caret_);
        break;
    case Move::Up:
    case Move::Down:
        target = verticalTarget(1, how == Move::Down);
        vertical = true;
        break;
    case Move::PageUp:
    case Move::PageDown:
        target = verticalTarget(std::max<std::size_t>(pageLines, 1), how == Move::PageDown);
        vertical = true;
        break;
    case Move::LineStart:
        target = lineStarts_[lineOf(caret_)];
        break;
    case Move::LineEnd: {
        const std::size_t line = lineOf(caret_);
        target = lineStarts_[line] + lineLength(line);
        break;
    }
    case Move::DocumentStart:
        target = 0;
        break;
    case Move::DocumentEnd:
        target = text_.size();
        break;
    }
    const std::size_t goal = goalColumn_;
    setCaret(target, select);
    if (vertical)
        goalColumn_ = goal;
}

void ReceivedTextModel::selectAll() {
    anchor_ = 0;
    caret_ = text_.size();
    goalColumn_ = kNoColumn;
}

void ReceivedTextModel::replace(std::size_t from, std::size_t to, std::string_view bytes) {
    // Lines wholly before the one holding from - 1 keep their starts: a line
    // start depends only on the bytes just before it and, after a CR, the byte
    // at it. Everything from there on is indexed again.
    const std::size_t keptLine = lineOf(from > 0 ? from - 1 : 0);
    text_.replace(from, to - from, bytes);
    lineStarts_.resize(keptLine + 1);
    longestLine_ = 0;
    for (std::size_t line = 0; line < keptLine; ++line)
        longestLine_ = std::max(longestLine_, lineLength(line));
    indexFrom(lineStarts_.back());
}

bool ReceivedTextModel::insert(std::string_view bytes) {
    bytes = UntilFirstNul(bytes);
    if (bytes.empty())
        return removeSelection();
    const std::size_t from = selectionStart();
    replace(from, selectionEnd(), bytes);
    setCaret(from + bytes.size());
    return true;
}

bool ReceivedTextModel::removeSelection() {
    if (!hasSelection())
        return false;
    const std::size_t from = selectionStart();
    replace(from, selectionEnd(), {});
    setCaret(from);
    return true;
}

bool ReceivedTextModel::deleteBackward() {
    if (hasSelection())
        return removeSelection();
    if (caret_ == 0)
        return false;
    const std::size_t from = stepBack(caret_);
    replace(from, caret_, {});
    setCaret(from);
    return true;
}

bool ReceivedTextModel::deleteForward() {
    if (hasSelection())
        return removeSelection();
    if (caret_ >= text_.size())
        return false;
    const std::size_t to = stepForward(caret_);
    replace(caret_, to, {});
    setCaret(caret_);
    return true;
}
