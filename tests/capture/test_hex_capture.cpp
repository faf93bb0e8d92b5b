// The picture-stream decoder: the stream rules' edge cases, and agreement
// with the plain one-position-at-a-time scan over many generated texts.
#include "capture/hex_capture.h"
#include "reference_decoder.h"

#include <QtTest>

#include <memory>
#include <random>
#include <string>

namespace {

template <std::size_t N> QByteArray Text(const char (&literal)[N]) {
    return QByteArray(literal, static_cast<qsizetype>(N - 1));
}

// Printable form of a text for failure messages.
std::string Shown(std::string_view text) {
    std::string shown;
    for (const char c : text.substr(0, 400)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f) {
            shown += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            shown += escaped;
        }
    }
    if (text.size() > 400)
        shown += "...";
    return shown;
}

// Decodes from an allocation of exactly the text's size, so that a sanitized
// build catches any read past the end.
DecodedCapture DecodeExactCopy(std::string_view text) {
    std::unique_ptr<char[]> copy(new char[text.size()]);
    std::copy(text.begin(), text.end(), copy.get());
    return DecodeHexCapture(std::string_view(copy.get(), text.size()));
}

// Empty when both decoders agree, otherwise what differs.
std::string Disagreement(std::string_view text) {
    const DecodedCapture fast = DecodeExactCopy(text);
    const DecodedCapture plain = reference::DecodeHexCapture(text);
    if (fast.bytes == plain.bytes && fast.endSeen == plain.endSeen)
        return {};
    return "text (" + std::to_string(text.size()) + " chars): " + Shown(text) +
           "\nfast: " + Shown(fast.bytes) + (fast.endSeen ? " [end]" : "") +
           "\nplain: " + Shown(plain.bytes) + (plain.endSeen ? " [end]" : "");
}

// Texts drawn from the pieces that matter to the scan: pairs, spaces, line
// breaks, whole and partial markers, NULs and stray bytes.
class TextGenerator {
public:
    explicit TextGenerator(std::uint64_t seed) : random_(seed) {}

    std::string noisy(std::size_t length) {
        std::string text;
        while (text.size() < length)
            appendPiece(text, 40);
        text.resize(length);
        return text;
    }

    // Mostly clean "XX " triplets after a start marker, with the occasional
    // disturbance, so that long clean runs meet every kind of interruption.
    std::string mostlyClean(std::size_t length, int noisePercent) {
        std::string text = "AT\r\r\nOK\r\nCAM_B\r\n";
        text.erase(0, pick(text.size()));
        while (text.size() < length) {
            if (static_cast<int>(pick(100)) < noisePercent)
                appendPiece(text, 0);
            else
                appendPair(text, true);
        }
        text.resize(length);
        return text;
    }

private:
    std::size_t pick(std::size_t below) {
        return std::uniform_int_distribution<std::size_t>(0, below - 1)(random_);
    }

    void appendPair(std::string& text, bool upperOnly) {
        const HexDigitCase digitCase =
            upperOnly || pick(4) != 0 ? HexDigitCase::Upper : HexDigitCase::Lower;
        text += EncodeHexPairs(std::string(1, static_cast<char>(pick(256))), digitCase);
    }

    void appendPiece(std::string& text, int pairPercent) {
        if (static_cast<int>(pick(100)) < pairPercent) {
            appendPair(text, false);
            return;
        }
        static const char* const pieces[] = {"CAM_B", "CAM_E", "CAM_", "CAM", "CA",  "C",
                                             " ",     "  ",    "\r",   "\n",  "\r\n"};
        switch (pick(5)) {
        case 0:
        case 1:
            text += pieces[pick(std::size(pieces))];
            break;
        case 2:
            text += "0123456789ABCDEFabcdef"[pick(22)];
            break;
        case 3:
            text += '\0';
            break;
        default:
            text += static_cast<char>(pick(256));
            break;
        }
    }

    std::mt19937_64 random_;
};

} // namespace

class TestHexCapture : public QObject {
    Q_OBJECT

private slots:
    void edgeCases_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("endSeen");

        QTest::newRow("chatter, stream, end")
            << Text("xxCAM_B\r\nFF D8 FF D9 CAM_E") << QByteArray::fromHex("FFD8FFD9") << true;
        QTest::newRow("no end marker")
            << Text("CAM_B\r\nFF D8 ") << QByteArray::fromHex("FFD8") << false;
        QTest::newRow("empty picture") << Text("CAM_B\r\nCAM_E") << QByteArray() << true;
        QTest::newRow("lower case counts as 0")
            << Text("CAM_B\r\nff d8 ") << QByteArray::fromHex("0008") << false;
        QTest::newRow("pair before a line break is not taken")
            << Text("CAM_B\r\nFF\r\nD8 ") << QByteArray::fromHex("D8") << false;
        QTest::newRow("one character after the start marker")
            << Text("CAM_B\r") << QByteArray() << false;
        QTest::newRow("start marker at the very end") << Text("xxCAM_B") << QByteArray() << false;
        QTest::newRow("one character after the skip")
            << Text("CAM_B\r\n1") << QByteArray() << false;
        QTest::newRow("pair without its space at the end")
            << Text("CAM_B\r\n12") << QByteArray() << false;
        QTest::newRow("last pair ends the text")
            << Text("CAM_B\r\n12 ") << QByteArray::fromHex("12") << false;
        QTest::newRow("no start marker") << Text("FF D8 FF D9 CAM_E FF ") << QByteArray() << false;
        QTest::newRow("partial start marker") << Text("CAM_ FF D8 ") << QByteArray() << false;
        QTest::newRow("lower-case start marker") << Text("cam_b\r\nFF ") << QByteArray() << false;
        QTest::newRow("empty text") << QByteArray() << QByteArray() << false;
        QTest::newRow("start marker where the skip lands")
            << Text("CAM_B\r\nCAM_B\r\nFF ") << QByteArray::fromHex("FF") << false;
        QTest::newRow("end marker where the skip lands")
            << Text("CAM_B\r\nCAM_E") << QByteArray() << true;
        QTest::newRow("skip takes any two characters")
            << Text("CAM_BAB12 ") << QByteArray::fromHex("12") << false;
        QTest::newRow("two spaces make a pair of the space")
            << Text("CAM_B\r\nAB  CD ") << QByteArray::fromHex("ABB0CD") << false;
        QTest::newRow("spaces only")
            << Text("CAM_B\r\n     ") << QByteArray::fromHex("000000") << false;
        QTest::newRow("end marker before the start marker is text")
            << Text("CAM_E\r\nCAM_B\r\n12 CAM_E") << QByteArray::fromHex("12") << true;
        QTest::newRow("two pictures: the first counts")
            << Text("CAM_B\r\n12 CAM_E\r\nCAM_B\r\n34 CAM_E") << QByteArray::fromHex("12") << true;
        QTest::newRow("second start marker keeps the bytes")
            << Text("CAM_B\r\n12 CAM_B\r\n34 CAM_E") << QByteArray::fromHex("1234") << true;
        QTest::newRow("partial end marker at the end")
            << Text("CAM_B\r\n12 CAM_") << QByteArray::fromHex("12") << false;
        QTest::newRow("NUL and high bytes count as 0")
            << Text("CAM_B\r\n1\0 \xff\xfe ") << QByteArray::fromHex("1000") << false;
        QTest::newRow("all digits")
            << Text("CAM_B\r\n01 23 45 67 89 AB CD EF FE DC BA 98 76 54 32 10 CAM_E")
            << QByteArray::fromHex("0123456789ABCDEFFEDCBA9876543210") << true;
    }

    // Both decoders, so that the plain scan is known right before it is used
    // as the measure of the fast one.
    void edgeCases() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, endSeen);
        const std::string_view view(text.constData(), static_cast<std::size_t>(text.size()));
        const std::string expected(bytes.constData(), static_cast<std::size_t>(bytes.size()));

        const DecodedCapture fast = DecodeExactCopy(view);
        QCOMPARE(QByteArray::fromStdString(fast.bytes).toHex(' '), bytes.toHex(' '));
        QCOMPARE(fast.endSeen, endSeen);
        const DecodedCapture plain = reference::DecodeHexCapture(view);
        QCOMPARE(QByteArray::fromStdString(plain.bytes).toHex(' '), bytes.toHex(' '));
        QCOMPARE(plain.endSeen, endSeen);
    }

    void agreesWithPlainScanOnShortTexts() {
        TextGenerator generator(0x4d45524c4f4eULL);
        std::mt19937_64 lengths(7);
        for (int round = 0; round < 100000; ++round) {
            const std::string text =
                generator.noisy(std::uniform_int_distribution<std::size_t>(0, 300)(lengths));
            const std::string difference = Disagreement(text);
            QVERIFY2(difference.empty(),
                     ("round " + std::to_string(round) + "\n" + difference).c_str());
        }
    }

    // What the simulated board and the tests send: exact text, and (in upper
    // case) the decoder gets the same bytes back.
    void encoderWritesWhatTheDecoderReads_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("lower");
        QTest::addColumn<int>("pairsPerLine");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray() << false << 0 << QByteArray();
        QTest::newRow("every nibble")
            << QByteArray::fromHex("00FF4A9C") << false << 0 << QByteArray("00 FF 4A 9C ");
        QTest::newRow("lower case")
            << QByteArray::fromHex("ABCDEF") << true << 0 << QByteArray("ab cd ef ");
        QTest::newRow("wrapped, none after the last") << QByteArray::fromHex("0102030405") << false
                                                      << 2 << QByteArray("01 02 \r\n03 04 \r\n05 ");
        QTest::newRow("wrapped, full last line")
            << QByteArray::fromHex("01020304") << false << 2 << QByteArray("01 02 \r\n03 04 ");
    }
    void encoderWritesWhatTheDecoderReads() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, lower);
        QFETCH(int, pairsPerLine);
        QFETCH(QByteArray, text);
        const std::string encoded =
            EncodeHexPairs(bytes.toStdString(), lower ? HexDigitCase::Lower : HexDigitCase::Upper,
                           static_cast<std::size_t>(pairsPerLine));
        QCOMPARE(QByteArray::fromStdString(encoded), text);
        // Lower-case digits are the board's fault the decoder reads as noise.
        if (lower)
            return;
        const DecodedCapture decoded = DecodeHexCapture("CAM_B\r\n" + encoded + "CAM_E");
        QCOMPARE(QByteArray::fromStdString(decoded.bytes), bytes);
    }

    void agreesWithPlainScanOnLongStreams_data() {
        QTest::addColumn<int>("noisePercent");
        QTest::newRow("clean") << 0;
        QTest::newRow("rare disturbances") << 1;
        QTest::newRow("frequent disturbances") << 10;
        QTest::newRow("mostly disturbances") << 60;
    }

    void agreesWithPlainScanOnLongStreams() {
        QFETCH(int, noisePercent);
        TextGenerator generator(1000 + static_cast<std::uint64_t>(noisePercent));
        std::mt19937_64 lengths(11);
        for (int round = 0; round < 300; ++round) {
            const std::size_t length =
                std::uniform_int_distribution<std::size_t>(1, 20000)(lengths);
            const std::string text = generator.mostlyClean(length, noisePercent);
            const std::string difference = Disagreement(text);
            QVERIFY2(difference.empty(),
                     ("round " + std::to_string(round) + "\n" + difference).c_str());
        }
    }

    // Every cut of a clean stream, so that blocks end at every distance from
    // the end of the text.
    void agreesWithPlainScanOnEveryPrefix() {
        TextGenerator generator(5);
        const std::string stream = generator.mostlyClean(400, 0) + "CAM_E\r\n";
        for (std::size_t length = 0; length <= stream.size(); ++length) {
            const std::string difference = Disagreement(std::string_view(stream).substr(0, length));
            QVERIFY2(difference.empty(), difference.c_str());
        }
    }

    // A text fed in parts of every size from one character to a few blocks
    // decodes as the whole text does, wherever the seams fall: in a pair, a
    // marker, the skip after the start marker, a run of clean triplets.
    void decodesInPartsAsWhole_data() {
        QTest::addColumn<int>("noisePercent");
        QTest::addColumn<int>("longestPart");
        QTest::newRow("clean, short parts") << 0 << 8;
        QTest::newRow("clean, parts beyond a block") << 0 << 200;
        QTest::newRow("disturbed, short parts") << 10 << 8;
        QTest::newRow("disturbed, parts beyond a block") << 10 << 200;
        QTest::newRow("noise, mid-sized parts") << 60 << 70;
    }

    void decodesInPartsAsWhole() {
        QFETCH(int, noisePercent);
        QFETCH(int, longestPart);
        TextGenerator generator(77 + static_cast<std::uint64_t>(noisePercent));
        std::mt19937_64 random(static_cast<std::uint64_t>(longestPart));
        auto below = [&](std::size_t n) {
            return std::uniform_int_distribution<std::size_t>(1, n)(random);
        };
        for (int round = 0; round < 200; ++round) {
            const std::string text =
                generator.mostlyClean(below(3000), noisePercent) + (round % 2 ? "CAM_E" : "");
            const DecodedCapture whole = DecodeHexCapture(text);
            HexCaptureDecoder decoder(round % 3 ? text.size() : 0);
            for (std::size_t at = 0; at < text.size();) {
                const std::size_t length =
                    std::min(text.size() - at, below(static_cast<std::size_t>(longestPart)));
                const std::unique_ptr<char[]> part(new char[length]);
                std::copy_n(text.data() + at, length, part.get());
                decoder.feed(std::string_view(part.get(), length));
                at += length;
            }
            const DecodedCapture parts = decoder.finish();
            const std::string shown = "round " + std::to_string(round) + ": " + Shown(text);
            QVERIFY2(parts.bytes == whole.bytes, shown.c_str());
            QVERIFY2(parts.startSeen == whole.startSeen && parts.endSeen == whole.endSeen &&
                         parts.endPosition == whole.endPosition,
                     shown.c_str());
        }
    }

    void largeCleanStream() {
        std::string expected;
        for (int i = 0; i < 300000; ++i)
            expected += static_cast<char>((i * 37 + i / 256) & 0xff);
        const std::string text = "CAM_B\r\n" + EncodeHexPairs(expected) + "CAM_E\r\n";
        const DecodedCapture decoded = DecodeHexCapture(text);
        QVERIFY(decoded.bytes == expected);
        QVERIFY(decoded.endSeen);
    }
};

QTEST_APPLESS_MAIN(TestHexCapture)
#include "test_hex_capture.moc"
