#include "windows/received_text_view.h"

#include "camera/received_text.h"
#include "windows/received_text_accessible.h"
#include "windows/widget_text.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr int kLeftMargin = 2;
constexpr int kTopMargin = 1;
constexpr int kCaretWidth = 1;

using Move = ReceivedTextModel::Move;

struct Navigation {
    QKeySequence::StandardKey key;
    Move move;
    bool select;
};

constexpr Navigation kNavigation[] = {
    {QKeySequence::MoveToNextChar, Move::Right, false},
    {QKeySequence::MoveToPreviousChar, Move::Left, false},
    {QKeySequence::MoveToNextWord, Move::WordRight, false},
    {QKeySequence::MoveToPreviousWord, Move::WordLeft, false},
    {QKeySequence::MoveToNextLine, Move::Down, false},
    {QKeySequence::MoveToPreviousLine, Move::Up, false},
    {QKeySequence::MoveToNextPage, Move::PageDown, false},
    {QKeySequence::MoveToPreviousPage, Move::PageUp, false},
    {QKeySequence::MoveToStartOfLine, Move::LineStart, false},
    {QKeySequence::MoveToEndOfLine, Move::LineEnd, false},
    {QKeySequence::MoveToStartOfDocument, Move::DocumentStart, false},
    {QKeySequence::MoveToEndOfDocument, Move::DocumentEnd, false},
    {QKeySequence::SelectNextChar, Move::Right, true},
    {QKeySequence::SelectPreviousChar, Move::Left, true},
    {QKeySequence::SelectNextWord, Move::WordRight, true},
    {QKeySequence::SelectPreviousWord, Move::WordLeft, true},
    {QKeySequence::SelectNextLine, Move::Down, true},
    {QKeySequence::SelectPreviousLine, Move::Up, true},
    {QKeySequence::SelectNextPage, Move::PageDown, true},
    {QKeySequence::SelectPreviousPage, Move::PageUp, true},
    {QKeySequence::SelectStartOfLine, Move::LineStart, true},
    {QKeySequence::SelectEndOfLine, Move::LineEnd, true},
    {QKeySequence::SelectStartOfDocument, Move::DocumentStart, true},
    {QKeySequence::SelectEndOfDocument, Move::DocumentEnd, true},
};

constexpr QKeySequence::StandardKey kEditingKeys[] = {
    QKeySequence::Copy,
    QKeySequence::Cut,
    QKeySequence::Paste,
    QKeySequence::Delete,
    QKeySequence::DeleteEndOfWord,
    QKeySequence::DeleteStartOfWord,
    QKeySequence::SelectAll,
};

// The printable part of what a key or input method produced; control
// characters (Tab, Escape, Ctrl+letter codes) are not text to insert.
QString PrintableText(const QString& typed) {
    QString printable;
    for (QChar character : typed) {
        if (character.category() != QChar::Other_Control)
            printable.append(character);
    }
    return printable;
}

// Ctrl+Alt is AltGr on some systems and types characters; Ctrl or Alt alone
// belong to commands and menus.
bool TypesText(Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers command = modifiers & (Qt::ControlModifier | Qt::AltModifier);
    return !(modifiers & Qt::MetaModifier) &&
           (command == Qt::NoModifier || command == (Qt::ControlModifier | Qt::AltModifier));
}

int ClampToInt(std::size_t value) {
    return static_cast<int>(std::min<std::size_t>(value, INT_MAX));
}

} // namespace

ReceivedTextView::ReceivedTextView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    glyphs_.setFont(font());
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    updateScrollBars();
    MakeReceivedTextAccessible(this);
}

void ReceivedTextView::setText(std::string bytes) {
    model_.setText(std::move(bytes));
    emit textReplaced();
    afterProgrammaticUpdate();
}

void ReceivedTextView::appendBytes(std::string_view chunk) {
    const std::size_t from = model_.size();
    if (!model_.append(chunk))
        return;
    emit bytesAppended(from);
    afterProgrammaticUpdate();
}

void ReceivedTextView::clear() {
    model_.clear();
    emit textReplaced();
    afterProgrammaticUpdate();
}

void ReceivedTextView::afterProgrammaticUpdate() {
    dragging_ = false;
    updateScrollBars();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    restartBlink();
    viewport()->update();
    emit caretMoved();
}

void ReceivedTextView::afterCaretMove() {
    ensureCaretVisible();
    restartBlink();
    viewport()->update();
    emit caretMoved();
}

void ReceivedTextView::afterEdit(bool changed) {
    // The change is told before the caret that moved with it.
    if (changed) {
        updateScrollBars();
        emit textEdited();
    }
    afterCaretMove();
}

int ReceivedTextView::fullVisibleLines() const {
    return std::max(1, (viewport()->height() - kTopMargin) / glyphs_.lineHeight());
}

int ReceivedTextView::fullVisibleColumns() const {
    const qreal room = viewport()->width() - kLeftMargin - kCaretWidth;
    return std::max(1, static_cast<int>(std::floor(room / glyphs_.columnWidth())));
}

void ReceivedTextView::updateScrollBars() {
    const int lines = fullVisibleLines();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(0, std::max(0, ClampToInt(model_.lineCount()) - lines));
    vertical->setPageStep(lines);
    vertical->setSingleStep(1);

    // One column more than the longest line, so the caret after its last
    // character can be scrolled into view.
    const int columns = fullVisibleColumns();
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, ClampToInt(model_.longestLineLength()) + 1 - columns));
    horizontal->setPageStep(columns);
    horizontal->setSingleStep(1);
}

void ReceivedTextView::ensureCaretVisible() {
    const std::size_t caret = model_.caret();
    const int line = ClampToInt(model_.lineOf(caret));
    const int column = ClampToInt(model_.columnOf(caret));

    QScrollBar* vertical = verticalScrollBar();
    const int lines = fullVisibleLines();
    if (line < vertical->value())
        vertical->setValue(line);
    else if (line >= vertical->value() + lines)
        vertical->setValue(line - lines + 1);

    QScrollBar* horizontal = horizontalScrollBar();
    const int columns = fullVisibleColumns();
    if (column < horizontal->value())
        horizontal->setValue(column);
    else if (column > horizontal->value() + columns)
        horizontal->setValue(column - columns);
}

void ReceivedTextView::restartBlink() {
    caretShown_ = true;
    const int flash = QApplication::cursorFlashTime();
    if (hasFocus() && flash > 0)
        blinkTimer_.start(flash / 2, this);
    else
        blinkTimer_.stop();
}

std::size_t ReceivedTextView::positionAt(QPointF point) const {
    const qint64 lineOffset =
        static_cast<qint64>(std::floor((point.y() - kTopMargin) / glyphs_.lineHeight()));
    const qint64 columnOffset =
        static_cast<qint64>(std::lround((point.x() - kLeftMargin) / glyphs_.columnWidth()));
    const qint64 line = std::max<qint64>(0, verticalScrollBar()->value() + lineOffset);
    const qint64 column = std::max<qint64>(0, horizontalScrollBar()->value() + columnOffset);
    return model_.positionAt(static_cast<std::size_t>(line), static_cast<std::size_t>(column));
}

QRect ReceivedTextView::caretRect() const {
    QRect rect = characterRect(model_.caret());
    rect.setWidth(kCaretWidth);
    return rect;
}

QRect ReceivedTextView::characterRect(std::size_t position) const {
    position = std::min(position, model_.size());
    const qint64 line = static_cast<qint64>(model_.lineOf(position)) - verticalScrollBar()->value();
    const qint64 column =
        static_cast<qint64>(model_.columnOf(position)) - horizontalScrollBar()->value();
    const qreal x = kLeftMargin + column * glyphs_.columnWidth();
    const qreal y = kTopMargin + line * static_cast<qreal>(glyphs_.lineHeight());
    // Far off-screen positions stay off-screen without overflowing int.
    const qreal limit = 1e6;
    return QRect(static_cast<int>(std::clamp(x, -limit, limit)),
                 static_cast<int>(std::clamp(y, -limit, limit)),
                 std::max(1, static_cast<int>(std::ceil(glyphs_.columnWidth()))),
                 glyphs_.lineHeight());
}

void ReceivedTextView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QPalette& colors = palette();
    const std::string& text = model_.text();
    const qreal columnWidth = glyphs_.columnWidth();
    const int lineHeight = glyphs_.lineHeight();
    const std::size_t firstColumn = static_cast<std::size_t>(horizontalScrollBar()->value());
    // Columns that touch the viewport, the partly visible last one included.
    const std::size_t columns =
        static_cast<std::size_t>(std::ceil((viewport()->width() - kLeftMargin) / columnWidth)) + 1;
    const std::size_t selectionStart = model_.selectionStart();
    const std::size_t selectionEnd = model_.selectionEnd();

    std::size_t line = static_cast<std::size_t>(verticalScrollBar()->value());
    for (int y = kTopMargin; y < viewport()->height() && line < model_.lineCount();
         y += lineHeight, ++line) {
        const std::size_t start = model_.lineStart(line);
        const std::size_t length = model_.lineLength(line);
        const std::size_t from = std::min(firstColumn, length);
        const std::size_t to = std::min(length, firstColumn + columns);
        auto xOf = [&](std::size_t column) {
            return kLeftMargin +
                   (static_cast<qreal>(column) - static_cast<qreal>(firstColumn)) * columnWidth;
        };

        // The selected columns of this line, [selFrom, selTo), within what is drawn.
        std::size_t selFrom = from, selTo = from;
        if (selectionStart < selectionEnd) {
            const std::size_t lineEnd = start + length;
            const std::size_t a = std::clamp(selectionStart, start, lineEnd) - start;
            const std::size_t b = std::clamp(selectionEnd, start, lineEnd) - start;
            selFrom = std::clamp(a, from, to);
            selTo = std::clamp(b, from, to);
            // A selected line break shows as one highlighted column after the line.
            const bool breakSelected = line + 1 < model_.lineCount() && selectionStart <= lineEnd &&
                                       selectionEnd > lineEnd;
            if (breakSelected && length >= firstColumn && length < firstColumn + columns)
                painter.fillRect(QRectF(xOf(length), y, columnWidth, lineHeight),
                                 colors.color(QPalette::Highlight));
        }
        if (selFrom < selTo)
            painter.fillRect(QRectF(xOf(selFrom), y, (selTo - selFrom) * columnWidth, lineHeight),
                             colors.color(QPalette::Highlight));

        const std::string_view bytes(text.data() + start, length);
        const qreal baseline = y + glyphs_.ascent();
        glyphs_.draw(painter, QPointF(xOf(from), baseline), bytes.substr(from, selFrom - from),
                     colors.color(QPalette::Text));
        glyphs_.draw(painter, QPointF(xOf(selFrom), baseline),
                     bytes.substr(selFrom, selTo - selFrom),
                     colors.color(QPalette::HighlightedText));
        glyphs_.draw(painter, QPointF(xOf(selTo), baseline), bytes.substr(selTo, to - selTo),
                     colors.color(QPalette::Text));
    }

    if (hasFocus() && caretShown_)
        painter.fillRect(caretRect(), colors.color(QPalette::Text));
}

void ReceivedTextView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void ReceivedTextView::scrollContentsBy(int, int) {
    viewport()->update();
}

bool ReceivedTextView::event(QEvent* event) {
    // Keys this box edits with must reach it even where a window defines the
    // same keys as shortcuts.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool textKey = !PrintableText(key->text()).isEmpty() && TypesText(key->modifiers());
        bool editingKey = textKey;
        for (const Navigation& navigation : kNavigation)
            editingKey = editingKey || key->matches(navigation.key);
        for (QKeySequence::StandardKey standard : kEditingKeys)
            editingKey = editingKey || key->matches(standard);
        if (editingKey) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void ReceivedTextView::keyPressEvent(QKeyEvent* event) {
    if (handleKey(event))
        event->accept();
    else
        event->ignore();
}

bool ReceivedTextView::handleKey(QKeyEvent* event) {
    for (const Navigation& navigation : kNavigation) {
        if (event->matches(navigation.key)) {
            model_.move(navigation.move, navigation.select,
                        static_cast<std::size_t>(fullVisibleLines()));
            afterCaretMove();
            return true;
        }
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return true;
    }
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return true;
    }
    if (event->matches(QKeySequence::Cut)) {
        cut();
        return true;
    }
    if (event->matches(QKeySequence::Paste)) {
        paste();
        return true;
    }
    if (event->matches(QKeySequence::DeleteStartOfWord) ||
        event->matches(QKeySequence::DeleteEndOfWord)) {
        if (!model_.hasSelection())
            model_.move(event->matches(QKeySequence::DeleteStartOfWord) ? Move::WordLeft
                                                                        : Move::WordRight,
                        true);
        afterEdit(model_.removeSelection());
        return true;
    }
    if (event->matches(QKeySequence::Delete)) {
        afterEdit(model_.deleteForward());
        return true;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool plain = !(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (event->key() == Qt::Key_Backspace && plain) {
        afterEdit(model_.deleteBackward());
        return true;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && plain) {
        afterEdit(model_.insert("\r\n"));
        return true;
    }
    const QString typed = PrintableText(event->text());
    if (!typed.isEmpty() && TypesText(modifiers)) {
        insertTyped(typed);
        return true;
    }
    return false;
}

void ReceivedTextView::insertTyped(const QString& typed) {
    afterEdit(model_.insert(FromWidgetText(typed)));
}

void ReceivedTextView::copy() const {
    if (model_.hasSelection())
        QGuiApplication::clipboard()->setText(ToWidgetText(model_.selectedBytes()));
}

void ReceivedTextView::cut() {
    if (!model_.hasSelection())
        return;
    copy();
    afterEdit(model_.removeSelection());
}

void ReceivedTextView::paste() {
    // FromWidgetText keeps a NUL as a byte; the model cuts the text there.
    afterEdit(model_.insert(FromWidgetText(QGuiApplication::clipboard()->text())));
}

void ReceivedTextView::selectAll() {
    model_.selectAll();
    afterCaretMove();
}

void ReceivedTextView::setSelection(std::size_t anchor, std::size_t caret) {
    model_.setCaret(std::min(anchor, model_.size()));
    model_.setCaret(std::min(caret, model_.size()), true);
    afterCaretMove();
}

void ReceivedTextView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    model_.setCaret(positionAt(event->position()), extend);
    dragging_ = true;
    afterCaretMove();
}

void ReceivedTextView::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !(event->buttons() & Qt::LeftButton))
        return;
    // Dragging past an edge moves the caret beyond it, which scrolls.
    model_.setCaret(positionAt(event->position()), true);
    afterCaretMove();
}

void ReceivedTextView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        dragging_ = false;
}

void ReceivedTextView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const std::string& text = model_.text();
    std::size_t from = positionAt(event->position());
    std::size_t to = from;
    while (from > 0 && KindOf(text[from - 1]) == ByteKind::Word)
        --from;
    while (to < text.size() && KindOf(text[to]) == ByteKind::Word)
        ++to;
    model_.setCaret(from);
    model_.setCaret(to, true);
    dragging_ = false;
    afterCaretMove();
}

void ReceivedTextView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    restartBlink();
    viewport()->update();
}

void ReceivedTextView::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    blinkTimer_.stop();
    dragging_ = false;
    viewport()->update();
}

void ReceivedTextView::timerEvent(QTimerEvent* event) {
    if (event->timerId() != blinkTimer_.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    caretShown_ = !caretShown_;
    viewport()->update(caretRect());
}

void ReceivedTextView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        glyphs_.setFont(font());
        updateScrollBars();
        viewport()->update();
    }
}

void ReceivedTextView::inputMethodEvent(QInputMethodEvent* event) {
    const QString typed = PrintableText(event->commitString());
    if (!typed.isEmpty())
        insertTyped(typed);
    event->accept();
}

QVariant ReceivedTextView::inputMethodQuery(Qt::InputMethodQuery query) const {
    if (query == Qt::ImCursorRectangle)
        return caretRect().translated(viewport()->pos());
    if (query == Qt::ImEnabled)
        return true;
    return QAbstractScrollArea::inputMethodQuery(query);
}
