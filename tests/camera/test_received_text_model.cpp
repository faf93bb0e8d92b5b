// The received text's editing model: appends keep every byte and the line
// index right, edits re-index correctly, and the caret moves as in a text box;
// a received text without a box takes the line's chunks by the same rule, and
// every byte is a character of its own.
#include "camera/received_text_model.h"

#include "camera/received_text.h"
#include "camera/windows1252.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QTest>

namespace {

using Move = ReceivedTextModel::Move;

std::string_view View(const QByteArray& bytes) {
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QByteArray Bytes(std::string_view bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The lines as the model's index cuts them.
QList<QByteArray> IndexedLines(const ReceivedTextModel& model) {
    QList<QByteArray> lines;
    for (std::size_t line = 0; line < model.lineCount(); ++line)
        lines << Bytes(
            std::string_view(model.text()).substr(model.lineStart(line), model.lineLength(line)));
    return lines;
}

// An independent reading of the line rules: CR LF, lone CR and lone LF each
// end a line.
QList<QByteArray> ReferenceLines(const QByteArray& text) {
    QList<QByteArray> lines;
    QByteArray current;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines << current;
            current.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            current += c;
        }
    }
    lines << current;
    return lines;
}

std::size_t LongestOf(const QList<QByteArray>& lines) {
    std::size_t longest = 0;
    for (const QByteArray& line : lines)
        longest = std::max(longest, static_cast<std::size_t>(line.size()));
    return longest;
}

void VerifyIndexMatchesText(const ReceivedTextModel& model) {
    const QList<QByteArray> expected = ReferenceLines(Bytes(model.text()));
    QCOMPARE(IndexedLines(model), expected);
    QCOMPARE(model.longestLineLength(), LongestOf(expected));
}

} // namespace

class ReceivedTextModelTest : public QObject {
    Q_OBJECT

private slots:
    void appendKeepsBytesAndIndex_data();
    void appendKeepsBytesAndIndex();
    void appendPutsCaretAtBeginning();
    void setTextCutsAtNul();
    void edits_data();
    void edits();
    void moves_data();
    void moves();
    void caretNeverInsideCrLf();
    void everyByteIsItsOwnCharacter();
};

void ReceivedTextModelTest::appendKeepsBytesAndIndex_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<QByteArray>>("lines");

    QTest::newRow("CR LF in one chunk")
        << QList<QByteArray>{"ab\r\ncd"} << QByteArray("ab\r\ncd") << QList<QByteArray>{"ab", "cd"};
    QTest::newRow("CR LF split across two appends")
        << QList<QByteArray>{"ab\r", "\ncd"} << QByteArray("ab\r\ncd")
        << QList<QByteArray>{"ab", "cd"};
    QTest::newRow("CR LF split, then more lines")
        << QList<QByteArray>{"ab\r", "\n\r", "\nx\ny"} << QByteArray("ab\r\n\r\nx\ny")
        << QList<QByteArray>{"ab", "", "x", "y"};
    QTest::newRow("byte by byte") << QList<QByteArray>{"x", "\r", "\n", "y", "\r"}
                                  << QByteArray("x\r\ny\r") << QList<QByteArray>{"x", "y", ""};
    QTest::newRow("lone CR") << QList<QByteArray>{"a\rb"} << QByteArray("a\rb")
                             << QList<QByteArray>{"a", "b"};
    QTest::newRow("lone CR at chunk end, text follows")
        << QList<QByteArray>{"a\r", "b"} << QByteArray("a\rb") << QList<QByteArray>{"a", "b"};
    QTest::newRow("two CRs then LF") << QList<QByteArray>{"a\r", "\r\n"} << QByteArray("a\r\r\n")
                                     << QList<QByteArray>{"a", "", ""};
    QTest::newRow("lone LF") << QList<QByteArray>{"a\nb"} << QByteArray("a\nb")
                             << QList<QByteArray>{"a", "b"};
    QTest::newRow("LF CR is two breaks") << QList<QByteArray>{"a\n", "\rb"} << QByteArray("a\n\rb")
                                         << QList<QByteArray>{"a", "", "b"};
    QTest::newRow("empty chunk changes nothing")
        << QList<QByteArray>{"ab\r", "", "\ncd", ""} << QByteArray("ab\r\ncd")
        << QList<QByteArray>{"ab", "cd"};
    QTest::newRow("NUL dropped alone") << QList<QByteArray>{QByteArray("ab\0c\0\0d", 7), "ef"}
                                       << QByteArray("abcdef") << QList<QByteArray>{"abcdef"};
    QTest::newRow("chunk starting with NUL keeps the rest")
        << QList<QByteArray>{"ab", QByteArray("\0\r\n", 3)} << QByteArray("ab\r\n")
        << QList<QByteArray>{"ab", ""};
    QTest::newRow("NUL between CR and LF") << QList<QByteArray>{QByteArray("a\r\0\nb", 5)}
                                           << QByteArray("a\r\nb") << QList<QByteArray>{"a", "b"};
    QTest::newRow("only NULs add nothing") << QList<QByteArray>{"ab", QByteArray(3, '\0')}
                                           << QByteArray("ab") << QList<QByteArray>{"ab"};
    QTest::newRow("long line grows over chunks")
        << QList<QByteArray>{"abc\r\n", "de", "fgh", "\r\ni"} << QByteArray("abc\r\ndefgh\r\ni")
        << QList<QByteArray>{"abc", "defgh", "i"};
    QTest::newRow("high bytes are ordinary characters")
        << QList<QByteArray>{"\xE4\x80\xFF", "\x85\r\n"} << QByteArray("\xE4\x80\xFF\x85\r\n")
        << QList<QByteArray>{"\xE4\x80\xFF\x85", ""};
}

void ReceivedTextModelTest::appendKeepsBytesAndIndex() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, text);
    QFETCH(QList<QByteArray>, lines);

    ReceivedTextModel model;
    PlainReceivedText plain;
    for (const QByteArray& chunk : chunks) {
        model.append(View(chunk));
        plain.append(View(chunk));
    }

    QCOMPARE(Bytes(model.text()), text);
    QCOMPARE(Bytes(plain.text()), text);
    QCOMPARE(IndexedLines(model), lines);
    QCOMPARE(model.longestLineLength(), LongestOf(lines));

    // The same text given whole indexes the same way.
    ReceivedTextModel whole;
    whole.setText(text.toStdString());
    QCOMPARE(IndexedLines(whole), lines);
    QCOMPARE(whole.longestLineLength(), LongestOf(lines));
}

void ReceivedTextModelTest::appendPutsCaretAtBeginning() {
    ReceivedTextModel model;
    model.setText("one\r\ntwo");
    model.setCaret(5);
    model.setCaret(8, true);
    QVERIFY(model.hasSelection());

    model.append("x");
    QCOMPARE(model.caret(), std::size_t(0));
    QVERIFY(!model.hasSelection());
}

void ReceivedTextModelTest::setTextCutsAtNul() {
    ReceivedTextModel model;
    model.setText(std::string("a\r\nb\0c\r\nd", 9));
    QCOMPARE(Bytes(model.text()), QByteArray("a\r\nb"));
    QCOMPARE(model.lineCount(), std::size_t(2));
}

void ReceivedTextModelTest::edits_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<int>("caret");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QByteArray>("argument");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("expectedCaret");
    QTest::addColumn<bool>("changed");

    QTest::newRow("backspace takes CR LF as one step")
        << QByteArray("ab\r\ncd") << 4 << 4 << "backspace" << QByteArray() << QByteArray("abcd")
        << 2 << true;
    QTest::newRow("delete takes CR LF as one step")
        << QByteArray("ab\r\ncd") << 2 << 2 << "delete" << QByteArray() << QByteArray("abcd") << 2
        << true;
    QTest::newRow("backspace after lone CR") << QByteArray("a\rb") << 2 << 2 << "backspace"
                                             << QByteArray() << QByteArray("ab") << 1 << true;
    QTest::newRow("backspace at start does nothing")
        << QByteArray("ab") << 0 << 0 << "backspace" << QByteArray() << QByteArray("ab") << 0
        << false;
    QTest::newRow("delete at end does nothing")
        << QByteArray("ab") << 2 << 2 << "delete" << QByteArray() << QByteArray("ab") << 2 << false;
    QTest::newRow("removing a line between CR and LF joins them into one break")
        << QByteArray("a\rX\nb") << 3 << 3 << "backspace" << QByteArray() << QByteArray("a\r\nb")
        << 1 << true;
    QTest::newRow("selection across lines, delete")
        << QByteArray("one\r\ntwo\r\nthree") << 2 << 10 << "delete" << QByteArray()
        << QByteArray("onthree") << 2 << true;
    QTest::newRow("selection backwards, backspace")
        << QByteArray("one\r\ntwo\r\nthree") << 10 << 2 << "backspace" << QByteArray()
        << QByteArray("onthree") << 2 << true;
    QTest::newRow("insert replaces the selection")
        << QByteArray("hello world") << 0 << 5 << "insert" << QByteArray("bye\r\n")
        << QByteArray("bye\r\n world") << 5 << true;
    QTest::newRow("insert LF after lone CR makes one break")
        << QByteArray("a\rb") << 2 << 2 << "insert" << QByteArray("\n") << QByteArray("a\r\nb") << 3
        << true;
    QTest::newRow("insert stops at NUL") << QByteArray("ab") << 1 << 1 << "insert"
                                         << QByteArray("x\0y", 3) << QByteArray("axb") << 2 << true;
    QTest::newRow("insert of nothing without selection changes nothing")
        << QByteArray("ab") << 1 << 1 << "insert" << QByteArray() << QByteArray("ab") << 1 << false;
    QTest::newRow("deleting the longest line shrinks the widest width")
        << QByteArray("aaaaaaaa\r\nbb\r\nccc") << 0 << 10 << "delete" << QByteArray()
        << QByteArray("bb\r\nccc") << 0 << true;
    QTest::newRow("typing at the end of a line that ends in CR")
        << QByteArray("ab\r") << 3 << 3 << "insert" << QByteArray("\n") << QByteArray("ab\r\n") << 4
        << true;
}

void ReceivedTextModelTest::edits() {
    QFETCH(QByteArray, text);
    QFETCH(int, anchor);
    QFETCH(int, caret);
    QFETCH(QString, operation);
    QFETCH(QByteArray, argument);
    QFETCH(QByteArray, expected);
    QFETCH(int, expectedCaret);
    QFETCH(bool, changed);

    ReceivedTextModel model;
    model.setText(text.toStdString());
    model.setCaret(static_cast<std::size_t>(anchor));
    model.setCaret(static_cast<std::size_t>(caret), true);

    bool result = false;
    if (operation == "backspace")
        result = model.deleteBackward();
    else if (operation == "delete")
        result = model.deleteForward();
    else
        result = model.insert(View(argument));

    QCOMPARE(result, changed);
    QCOMPARE(Bytes(model.text()), expected);
    QCOMPARE(model.caret(), static_cast<std::size_t>(expectedCaret));
    QVERIFY(!model.hasSelection());
    VerifyIndexMatchesText(model);
}

void ReceivedTextModelTest::moves_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<QList<int>>("moves");
    QTest::addColumn<int>("pageLines");
    QTest::addColumn<QList<int>>("carets");

    auto m = [](Move move) { return static_cast<int>(move); };
    // line 0 "abcdef" 0..6, line 1 "x" 8..9, line 2 "abcdef" 11..17
    const QByteArray three("abcdef\r\nx\r\nabcdef");

    QTest::newRow("left steps over CR LF")
        << QByteArray("ab\r\ncd") << 4 << QList<int>{m(Move::Left), m(Move::Left)} << 1
        << QList<int>{2, 1};
    QTest::newRow("right steps over CR LF")
        << QByteArray("ab\r\ncd") << 2 << QList<int>{m(Move::Right), m(Move::Right)} << 1
        << QList<int>{4, 5};
    QTest::newRow("left and right stop at the ends")
        << QByteArray("ab") << 0 << QList<int>{m(Move::Left), m(Move::DocumentEnd), m(Move::Right)}
        << 1 << QList<int>{0, 2, 2};
    QTest::newRow("up and down keep the column across a short line")
        << three << 16 << QList<int>{m(Move::Up), m(Move::Up), m(Move::Down), m(Move::Down)} << 1
        << QList<int>{9, 5, 9, 16};
    QTest::newRow("down on the last line stays")
        << three << 13 << QList<int>{m(Move::Down)} << 1 << QList<int>{13};
    QTest::newRow("home and end") << three << 9 << QList<int>{m(Move::LineStart), m(Move::LineEnd)}
                                  << 1 << QList<int>{8, 9};
    QTest::newRow("end of a line before CR LF")
        << three << 2 << QList<int>{m(Move::LineEnd)} << 1 << QList<int>{6};
    QTest::newRow("document start and end")
        << three << 9 << QList<int>{m(Move::DocumentEnd), m(Move::DocumentStart)} << 1
        << QList<int>{17, 0};
    QTest::newRow("page down and up travel the page")
        << QByteArray("0\n1\n2\n3\n4\n5") << 0
        << QList<int>{m(Move::PageDown), m(Move::PageDown), m(Move::PageDown), m(Move::PageUp)} << 2
        << QList<int>{4, 8, 10, 6};
    QTest::newRow("word right and left")
        << QByteArray("ab cd\r\nef") << 0
        << QList<int>{m(Move::WordRight), m(Move::WordRight), m(Move::WordRight), m(Move::WordLeft),
                      m(Move::WordLeft)}
        << 1 << QList<int>{3, 5, 7, 5, 3};
}

void ReceivedTextModelTest::moves() {
    QFETCH(QByteArray, text);
    QFETCH(int, start);
    QFETCH(QList<int>, moves);
    QFETCH(int, pageLines);
    QFETCH(QList<int>, carets);

    ReceivedTextModel model;
    model.setText(text.toStdString());
    model.setCaret(static_cast<std::size_t>(start));
    for (qsizetype i = 0; i < moves.size(); ++i) {
        model.move(static_cast<Move>(moves[i]), false, static_cast<std::size_t>(pageLines));
        QCOMPARE(model.caret(), static_cast<std::size_t>(carets[i]));
        QVERIFY(!model.hasSelection());
    }
}

void ReceivedTextModelTest::caretNeverInsideCrLf() {
    ReceivedTextModel model;
    model.setText("ab\r\ncd");

    model.setCaret(3);
    QCOMPARE(model.caret(), std::size_t(2));

    // Selecting with Shift+arrows steps over the pair too.
    model.setCaret(2);
    model.move(Move::Right, true);
    QCOMPARE(model.caret(), std::size_t(4));
    QCOMPARE(model.anchor(), std::size_t(2));
    QCOMPARE(Bytes(model.selectedBytes()), QByteArray("\r\n"));

    // An arrow without Shift ends a selection at its edge.
    model.move(Move::Left, false);
    QCOMPARE(model.caret(), std::size_t(2));
    QVERIFY(!model.hasSelection());

    model.selectAll();
    QCOMPARE(Bytes(model.selectedBytes()), QByteArray("ab\r\ncd"));
}

void ReceivedTextModelTest::everyByteIsItsOwnCharacter() {
    // Offsets a screen reader is given are byte positions, and typed text
    // must come back as the bytes it showed: the mapping is one to one.
    QSet<char16_t> characters;
    for (int byte = 0; byte < 256; ++byte) {
        const char16_t character = Windows1252Character(static_cast<unsigned char>(byte));
        characters.insert(character);
        QCOMPARE(Windows1252Byte(character), byte);
    }
    QCOMPARE(characters.size(), 256);
    QCOMPARE(Windows1252Character(0x80), u'\u20AC');
    QCOMPARE(Windows1252Character(0x9F), u'\u0178');
    QCOMPARE(Windows1252Byte(u'\u20AC'), 0x80);
    QCOMPARE(Windows1252Byte(u'\u0100'), -1);
}

QTEST_APPLESS_MAIN(ReceivedTextModelTest)
#include "test_received_text_model.moc"
