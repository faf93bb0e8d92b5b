// What one poll costs the received-text box: appending 28 bytes and repainting
// at once, with the text on one line of 10 KB up to 4 MB. Beside it,
// QPlainTextEdit doing the same job (the whole text set again, or 28 bytes
// inserted at the end) at 100 KB and 1 MB, which is why the box is not one.
//
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "capture/hex_capture.h"
#include "windows/received_text_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

// A picture stream as the board sends it: hex pairs, each followed by a space.
std::string HexLine(std::size_t bytes) {
    std::string values(bytes / 3 + 1, '\0');
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<char>((i * 7) % 16 << 4 | (i * 13) % 16);
    std::string text = EncodeHexPairs(values);
    text.resize(bytes);
    return text;
}

const std::string kChunk = HexLine(28);

struct Figures {
    double median;
    double p95;
    double worst;
};

Figures Measure(int rounds, const std::function<void()>& step) {
    std::vector<double> millis;
    millis.reserve(static_cast<std::size_t>(rounds));
    QElapsedTimer timer;
    for (int i = 0; i < rounds; ++i) {
        timer.start();
        step();
        millis.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(millis.begin(), millis.end());
    return {millis[millis.size() / 2], millis[millis.size() * 95 / 100], millis.back()};
}

void Print(const char* what, std::size_t size, int rounds, Figures figures) {
    std::printf("%-44s %6zu KB  median %8.3f ms  p95 %8.3f ms  worst %8.3f ms  (%d rounds)\n", what,
                size / 1000, figures.median, figures.p95, figures.worst, rounds);
    std::fflush(stdout);
}

void BenchReceivedTextView() {
    ReceivedTextView view;
    view.resize(249, 569);
    view.show();
    QApplication::processEvents();

    for (std::size_t size : {10'000u, 100'000u, 1'000'000u, 4'000'000u}) {
        view.setText(HexLine(size));
        view.repaint();
        const int rounds = 200;
        const Figures figures = Measure(rounds, [&] {
            view.appendBytes(kChunk);
            view.repaint();
        });
        Print("ReceivedTextView appendBytes(28) + repaint", size, rounds, figures);
    }
    // The share of the above that is painting alone.
    const Figures paintOnly = Measure(200, [&] { view.repaint(); });
    Print("ReceivedTextView repaint alone", view.text().size(), 200, paintOnly);
}

void BenchPlainTextEdit() {
    QPlainTextEdit edit;
    edit.setLineWrapMode(QPlainTextEdit::NoWrap);
    edit.setFont(QFont(QStringLiteral("monospace")));
    edit.resize(249, 569);
    edit.show();
    QApplication::processEvents();

    for (std::size_t size : {100'000u, 1'000'000u}) {
        const int rounds = size > 100'000 ? 5 : 20;

        QString text = QString::fromLatin1(HexLine(size));
        edit.setPlainText(text);
        edit.repaint();
        const Figures whole = Measure(rounds, [&] {
            text += QString::fromLatin1(kChunk);
            edit.setPlainText(text);
            edit.verticalScrollBar()->setValue(0);
            edit.repaint();
        });
        Print("QPlainTextEdit setPlainText(whole) + repaint", size, rounds, whole);

        edit.setPlainText(QString::fromLatin1(HexLine(size)));
        edit.repaint();
        const Figures atEnd = Measure(rounds, [&] {
            QTextCursor cursor(edit.document());
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(QString::fromLatin1(kChunk));
            edit.repaint();
        });
        Print("QPlainTextEdit insert at end + repaint", size, rounds, atEnd);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    BenchReceivedTextView();
    BenchPlainTextEdit();
    return 0;
}
