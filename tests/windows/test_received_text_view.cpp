// The received-text box as the user and the data window meet it: programmatic
// updates show the text from its beginning, keys and the mouse edit the bytes,
// the clipboard carries Windows-1252 characters, and what is painted is the
// visible part of the text, one column per byte.
#include "windows/received_text_view.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

namespace {

QByteArray Bytes(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Many lines, each wider than the box, so both scroll bars have room to move.
std::string WideText() {
    std::string text;
    for (int line = 0; line < 100; ++line)
        text += std::string(200, static_cast<char>('a' + line % 26)) + "\r\n";
    return text;
}

// QTest::keyClicks takes ASCII only; other characters are sent as the key
// events a German keyboard layout would produce.
void TypeCharacters(QWidget* widget, const QString& characters) {
    for (QChar character : characters)
        QTest::sendKeyEvent(QTest::Click, widget,
                            static_cast<Qt::Key>(character.toUpper().unicode()), QString(character),
                            Qt::NoModifier);
}

} // namespace

class ReceivedTextViewTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void programmaticUpdateShowsBeginning_data();
    void programmaticUpdateShowsBeginning();
    void emptyAppendLeavesUserWhereTheyAre();
    void typingInsertsWindows1252Bytes();
    void enterInsertsCrLf();
    void backspaceTakesCrLfAsOneStep();
    void selectionAndDelete_data();
    void selectionAndDelete();
    void pasteMapsToBytesAndStopsAtNul_data();
    void pasteMapsToBytesAndStopsAtNul();
    void copyGivesWindows1252Characters();
    void cutRemovesSelection();
    void mouseClickAndDragSelect();
    void scrollRangesFollowText();
    void rendersFirstLineFromBeginning();
    void rendersOnlyVisibleColumns();
    void controlCharactersTakeOneColumn();

private:
    std::unique_ptr<ReceivedTextView> view_;

    QImage grabViewport() { return view_->viewport()->grab().toImage(); }
    // Whether any pixel in the rectangle differs clearly from the background.
    bool hasInk(const QImage& image, const QRect& area) const;
    QRect cellRect(int line, int column, int columns = 1) const;
    QPoint cellPoint(int line, int column) const;
};

void ReceivedTextViewTest::init() {
    view_ = std::make_unique<ReceivedTextView>();
    view_->resize(249, 569);
    view_->show();
    QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
    view_->setFocus();
}

bool ReceivedTextViewTest::hasInk(const QImage& image, const QRect& area) const {
    const QColor background = view_->palette().color(QPalette::Base);
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            const int difference = std::abs(pixel.red() - background.red()) +
                                   std::abs(pixel.green() - background.green()) +
                                   std::abs(pixel.blue() - background.blue());
            if (difference > 120)
                return true;
        }
    }
    return false;
}

// The viewport pixels of a run of columns on a visible line; the text starts
// 2 px from the left and 1 px from the top.
QRect ReceivedTextViewTest::cellRect(int line, int column, int columns) const {
    const QFontMetricsF metrics(view_->font());
    const qreal width = metrics.horizontalAdvance(QLatin1Char('0'));
    const int height = QFontMetrics(view_->font()).lineSpacing();
    const int left = static_cast<int>(std::ceil(2 + column * width));
    const int right = static_cast<int>(std::floor(2 + (column + columns) * width)) - 1;
    return QRect(QPoint(left, 1 + line * height), QPoint(right, (line + 1) * height));
}

QPoint ReceivedTextViewTest::cellPoint(int line, int column) const {
    // The left edge of the column, where a click puts the caret before it.
    const QRect cell = cellRect(line, column);
    return QPoint(cell.left(), cell.center().y());
}

void ReceivedTextViewTest::programmaticUpdateShowsBeginning_data() {
    QTest::addColumn<QString>("update");
    QTest::newRow("setText") << "setText";
    QTest::newRow("appendBytes") << "appendBytes";
    QTest::newRow("clear") << "clear";
}

void ReceivedTextViewTest::programmaticUpdateShowsBeginning() {
    QFETCH(QString, update);
    view_->setText(WideText());
    QTest::keyClick(view_.get(), Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(view_->verticalScrollBar()->value() > 0);
    QTest::keyClick(view_.get(), Qt::Key_Up);
    QTest::keyClick(view_.get(), Qt::Key_End);
    QVERIFY(view_->horizontalScrollBar()->value() > 0);

    if (update == "setText")
        view_->setText(WideText());
    else if (update == "appendBytes")
        view_->appendBytes("tail");
    else
        view_->clear();

    QCOMPARE(view_->verticalScrollBar()->value(), 0);
    QCOMPARE(view_->horizontalScrollBar()->value(), 0);
    QCOMPARE(view_->model().caret(), std::size_t(0));
    QVERIFY(!view_->model().hasSelection());
}

void ReceivedTextViewTest::emptyAppendLeavesUserWhereTheyAre() {
    view_->setText(WideText());
    QTest::keyClick(view_.get(), Qt::Key_End, Qt::ControlModifier);
    const int scrolled = view_->verticalScrollBar()->value();
    const std::size_t caret = view_->model().caret();
    QVERIFY(scrolled > 0);

    view_->appendBytes("");
    view_->appendBytes(std::string_view("\0\0", 2)); // NULs alone: nothing arrived

    QCOMPARE(view_->verticalScrollBar()->value(), scrolled);
    QCOMPARE(view_->model().caret(), caret);
    QCOMPARE(view_->text(), WideText());
}

void ReceivedTextViewTest::typingInsertsWindows1252Bytes() {
    QSignalSpy edited(view_.get(), &ReceivedTextView::textEdited);
    QTest::keyClicks(view_.get(), QStringLiteral("Gr"));
    TypeCharacters(view_.get(), QString::fromUtf8("üße €"));
    QTest::keyClicks(view_.get(), QString::fromUtf8("!"));
    QCOMPARE(Bytes(view_->text()), QByteArray("Gr\xFC\xDF"
                                              "e \x80!"));
    QCOMPARE(edited.count(), 8);

    // A character Windows-1252 lacks becomes '?', as in an 8-bit text box.
    TypeCharacters(view_.get(), QString(QChar(0x263A)));
    QCOMPARE(Bytes(view_->text()).right(1), QByteArray("?"));

    // Ctrl+letter is a command, never text; moving the caret is no edit.
    edited.clear();
    QTest::keyClick(view_.get(), Qt::Key_B, Qt::ControlModifier);
    QTest::keyClick(view_.get(), Qt::Key_Left);
    QCOMPARE(Bytes(view_->text()), QByteArray("Gr\xFC\xDF"
                                              "e \x80!?"));
    QCOMPARE(edited.count(), 0);
}

void ReceivedTextViewTest::enterInsertsCrLf() {
    view_->setText("ab");
    QTest::keyClick(view_.get(), Qt::Key_Right);
    QTest::keyClick(view_.get(), Qt::Key_Return);
    QTest::keyClick(view_.get(), Qt::Key_X);
    QCOMPARE(Bytes(view_->text()), QByteArray("a\r\nxb"));
    QCOMPARE(view_->model().lineCount(), std::size_t(2));
}

void ReceivedTextViewTest::backspaceTakesCrLfAsOneStep() {
    view_->setText("ab\r\ncd");
    QSignalSpy edited(view_.get(), &ReceivedTextView::textEdited);
    QTest::keyClick(view_.get(), Qt::Key_Down);
    QTest::keyClick(view_.get(), Qt::Key_Backspace);
    QCOMPARE(Bytes(view_->text()), QByteArray("abcd"));
    QCOMPARE(view_->model().lineCount(), std::size_t(1));
    QCOMPARE(edited.count(), 1);

    // Backspace at the very beginning changes nothing and reports nothing.
    QTest::keyClick(view_.get(), Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(view_.get(), Qt::Key_Backspace);
    QCOMPARE(Bytes(view_->text()), QByteArray("abcd"));
    QCOMPARE(edited.count(), 1);
}

void ReceivedTextViewTest::selectionAndDelete_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<QKeyCombination>>("keys");
    QTest::addColumn<QByteArray>("expected");

    const Qt::KeyboardModifier shift = Qt::ShiftModifier;
    QTest::newRow("shift+right five")
        << QByteArray("hello world")
        << QList<QKeyCombination>{shift | Qt::Key_Right, shift | Qt::Key_Right,
                                  shift | Qt::Key_Right, shift | Qt::Key_Right,
                                  shift | Qt::Key_Right, QKeyCombination(Qt::Key_Delete)}
        << QByteArray(" world");
    QTest::newRow("shift+end then backspace")
        << QByteArray("one\r\ntwo")
        << QList<QKeyCombination>{QKeyCombination(Qt::Key_Right), shift | Qt::Key_End,
                                  QKeyCombination(Qt::Key_Backspace)}
        << QByteArray("o\r\ntwo");
    QTest::newRow("shift+down across a line break")
        << QByteArray("one\r\ntwo")
        << QList<QKeyCombination>{QKeyCombination(Qt::Key_Right), shift | Qt::Key_Down,
                                  QKeyCombination(Qt::Key_Delete)}
        << QByteArray("owo");
    QTest::newRow("ctrl+shift+end from the middle")
        << QByteArray("one\r\ntwo\r\nthree")
        << QList<QKeyCombination>{QKeyCombination(Qt::Key_Down),
                                  Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_End,
                                  QKeyCombination(Qt::Key_Delete)}
        << QByteArray("one\r\n");
    QTest::newRow("ctrl+a then typing replaces all")
        << QByteArray("one\r\ntwo")
        << QList<QKeyCombination>{Qt::ControlModifier | Qt::Key_A, QKeyCombination(Qt::Key_Z)}
        << QByteArray("z");
    QTest::newRow("shift+left back over CR LF")
        << QByteArray("ab\r\ncd")
        << QList<QKeyCombination>{QKeyCombination(Qt::Key_Down), shift | Qt::Key_Left,
                                  QKeyCombination(Qt::Key_Delete)}
        << QByteArray("abcd");
}

void ReceivedTextViewTest::selectionAndDelete() {
    QFETCH(QByteArray, text);
    QFETCH(QList<QKeyCombination>, keys);
    QFETCH(QByteArray, expected);

    view_->setText(text.toStdString());
    for (QKeyCombination key : keys)
        QTest::keyClick(view_.get(), key.key(), key.keyboardModifiers());
    QCOMPARE(Bytes(view_->text()), expected);
}

void ReceivedTextViewTest::pasteMapsToBytesAndStopsAtNul_data() {
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("umlauts and euro") << QString::fromUtf8("Grüße\r\n€")
                                      << QByteArray("<Gr\xFC\xDF"
                                                    "e\r\n\x80>");
    QTest::newRow("stops at NUL") << QString::fromUtf8("ab\0cd", 5) << QByteArray("<ab>");
    QTest::newRow("empty clipboard") << QString() << QByteArray("<>");
}

void ReceivedTextViewTest::pasteMapsToBytesAndStopsAtNul() {
    QFETCH(QString, clipboard);
    QFETCH(QByteArray, expected);

    QGuiApplication::clipboard()->setText(clipboard);
    view_->setText("<>");
    QTest::keyClick(view_.get(), Qt::Key_Right);
    QTest::keyClick(view_.get(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(Bytes(view_->text()), expected);
}

void ReceivedTextViewTest::copyGivesWindows1252Characters() {
    view_->setText("x\xE4\x80\x9F\r\ny");
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(view_.get(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view_.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8("xä€Ÿ\r\ny"));
    // Copying leaves the text alone.
    QCOMPARE(Bytes(view_->text()), QByteArray("x\xE4\x80\x9F\r\ny"));
}

void ReceivedTextViewTest::cutRemovesSelection() {
    view_->setText("abc\xE4");
    QSignalSpy edited(view_.get(), &ReceivedTextView::textEdited);
    QTest::keyClick(view_.get(), Qt::Key_Right);
    QTest::keyClick(view_.get(), Qt::Key_End, Qt::ShiftModifier);
    QTest::keyClick(view_.get(), Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8("bcä"));
    QCOMPARE(Bytes(view_->text()), QByteArray("a"));
    QCOMPARE(edited.count(), 1);
}

void ReceivedTextViewTest::mouseClickAndDragSelect() {
    view_->setText("first line\r\nsecond line\r\nthird");
    QWidget* viewport = view_->viewport();

    QTest::mouseClick(viewport, Qt::LeftButton, {}, cellPoint(1, 3));
    QCOMPARE(view_->model().caret(), std::size_t(12 + 3));

    // Press on line 0 column 6, drag to line 2 column 2.
    QTest::mousePress(viewport, Qt::LeftButton, {}, cellPoint(0, 6));
    QMouseEvent move(QEvent::MouseMove, QPointF(cellPoint(2, 2)),
                     viewport->mapToGlobal(QPointF(cellPoint(2, 2))), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, cellPoint(2, 2));
    QCOMPARE(QByteArray(view_->model().selectedBytes().data(),
                        static_cast<qsizetype>(view_->model().selectedBytes().size())),
             QByteArray("line\r\nsecond line\r\nth"));

    // A click past the end of a line puts the caret at its end.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, cellPoint(0, 40));
    QCOMPARE(view_->model().caret(), std::size_t(10));

    // Shift+click stretches the selection from the caret.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::ShiftModifier, cellPoint(1, 0));
    QCOMPARE(view_->model().selectionStart(), std::size_t(10));
    QCOMPARE(view_->model().selectionEnd(), std::size_t(12));

    QTest::mouseDClick(viewport, Qt::LeftButton, {}, cellPoint(1, 2));
    QCOMPARE(QByteArray(view_->model().selectedBytes().data(),
                        static_cast<qsizetype>(view_->model().selectedBytes().size())),
             QByteArray("second"));
}

void ReceivedTextViewTest::scrollRangesFollowText() {
    view_->setText("short");
    QCOMPARE(view_->verticalScrollBar()->maximum(), 0);
    QCOMPARE(view_->horizontalScrollBar()->maximum(), 0);

    // Appending to one long line widens the horizontal range chunk by chunk.
    for (int i = 0; i < 100; ++i)
        view_->appendBytes("0123456789");
    const int columns = view_->horizontalScrollBar()->pageStep();
    QCOMPARE(view_->horizontalScrollBar()->maximum(), 1005 + 1 - columns);
    QCOMPARE(view_->verticalScrollBar()->maximum(), 0);

    view_->appendBytes("\r\n" + std::string(300, '\n'));
    const int lines = view_->verticalScrollBar()->pageStep();
    QCOMPARE(view_->verticalScrollBar()->maximum(), 302 - lines);
    QVERIFY(lines > 10);
}

void ReceivedTextViewTest::rendersFirstLineFromBeginning() {
    // A megabyte on one line, then a blank line, then a short one.
    std::string text = "MMMM" + std::string(1'000'000, 'W') + "\r\n\r\nMM";
    view_->setText(text);
    QTest::keyClick(view_.get(), Qt::Key_End, Qt::ControlModifier);
    view_->appendBytes("W");
    QCOMPARE(view_->horizontalScrollBar()->value(), 0);
    QCOMPARE(view_->verticalScrollBar()->value(), 0);

    const QImage image = grabViewport();
    QVERIFY(hasInk(image, cellRect(0, 0, 4)));
    QVERIFY(!hasInk(image, cellRect(1, 0, 20)));
    QVERIFY(hasInk(image, cellRect(2, 0, 2)));
    QVERIFY(!hasInk(image, cellRect(2, 3, 10)));
}

void ReceivedTextViewTest::rendersOnlyVisibleColumns() {
    view_->setText("M" + std::string(500, ' ') + "M");
    QVERIFY(hasInk(grabViewport(), cellRect(0, 0)));

    // Scrolled one column on, the first M has gone and only blanks show.
    view_->horizontalScrollBar()->setValue(1);
    QImage image = grabViewport();
    QVERIFY(!hasInk(image, cellRect(0, 0, 20)));

    // Scrolled to the end, the last M shows at its column, with room for the
    // caret after it.
    QScrollBar* horizontal = view_->horizontalScrollBar();
    horizontal->setValue(horizontal->maximum());
    const int column = 501 - horizontal->value();
    QCOMPARE(column, horizontal->pageStep() - 2);
    image = grabViewport();
    QVERIFY(hasInk(image, cellRect(0, column)));
    QVERIFY(!hasInk(image, cellRect(0, 0, column)));
}

void ReceivedTextViewTest::controlCharactersTakeOneColumn() {
    // Tabs and other controls hold one column each and never push the text on.
    view_->setText("\t\x01\x7F\x81M" + std::string(20, ' ') + "\r\nM");
    const QImage image = grabViewport();
    QVERIFY(hasInk(image, cellRect(0, 4)));
    QVERIFY(!hasInk(image, cellRect(0, 5, 15)));
    QVERIFY(hasInk(image, cellRect(1, 0)));
}

QTEST_MAIN(ReceivedTextViewTest)
#include "test_received_text_view.moc"
