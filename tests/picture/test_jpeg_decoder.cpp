// Decoding below the widget: header reading, the choice of DCT scaling,
// colours, shrinking rows, the limit on scans, and the inspection of a whole
// file that a picture's verdict rests on.
#include "jpeg_samples.h"

#include "picture/jpeg_decoder.h"
#include "picture/scanline_reducer.h"
#include "platform/user_error.h"

#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <jerror.h>
#include <jpeglib.h>
#include <vector>

Q_DECLARE_METATYPE(SampleSpace)

namespace {

QByteArray toBytes(const std::string& bytes) {
    return QByteArray::fromStdString(bytes);
}

bool near(QRgb actual, QColor expected, int tolerance) {
    return std::abs(qRed(actual) - expected.red()) <= tolerance &&
           std::abs(qGreen(actual) - expected.green()) <= tolerance &&
           std::abs(qBlue(actual) - expected.blue()) <= tolerance && qAlpha(actual) == 255;
}

QByteArray describe(QRgb pixel) {
    return QStringLiteral("(%1, %2, %3, alpha %4)")
        .arg(qRed(pixel))
        .arg(qGreen(pixel))
        .arg(qBlue(pixel))
        .arg(qAlpha(pixel))
        .toUtf8();
}

std::string withByte(std::string bytes, std::size_t at, int value) {
    bytes[at] = static_cast<char>(value);
    return bytes;
}

std::string upToEndOfFrame(const std::string& bytes) {
    const std::size_t frame = FrameOffset(bytes);
    const auto length = (static_cast<unsigned char>(bytes[frame + 2]) << 8) |
                        static_cast<unsigned char>(bytes[frame + 3]);
    return bytes.substr(0, frame + 2 + length);
}

} // namespace

class JpegDecoderTest : public QObject {
    Q_OBJECT
private slots:
    void headerDescribesPicture_data();
    void headerDescribesPicture();
    void headerErrorCarriesLibraryCode_data();
    void headerErrorCarriesLibraryCode();
    void scaleChoice_data();
    void scaleChoice();
    void decodesAtChosenScale_data();
    void decodesAtChosenScale();
    void coloursSurvive_data();
    void coloursSurvive();
    void reducerAveragesBlocks();
    void reducerShowsWhatArrived();
    void scanLimit_data();
    void scanLimit();
    void inspection_data();
    void inspection();
};

void JpegDecoderTest::headerDescribesPicture_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("components");
    QTest::addColumn<int>("colorSpace");
    QTest::addColumn<bool>("multiScan");

    QTest::newRow("colour baseline") << toBytes(SolidJpeg(40, 30, Qt::red)) << 40 << 30 << 3
                                     << int(JpegColorSpace::YCbCr) << false;
    QTest::newRow("grey progressive")
        << toBytes(SolidJpeg(17, 9, Qt::gray, SampleSpace::Grey, true)) << 17 << 9 << 1
        << int(JpegColorSpace::Grey) << true;
    QTest::newRow("adobe cmyk") << toBytes(SolidJpeg(8, 8, Qt::red, SampleSpace::AdobeCmyk)) << 8
                                << 8 << 4 << int(JpegColorSpace::Cmyk) << false;
    QTest::newRow("ycck") << toBytes(SolidJpeg(8, 8, Qt::red, SampleSpace::Ycck)) << 8 << 8 << 4
                          << int(JpegColorSpace::Ycck) << false;
    QTest::newRow("largest allowed") << toBytes(CraftedGreyJpeg(7745, 7745, false)) << 7745 << 7745
                                     << 1 << int(JpegColorSpace::Grey) << false;
}

void JpegDecoderTest::headerDescribesPicture() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, components);
    QFETCH(int, colorSpace);
    QFETCH(bool, multiScan);

    const JpegHeader header = ReadJpegHeader(bytes.toStdString());
    QCOMPARE(header.width, width);
    QCOMPARE(header.height, height);
    QCOMPARE(header.components, components);
    QCOMPARE(int(header.colorSpace), colorSpace);
    QCOMPARE(header.multiScan, multiScan);
}

void JpegDecoderTest::headerErrorCarriesLibraryCode_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("code");

    const std::string good = SolidJpeg(32, 32, Qt::red);
    const std::size_t frame = FrameOffset(good);
    QTest::newRow("empty") << QByteArray() << int(JERR_INPUT_EMPTY);
    QTest::newRow("not a JPEG") << QByteArray("CAM_B FF D8 CAM_E\r\n") << int(JERR_NO_SOI);
    QTest::newRow("ends after the frame") << toBytes(upToEndOfFrame(good)) << int(JERR_SOF_NO_SOS);
    QTest::newRow("zero width") << toBytes(withByte(withByte(good, frame + 7, 0), frame + 8, 0))
                                << int(JERR_EMPTY_IMAGE);
    QTest::newRow("12-bit samples")
        << toBytes(withByte(good, frame + 4, 12)) << int(JERR_BAD_PRECISION);
    // Beyond any camera's size: drawing would cost seconds whatever the file holds.
    QTest::newRow("one pixel too many")
        << toBytes(CraftedGreyJpeg(int(kJpegMaxPixels / 5000) + 1, 5000, false))
        << int(JERR_IMAGE_TOO_BIG);
    QTest::newRow("huge declaration, progressive")
        << toBytes(CraftedGreyJpeg(65500, 65500, true, 5000)) << int(JERR_IMAGE_TOO_BIG);
}

void JpegDecoderTest::headerErrorCarriesLibraryCode() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, code);

    try {
        ReadJpegHeader(bytes.toStdString());
        QFAIL("the header was accepted");
    } catch (const UserError& error) {
        QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("JPEG-Fehler #%1").arg(code));
    }
    // Drawing the same bytes meets the same error, without throwing.
    const JpegDecodeResult result = DecodeJpeg(bytes.toStdString(), 320, 240);
    QCOMPARE(result.errorCode, std::optional<int>(code));
    QVERIFY(result.image.isNull());
}

void JpegDecoderTest::scaleChoice_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("num");
    QTest::addColumn<int>("denom");
    QTest::addColumn<int>("scaledWidth");
    QTest::addColumn<int>("scaledHeight");

    // Box 320 × 240 throughout, as in the main window.
    QTest::newRow("640x480 halves") << 640 << 480 << 1 << 2 << 320 << 240;
    QTest::newRow("100x100 stays") << 100 << 100 << 1 << 1 << 100 << 100;
    QTest::newRow("exactly the box") << 320 << 240 << 1 << 1 << 320 << 240;
    QTest::newRow("too narrow to halve") << 637 << 480 << 5 << 8 << 399 << 300;
    QTest::newRow("65500 square eighth") << 65500 << 65500 << 1 << 8 << 8188 << 8188;
    QTest::newRow("2560x1920 eighth") << 2560 << 1920 << 1 << 8 << 320 << 240;
    QTest::newRow("400x300 seven eighths") << 400 << 300 << 7 << 8 << 350 << 263;
    QTest::newRow("wide but low keeps height") << 2000 << 100 << 1 << 1 << 2000 << 100;
    QTest::newRow("tall and narrow") << 160 << 1920 << 1 << 1 << 160 << 1920;
    QTest::newRow("height decides") << 1280 << 480 << 1 << 2 << 640 << 240;
}

void JpegDecoderTest::scaleChoice() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, num);
    QFETCH(int, denom);
    QFETCH(int, scaledWidth);
    QFETCH(int, scaledHeight);

    const JpegScale scale = ChooseJpegScale(width, height, 320, 240);
    QCOMPARE(scale.num, num);
    QCOMPARE(scale.denom, denom);
    QCOMPARE(scale.width, scaledWidth);
    QCOMPARE(scale.height, scaledHeight);
}

void JpegDecoderTest::decodesAtChosenScale_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("decoded");

    QTest::newRow("640x480") << toBytes(SolidJpeg(640, 480, Qt::blue)) << QSize(320, 240);
    QTest::newRow("100x100") << toBytes(SolidJpeg(100, 100, Qt::blue)) << QSize(100, 100);
    QTest::newRow("400x300") << toBytes(SolidJpeg(400, 300, Qt::blue)) << QSize(350, 263);
    // 1/8 gives 328 × 328, which no whole factor can shrink and keep the box.
    QTest::newRow("2624x2624") << toBytes(CraftedGreyJpeg(2624, 2624, false)) << QSize(328, 328);
}

void JpegDecoderTest::decodesAtChosenScale() {
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, decoded);

    const JpegDecodeResult result = DecodeJpeg(bytes.toStdString(), 320, 240);
    QVERIFY(!result.errorCode);
    QCOMPARE(result.image.size(), decoded);
}

void JpegDecoderTest::coloursSurvive_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QColor>("colour");

    const QColor brick(200, 60, 30);
    QTest::newRow("YCbCr") << toBytes(SolidJpeg(48, 32, brick)) << brick;
    QTest::newRow("YCbCr progressive")
        << toBytes(SolidJpeg(48, 32, brick, SampleSpace::Rgb, true)) << brick;
    QTest::newRow("stored RGB") << toBytes(SolidJpeg(48, 32, brick, SampleSpace::StoredRgb))
                                << brick;
    QTest::newRow("grey") << toBytes(SolidJpeg(48, 32, QColor(200, 200, 200), SampleSpace::Grey))
                          << QColor(200, 200, 200);
    QTest::newRow("Adobe CMYK") << toBytes(SolidJpeg(48, 32, brick, SampleSpace::AdobeCmyk))
                                << brick;
    QTest::newRow("plain CMYK") << toBytes(SolidJpeg(48, 32, brick, SampleSpace::PlainCmyk))
                                << brick;
    QTest::newRow("YCCK") << toBytes(SolidJpeg(48, 32, brick, SampleSpace::Ycck)) << brick;
    QTest::newRow("red shrunk") << toBytes(SolidJpeg(2000, 1500, Qt::red)) << QColor(Qt::red);
}

void JpegDecoderTest::coloursSurvive() {
    QFETCH(QByteArray, bytes);
    QFETCH(QColor, colour);

    const JpegDecodeResult result = DecodeJpeg(bytes.toStdString(), 320, 240);
    QVERIFY(!result.errorCode);
    const QImage& image = result.image;
    for (const QPoint at : {QPoint(0, 0), QPoint(image.width() / 2, image.height() / 2),
                            QPoint(image.width() - 1, image.height() - 1)})
        QVERIFY2(near(image.pixel(at), colour, 10), describe(image.pixel(at)));
}

void JpegDecoderTest::reducerAveragesBlocks() {
    ScanlineReducer reducer(5, 3, 2, 2);
    const unsigned char rows[3][5] = {
        {0, 10, 20, 30, 40}, {100, 110, 120, 130, 140}, {200, 210, 220, 230, 240}};
    for (const auto& row : rows)
        reducer.addRow(row, ScanlineReducer::Layout::Grey);

    const QImage& image = reducer.image();
    QCOMPARE(image.size(), QSize(3, 2));
    // The right column and bottom row hold fewer source pixels and average those.
    const int expected[2][3] = {{55, 75, 90}, {205, 225, 240}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            QCOMPARE(qRed(image.pixel(x, y)), expected[y][x]);
            QCOMPARE(qBlue(image.pixel(x, y)), expected[y][x]);
            QCOMPARE(qAlpha(image.pixel(x, y)), 255);
        }
}

void JpegDecoderTest::reducerShowsWhatArrived() {
    const unsigned char rgb[4 * 3] = {255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255};
    ScanlineReducer reducer(4, 6, 2, 2);
    for (int row = 0; row < 3; ++row)
        reducer.addRow(rgb, ScanlineReducer::Layout::Rgb);
    QCOMPARE(qAlpha(reducer.image().pixel(0, 1)), 0);

    reducer.flushPartialBand();
    const QImage& image = reducer.image();
    QCOMPARE(image.pixel(0, 1), qRgb(255, 0, 0));
    QCOMPARE(image.pixel(1, 1), qRgb(0, 0, 255));
    QCOMPARE(qAlpha(image.pixel(0, 2)), 0);
    QCOMPARE(reducer.rowsAdded(), 3);

    for (int row = 0; row < 10; ++row)
        reducer.addRow(rgb, ScanlineReducer::Layout::Rgb);
    QCOMPARE(reducer.rowsAdded(), 6);
}

void JpegDecoderTest::scanLimit_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("scans");
    QTest::addColumn<bool>("cut");

    QTest::newRow("a few") << 64 << 20 << false;
    QTest::newRow("at the limit") << 64 << kJpegMaxScans << false;
    QTest::newRow("thousands") << 64 << 5000 << true;
    // Each scan here goes over 562 500 blocks: the block budget ends it first.
    QTest::newRow("hundreds over a large picture") << 6000 << 1000 << true;
}

void JpegDecoderTest::scanLimit() {
    QFETCH(int, size);
    QFETCH(int, scans);
    QFETCH(bool, cut);

    const JpegDecodeResult result = DecodeJpeg(CraftedGreyJpeg(size, size, true, scans), 320, 240);
    QVERIFY(!result.errorCode);
    QCOMPARE(result.inputCut, cut);
    if (cut) {
        const long long blocksPerScan = static_cast<long long>((size + 7) / 8) * ((size + 7) / 8);
        const long long allowed =
            std::min<long long>(kJpegMaxScans, kJpegMaxScanBlocks / blocksPerScan + 1);
        QVERIFY2(result.scansRead <= allowed + 1, QByteArray::number(result.scansRead));
    } else {
        QCOMPARE(result.scansRead, scans);
    }
    // What was read still shows: every block is mid-grey.
    QVERIFY(!result.image.isNull());
    const QRgb corner = result.image.pixel(result.image.width() - 1, result.image.height() - 1);
    QVERIFY2(near(corner, QColor(128, 128, 128), 2), describe(corner));
}

void JpegDecoderTest::inspection_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("errorCode"); // -1: none
    QTest::addColumn<bool>("warned");
    QTest::addColumn<bool>("limitReached");
    QTest::addColumn<int>("bytesUsed");

    const std::string good = SolidJpeg(64, 48, Qt::red);
    const int size = int(good.size());
    const std::string progressive = SolidJpeg(64, 48, Qt::red, SampleSpace::Rgb, true);
    // Up to the data of its last scan, of which nothing came.
    const std::size_t lastScan = progressive.rfind("\xFF\xDA");
    const std::string lastScanCut =
        progressive.substr(0, lastScan + 2 + static_cast<unsigned char>(progressive[lastScan + 3]));
    QTest::newRow("sound") << toBytes(good) << -1 << false << false << size;
    QTest::newRow("bytes after the end of image are not read")
        << toBytes(good + "\xFF\xD8 more") << -1 << false << false << size;
    // The missing end of image is supplied, and that is a warning.
    QTest::newRow("without its end of image")
        << toBytes(good.substr(0, good.size() - 2)) << -1 << true << false << size - 2;
    QTest::newRow("last scan of a progressive file cut")
        << toBytes(lastScanCut) << -1 << true << false << int(lastScanCut.size());
    QTest::newRow("endless scans")
        << toBytes(CraftedGreyJpeg(64, 64, true, 5000)) << -1 << true << true << -2;
    QTest::newRow("not a JPEG") << QByteArray("CAM_B") << int(JERR_NO_SOI) << false << false << -2;
}

void JpegDecoderTest::inspection() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, errorCode);
    QFETCH(bool, warned);
    QFETCH(bool, limitReached);
    QFETCH(int, bytesUsed); // -2: not looked at

    const JpegInspection inspection = InspectJpeg(bytes.toStdString());
    QCOMPARE(inspection.errorCode.value_or(-1), errorCode);
    QCOMPARE(inspection.warnings > 0, warned);
    QCOMPARE(inspection.limitReached, limitReached);
    if (bytesUsed != -2)
        QCOMPARE(inspection.bytesUsed, std::size_t(bytesUsed));
}

QTEST_GUILESS_MAIN(JpegDecoderTest)
#include "test_jpeg_decoder.moc"
