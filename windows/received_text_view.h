// The data window's received-text box: an editable multi-line text box over a
// byte text, shown as Windows-1252 characters in the system's fixed-pitch
// font, with both scroll bars. It stays fast when the text holds megabytes on
// one line: appending costs the chunk, and painting covers only the lines and
// columns on screen. The vertical scroll bar counts lines, the horizontal one
// columns.
#pragma once

#include "camera/received_text_model.h"
#include "windows/received_text_glyphs.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <string>
#include <string_view>

class ReceivedTextView : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit ReceivedTextView(QWidget* parent = nullptr);

    // The bytes, the user's edits included.
    const std::string& text() const { return model_.text(); }

    // Programmatic updates: each shows the text from its beginning again, with
    // the caret there, as a text box does whose whole text was replaced. A set
    // text ends at its first NUL; an appended chunk loses its NUL bytes alone.
    // Appending nothing (or only NULs) changes nothing.
    void setText(std::string bytes);
    void appendBytes(std::string_view chunk);
    void clear();

    // Caret, selection and line index, for callers that need to look closer.
    const ReceivedTextModel& model() const { return model_; }

    void copy() const;
    void cut();
    void paste();
    void selectAll();
    // Puts the caret at `caret` with the selection reaching from `anchor`, as
    // if the user had dragged from one to the other.
    void setSelection(std::size_t anchor, std::size_t caret);

    // Where a byte of the text is drawn, in viewport coordinates (off-screen
    // positions give rectangles outside the viewport), and the position a
    // viewport point falls on.
    QRect characterRect(std::size_t position) const;
    std::size_t positionAt(QPointF viewportPoint) const;

signals:
    // The user changed the text (typing, deleting, cutting, pasting).
    void textEdited();
    // Bytes were appended from position `from` on.
    void bytesAppended(std::size_t from);
    // The whole text was set or cleared.
    void textReplaced();
    // The caret or the selection may have moved.
    void caretMoved();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void changeEvent(QEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

private:
    bool handleKey(QKeyEvent* event);
    void insertTyped(const QString& typed);
    void afterProgrammaticUpdate();
    void afterCaretMove();
    void afterEdit(bool changed);
    void updateScrollBars();
    void ensureCaretVisible();
    void restartBlink();
    int fullVisibleLines() const;
    int fullVisibleColumns() const;
    QRect caretRect() const;

    ReceivedTextModel model_;
    ReceivedTextGlyphs glyphs_;
    QBasicTimer blinkTimer_;
    bool caretShown_ = true;
    bool dragging_ = false;
};
