#include "windows/received_text_accessible.h"

#include "camera/received_text.h"
#include "picture/accessibility_clients.h"
#include "windows/received_text_view.h"
#include "windows/widget_text.h"

#include <QAccessibleWidget>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <string>
#include <string_view>

namespace {

int ToOffset(std::size_t position) {
    return static_cast<int>(std::min<std::size_t>(position, INT_MAX));
}

class ReceivedTextAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ReceivedTextAccessible(ReceivedTextView* view)
        : QAccessibleWidget(view, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.editable = true;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value)
            return ByteCharacters(bytes());
        return QAccessibleWidget::text(kind);
    }

    // Selection: at most one, the box's.
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
        if (selectionIndex != 0 || !model().hasSelection())
            return;
        *startOffset = ToOffset(model().selectionStart());
        *endOffset = ToOffset(model().selectionEnd());
    }
    int selectionCount() const override { return model().hasSelection() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override {
        setSelection(0, startOffset, endOffset);
    }
    void removeSelection(int selectionIndex) override {
        if (selectionIndex == 0)
            view()->setSelection(model().caret(), model().caret());
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override {
        if (selectionIndex != 0 || startOffset < 0 || endOffset < 0)
            return;
        view()->setSelection(static_cast<std::size_t>(startOffset),
                             static_cast<std::size_t>(endOffset));
    }

    int cursorPosition() const override { return ToOffset(model().caret()); }
    void setCursorPosition(int position) override {
        if (position >= 0)
            view()->setSelection(static_cast<std::size_t>(position),
                                 static_cast<std::size_t>(position));
    }

    QString text(int startOffset, int endOffset) const override {
        const std::size_t size = bytes().size();
        const std::size_t from = std::min<std::size_t>(std::max(startOffset, 0), size);
        const std::size_t to = std::min<std::size_t>(std::max(endOffset, 0), size);
        if (from >= to)
            return {};
        return ByteCharacters(std::string_view(bytes()).substr(from, to - from));
    }
    int characterCount() const override { return ToOffset(bytes().size()); }

    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int* startOffset,
                         int* endOffset) const override {
        *startOffset = *endOffset = -1;
        if (offset < 0 || offset > characterCount())
            return {};
        const auto [from, to] = segmentAt(static_cast<std::size_t>(offset), boundary);
        *startOffset = ToOffset(from);
        *endOffset = ToOffset(to);
        return text(*startOffset, *endOffset);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int* startOffset,
                             int* endOffset) const override {
        *startOffset = *endOffset = -1;
        if (offset <= 0 || offset > characterCount())
            return {};
        const std::size_t current = segmentAt(static_cast<std::size_t>(offset), boundary).first;
        if (current == 0)
            return {};
        return textAtOffset(ToOffset(current - 1), boundary, startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int* startOffset,
                            int* endOffset) const override {
        *startOffset = *endOffset = -1;
        if (offset < 0 || offset >= characterCount())
            return {};
        const std::size_t next = segmentAt(static_cast<std::size_t>(offset), boundary).second;
        if (next >= bytes().size())
            return {};
        return textAtOffset(ToOffset(next), boundary, startOffset, endOffset);
    }

    QRect characterRect(int offset) const override {
        if (offset < 0 || offset >= characterCount())
            return {};
        const QRect rect = view()->characterRect(static_cast<std::size_t>(offset));
        return rect.translated(view()->viewport()->mapToGlobal(QPoint(0, 0)));
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint local = view()->viewport()->mapFromGlobal(point);
        if (!view()->viewport()->rect().contains(local))
            return -1;
        return ToOffset(view()->positionAt(local));
    }

    void scrollToSubstring(int startIndex, int) override {
        if (startIndex < 0 || startIndex > characterCount())
            return;
        // The scroll bars count lines and columns.
        const std::size_t position = static_cast<std::size_t>(startIndex);
        view()->verticalScrollBar()->setValue(ToOffset(model().lineOf(position)));
        view()->horizontalScrollBar()->setValue(ToOffset(model().columnOf(position)));
    }

    // The whole text is in one font and colour.
    QString attributes(int, int* startOffset, int* endOffset) const override {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

private:
    ReceivedTextView* view() const { return static_cast<ReceivedTextView*>(widget()); }
    const ReceivedTextModel& model() const { return view()->model(); }
    const std::string& bytes() const { return view()->text(); }

    // [from, to) of the character, word, line or whole text at a position;
    // lines keep their line break, so that they tile the text. At the end of
    // the text only a line (the last one) is found.
    std::pair<std::size_t, std::size_t> segmentAt(std::size_t position,
                                                  QAccessible::TextBoundaryType boundary) const {
        const std::string& text = bytes();
        const std::size_t size = text.size();
        switch (boundary) {
        case QAccessible::CharBoundary:
            return {position, std::min(position + 1, size)};
        case QAccessible::WordBoundary: {
            if (position >= size)
                return {size, size};
            // A run of one kind of byte is a word, a gap or a line break.
            const ByteKind kind = KindOf(text[position]);
            std::size_t from = position, to = position + 1;
            while (from > 0 && KindOf(text[from - 1]) == kind)
                --from;
            while (to < size && KindOf(text[to]) == kind)
                ++to;
            return {from, to};
        }
        case QAccessible::SentenceBoundary:
        case QAccessible::ParagraphBoundary:
        case QAccessible::LineBoundary: {
            const ReceivedTextModel& lines = model();
            const std::size_t line = lines.lineOf(position);
            const std::size_t next =
                line + 1 < lines.lineCount() ? lines.lineStart(line + 1) : size;
            return {lines.lineStart(line), next};
        }
        case QAccessible::NoBoundary:
            break;
        }
        return {0, size};
    }
};

QAccessibleInterface* ReceivedTextFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("ReceivedTextView"))
        if (auto* view = qobject_cast<ReceivedTextView*>(object))
            return new ReceivedTextAccessible(view);
    return nullptr;
}

// Tells a screen reader what changed in one box. It keeps the text as the
// screen reader was last told it, so that every change can be told exactly
// (what was removed, what was inserted, where), and forgets it as soon as no
// screen reader listens.
class ReceivedTextAnnouncer : public QObject {
public:
    explicit ReceivedTextAnnouncer(ReceivedTextView* view) : QObject(view), view_(view) {
        appendTimer_.setSingleShot(true);
        appendTimer_.setInterval(kAppendAnnouncementMs);
        connect(&appendTimer_, &QTimer::timeout, this, [this] { tellChanges(); });
        connect(view, &ReceivedTextView::bytesAppended, this, &ReceivedTextAnnouncer::appended);
        connect(view, &ReceivedTextView::textReplaced, this, &ReceivedTextAnnouncer::changed);
        connect(view, &ReceivedTextView::textEdited, this, &ReceivedTextAnnouncer::changed);
        connect(view, &ReceivedTextView::caretMoved, this, &ReceivedTextAnnouncer::caretMoved);
    }

private:
    // Whether to go on; on the first notice with a listener, starts from the
    // text as it stood before that change (`before` bytes of it are known to
    // be unchanged), which the screen reader reads for itself.
    bool listening(std::size_t before) {
        if (!AccessibilityClientListening()) {
            if (known_) {
                told_ = std::string();
                known_ = false;
                appendTimer_.stop();
            }
            return false;
        }
        if (!known_) {
            told_.assign(view_->text(), 0, before);
            caret_ = view_->model().caret();
            anchor_ = view_->model().anchor();
            known_ = true;
            appendsOnly_ = true;
            pending_ = before < view_->text().size();
        }
        return true;
    }

    void appended(std::size_t from) {
        if (!listening(from))
            return;
        pending_ = true;
        if (!appendTimer_.isActive())
            appendTimer_.start();
    }

    void changed() {
        if (!listening(view_->text().size()))
            return;
        pending_ = true;
        appendsOnly_ = false;
        tellChanges();
    }

    void caretMoved() {
        // The first notice a listener gets is told even though nothing was
        // known to compare with.
        const bool first = !known_;
        if (!listening(view_->text().size()))
            return;
        const ReceivedTextModel& model = view_->model();
        if (!first && model.caret() == caret_ && model.anchor() == anchor_)
            return;
        // The screen reader reads around the caret: it must know the text first.
        tellChanges();
        const bool selectionMoved =
            (model.hasSelection() || caret_ != anchor_) &&
            std::minmax(model.caret(), model.anchor()) != std::minmax(caret_, anchor_);
        caret_ = model.caret();
        anchor_ = model.anchor();
        if (selectionMoved) {
            QAccessibleTextSelectionEvent selection(view_, ToOffset(model.selectionStart()),
                                                    ToOffset(model.selectionEnd()));
            selection.setCursorPosition(ToOffset(caret_));
            TellAccessibilityClients(selection);
        }
        QAccessibleTextCursorEvent cursor(view_, ToOffset(caret_));
        TellAccessibilityClients(cursor);
    }

    void tellChanges() {
        appendTimer_.stop();
        if (!pending_ || !known_)
            return;
        pending_ = false;
        const std::string& text = view_->text();
        std::size_t from = told_.size(), removedEnd = told_.size(), insertedEnd = text.size();
        if (!appendsOnly_) {
            // Only user edits and whole replacements get here, so comparing
            // the whole text is affordable.
            from = 0;
            const std::size_t shorter = std::min(told_.size(), text.size());
            while (from < shorter && told_[from] == text[from])
                ++from;
            while (removedEnd > from && insertedEnd > from &&
                   told_[removedEnd - 1] == text[insertedEnd - 1]) {
                --removedEnd;
                --insertedEnd;
            }
        }
        appendsOnly_ = true;
        const QString removed =
            ByteCharacters(std::string_view(told_).substr(from, removedEnd - from));
        const QString inserted =
            ByteCharacters(std::string_view(text).substr(from, insertedEnd - from));
        told_.replace(from, removedEnd - from, text, from, insertedEnd - from);
        if (removed.isEmpty() && inserted.isEmpty())
            return;
        const int position = ToOffset(from);
        if (removed.isEmpty()) {
            QAccessibleTextInsertEvent event(view_, position, inserted);
            TellAccessibilityClients(event);
        } else if (inserted.isEmpty()) {
            QAccessibleTextRemoveEvent event(view_, position, removed);
            TellAccessibilityClients(event);
        } else {
            QAccessibleTextUpdateEvent event(view_, position, removed, inserted);
            TellAccessibilityClients(event);
        }
    }

    ReceivedTextView* view_;
    QTimer appendTimer_;
    std::string told_; // the text as last told; empty while nobody listens
    bool known_ = false;
    bool pending_ = false;
    bool appendsOnly_ = true;
    std::size_t caret_ = 0;
    std::size_t anchor_ = 0;
};

} // namespace

void MakeReceivedTextAccessible(ReceivedTextView* view) {
    static const bool installed = [] {
        QAccessible::installFactory(ReceivedTextFactory);
        return true;
    }();
    Q_UNUSED(installed);
    new ReceivedTextAnnouncer(view);
}
