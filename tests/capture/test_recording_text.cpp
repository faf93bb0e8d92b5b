// How a recording's text is loaded (NUL ends it, line breaks become CR LF)
// and how its JPEG file is named.
#include "capture/recording_text.h"

#include <QtTest>

#include <string>

namespace {

template <std::size_t N> QByteArray Text(const char (&literal)[N]) {
    return QByteArray(literal, static_cast<qsizetype>(N - 1));
}

} // namespace

class TestRecordingText : public QObject {
    Q_OBJECT

private slots:
    void normalise_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("no line breaks") << Text("CAM_B FF D8 ") << Text("CAM_B FF D8 ");
        QTest::newRow("CR LF stays") << Text("AT\r\nOK\r\n") << Text("AT\r\nOK\r\n");
        QTest::newRow("LF alone") << Text("AT\nOK\n") << Text("AT\r\nOK\r\n");
        QTest::newRow("CR alone") << Text("AT\rOK\r") << Text("AT\r\nOK\r\n");
        QTest::newRow("LF CR is two breaks") << Text("a\n\rb") << Text("a\r\n\r\nb");
        QTest::newRow("CR CR LF") << Text("AT\r\r\nOK") << Text("AT\r\n\r\nOK");
        QTest::newRow("break first and last") << Text("\nx\r") << Text("\r\nx\r\n");
        QTest::newRow("only breaks") << Text("\r\n\n\r\r") << Text("\r\n\r\n\r\n\r\n");
        QTest::newRow("ends at NUL") << Text("CAM_B\r\nFF\0 D8 ") << Text("CAM_B\r\nFF");
        QTest::newRow("NUL first") << Text("\0AT\n") << QByteArray();
        QTest::newRow("break before NUL widened, after it dropped")
            << Text("A\nB\0\nC") << Text("A\r\nB");
        QTest::newRow("CR before NUL is alone") << Text("A\r\0\n") << Text("A\r\n");
        QTest::newRow("other bytes untouched")
            << Text("\xff\x85\x0b\x0c") << Text("\xff\x85\x0b\x0c");
    }

    void normalise() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        std::string bytes = text.toStdString();
        NormaliseRecordingText(bytes);
        QCOMPARE(QByteArray::fromStdString(bytes), expected);
    }

    // The common case must not take a second buffer of the text's size.
    void unchangedTextKeepsItsBuffer() {
        std::string text;
        for (int i = 0; i < 10000; ++i)
            text += "FF D8 \r\n";
        const std::string before = text;
        const char* buffer = text.data();
        NormaliseRecordingText(text);
        QVERIFY(text.data() == buffer);
        QVERIFY(text == before);
    }

    void longMixedText() {
        std::string text;
        std::string expected;
        for (int i = 0; i < 20000; ++i) {
            static const char* const inputs[] = {"ab", "\n", "\r", "\r\n", "\n\r"};
            static const char* const outputs[] = {"ab", "\r\n", "\r\n", "\r\n", "\r\n\r\n"};
            const int piece = (i * 7 + i / 3) % 5;
            text += inputs[piece];
            expected += outputs[piece];
            // Keeps a lone CR from meeting the next piece's LF.
            text += 'x';
            expected += 'x';
        }
        NormaliseRecordingText(text);
        QVERIFY(text == expected);
    }

    // Widened part by part, the text comes out as widened whole, whatever
    // breaks fall on the seams (a CR LF pair cut in two, a CR at the end).
    void widensInPartsAsWhole_data() {
        QTest::addColumn<int>("partLength");
        QTest::newRow("one character") << 1;
        QTest::newRow("two characters") << 2;
        QTest::newRow("odd length") << 7;
        QTest::newRow("beyond the counting blocks") << 300;
    }

    void widensInPartsAsWhole() {
        QFETCH(int, partLength);
        std::string text;
        for (int i = 0; i < 3000; ++i) {
            static const char* const pieces[] = {"ab", "\n", "\r", "\r\n", "\n\r", "x"};
            text += pieces[(i * 7 + i / 3) % 6];
        }
        text += '\r';
        std::string whole = text;
        NormaliseRecordingText(whole);

        LineBreakWidener widener;
        std::string parts;
        for (std::size_t at = 0; at < text.size(); at += static_cast<std::size_t>(partLength))
            parts += widener.widen(std::string_view(text).substr(at, partLength));
        parts += widener.finish();
        QVERIFY(parts == whole);
    }

    void replaceExtension_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("extension") << "rec.txt"
                                   << "rec.jpg";
        QTest::newRow("dotted directory") << "dir.d/rec.txt"
                                          << "dir.d/rec.jpg";
        QTest::newRow("no extension") << "rec"
                                      << "rec.jpg";
        QTest::newRow("no extension, dotted directory") << "dir.d/rec"
                                                        << "dir.d/rec.jpg";
        QTest::newRow("hidden file") << ".hidden"
                                     << ".hidden.jpg";
        QTest::newRow("hidden file in a directory") << "a/.hidden"
                                                    << "a/.hidden.jpg";
        QTest::newRow("hidden file with extension") << ".hidden.txt"
                                                    << ".hidden.jpg";
        QTest::newRow("last extension only") << "rec.2024.txt"
                                             << "rec.2024.jpg";
        QTest::newRow("already jpg") << "bild.jpg"
                                     << "bild.jpg";
        QTest::newRow("absolute") << "/tmp/x/mitschnitt.log"
                                  << "/tmp/x/mitschnitt.jpg";
    }

    void replaceExtension() {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(ReplaceExtensionWithJpg(path.toStdString())), expected);
    }

    void jpgNameInDirectory_data() {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("recording");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "out"
                               << "rec.txt"
                               << "out/rec.jpg";
        QTest::newRow("recording in a directory") << "out"
                                                  << "in.d/rec.txt"
                                                  << "out/rec.jpg";
        QTest::newRow("directory with slash") << "/tmp/out/"
                                              << "rec"
                                              << "/tmp/out/rec.jpg";
        QTest::newRow("root") << "/"
                              << "/a/rec.txt"
                              << "/rec.jpg";
        QTest::newRow("empty directory") << ""
                                         << "a/rec.txt"
                                         << "rec.jpg";
        QTest::newRow("hidden recording") << "out"
                                          << "a/.rec"
                                          << "out/.rec.jpg";
    }

    void jpgNameInDirectory() {
        QFETCH(QString, dir);
        QFETCH(QString, recording);
        QFETCH(QString, expected);
        QCOMPARE(
            QString::fromStdString(JpgNameInDirectory(dir.toStdString(), recording.toStdString())),
            expected);
    }
};

QTEST_APPLESS_MAIN(TestRecordingText)
#include "test_recording_text.moc"
