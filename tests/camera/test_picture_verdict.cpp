// The verdict on received pictures, over the simulated board's own 640 × 480
// pictures as they come down the line: sound, cut, with digits lost, added or
// changed, with line noise, not a JPEG at all, and empty; and the text kept
// beside a damaged picture is the text that gave its bytes.
#include "jpeg_samples.h"

#include "camera/picture_verdict.h"
#include "capture/hex_capture.h"
#include "picture/jpeg_encoder.h"
#include "picture/jpeg_reading.h"
#include "tools/board-sim/picture_scene.h"
#include "tools/board-sim/picture_stream.h"

#include <QTest>

namespace {

constexpr std::size_t kFirstPair = kCaptureStartSkip; // "CAM_B" CR LF

SceneRequest Scene() {
    return SceneRequest{BoardOptions{false, false, true}, 7, "12:34:56"};
}

// The picture as the board takes it (baseline), and the same scene progressive.
const std::string& Picture() {
    static const std::string picture = TakePicture(Scene(), 75);
    return picture;
}
std::string ProgressivePicture() {
    const RgbImage image = RenderScene(Scene());
    return EncodeJpeg(image.pixels.data(), image.width, image.height, 75, true);
}

// What the board sends for a picture, with the faults asked for.
QByteArray Sent(std::string_view jpeg, StreamFaults faults = {}, unsigned seed = 0) {
    return QByteArray::fromStdString(BuildPictureStream(jpeg, faults, seed).text);
}
QByteArray Framed(const std::string& pairs) {
    return QByteArray::fromStdString("CAM_B\r\n" + pairs + "CAM_E\r\n");
}

// Where the first digit of a picture byte stands in the text Sent gives.
qsizetype DigitOf(std::size_t byte) {
    return static_cast<qsizetype>(kFirstPair + 3 * byte);
}

// A small picture of three full-size components that declares side × side
// pixels: reading it whole needs more memory than a picture may have.
std::string Declaring(int side) {
    std::string jpeg = SolidJpeg(8, 8, Qt::red, SampleSpace::StoredRgb);
    const std::size_t frame = FrameOffset(jpeg);
    for (const std::size_t at : {frame + 5, frame + 7}) {
        jpeg[at] = static_cast<char>(side >> 8);
        jpeg[at + 1] = static_cast<char>(side & 0xFF);
    }
    return jpeg;
}

QByteArray Changed(QByteArray text, qsizetype at, char digit) {
    text[at] = digit;
    return text;
}

} // namespace

class PictureVerdictTest : public QObject {
    Q_OBJECT

private slots:
    void judges_data();
    void judges();
};

void PictureVerdictTest::judges_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("fileWord");

    const std::string& jpeg = Picture();
    const QByteArray sent = Sent(jpeg);
    const std::size_t scan = ScanDataOffset(jpeg);
    const std::size_t midScan = scan + (jpeg.size() - scan) / 2;
    const QString sound = QStringLiteral("in Ordnung");
    const QString damaged = QStringLiteral("beschädigt");
    const QString unreadable = QStringLiteral("unlesbar");
    const QString soundFile = QStringLiteral("in-ordnung");
    const QString damagedFile = QStringLiteral("beschaedigt");
    const QString unreadableFile = QStringLiteral("unlesbar");

    QTest::newRow("sound") << sent << sound << soundFile;
    StreamFaults chatter;
    chatter.chatter = true;
    QTest::newRow("sound, after the board's chatter") << Sent(jpeg, chatter) << sound << soundFile;
    QTest::newRow("sound, progressive") << Sent(ProgressivePicture()) << sound << soundFile;
    QTest::newRow("sound, lines wrapped as a recording keeps them")
        << Framed(EncodeHexPairs(jpeg, HexDigitCase::Upper, 16, "\r\n")) << sound << soundFile;
    QTest::newRow("bytes after the end of image do not count")
        << Framed(EncodeHexPairs(jpeg + std::string("\x00\x11\xFF", 3)) + "z 1 ") << sound
        << soundFile;

    QTest::newRow("cut just before the end-of-image marker")
        << Framed(EncodeHexPairs(jpeg.substr(0, jpeg.size() - 2))) << damaged << damagedFile;
    QTest::newRow("cut halfway, end marker still sent")
        << Framed(EncodeHexPairs(jpeg.substr(0, jpeg.size() / 2))) << damaged << damagedFile;
    QTest::newRow("cut inside the header")
        << Framed(EncodeHexPairs(jpeg.substr(0, 100))) << unreadable << unreadableFile;

    QTest::newRow("digit lost in the scan data")
        << QByteArray(sent).remove(DigitOf(midScan), 1) << damaged << damagedFile;
    QTest::newRow("digit added in the scan data")
        << QByteArray(sent).insert(DigitOf(midScan) + 1, 'A') << damaged << damagedFile;
    // Every pair is still two digits and a space: only libjpeg can tell, and
    // it does here (successive approximation set in a sequential scan).
    QTest::newRow("digit changed where libjpeg notices")
        << Changed(sent, DigitOf(scan - 1) + 1, '1') << damaged << damagedFile;
    // The limit of any verdict: a changed value that leaves a valid picture
    // (here one step of the quantization table) cannot be told from a sound one.
    const std::size_t quantization = jpeg.find("\xFF\xDB") + 5;
    QTest::newRow("digit changed where nothing can notice")
        << Changed(sent, DigitOf(quantization) + 1,
                   sent[DigitOf(quantization) + 1] == '7' ? '6' : '7')
        << sound << soundFile;
    // 'J' of "JFIF" becomes 0x40: libjpeg just no longer sees a JFIF header.
    const std::size_t jfif = jpeg.find("JFIF");
    QTest::newRow("one pair in lower case")
        << Changed(sent, DigitOf(jfif) + 1, 'a') << damaged << damagedFile;
    StreamFaults lowercase;
    lowercase.lowercase = true;
    QTest::newRow("all in lower case") << Sent(jpeg, lowercase) << unreadable << unreadableFile;
    // No picture byte is lost here, but a stray byte on the line is not
    // trusted: a stray hex digit there would read just like an added one.
    QTest::newRow("stray byte between two pairs")
        << QByteArray(sent).insert(DigitOf(midScan), '#') << damaged << damagedFile;
    StreamFaults noise;
    noise.noise = true;
    for (unsigned seed : {1u, 2u, 3u})
        QTest::addRow("line noise, seed %u", seed)
            << Sent(jpeg, noise, seed) << damaged << damagedFile;

    QTest::newRow("endless scans, cut by the scan limit")
        << Sent(CraftedGreyJpeg(64, 64, true, 5000)) << damaged << damagedFile;
    // libjpeg stops at the memory limit with an error; what was read of the
    // picture could still be drawn row by row, so it counts as damaged.
    QTest::newRow("more memory than a picture may have")
        << Sent(Declaring(7000)) << damaged << damagedFile;
    QTest::newRow("more pixels than any camera has")
        << Sent(CraftedGreyJpeg(int(kJpegMaxPixels / 5000) + 1, 5000, false)) << unreadable
        << unreadableFile;
    QTest::newRow("no JPEG") << Sent("Merlon EVA Kamera bereit") << unreadable << unreadableFile;
    QTest::newRow("no bytes") << QByteArray("CAM_B\r\nCAM_E\r\n") << unreadable << unreadableFile;
}

void PictureVerdictTest::judges() {
    QFETCH(QByteArray, text);
    QFETCH(QString, verdict);
    QFETCH(QString, fileWord);

    const std::string received = text.toStdString();
    const DecodedCapture capture = DecodeHexCapture(received);
    QVERIFY(capture.endSeen);

    const PictureVerdict judged = JudgePicture(received, capture.bytes);
    QCOMPARE(QString::fromUtf8(VerdictText(judged)), verdict);
    QCOMPARE(QString::fromLatin1(VerdictFileWord(judged)), fileWord);

    // What is kept for a person to look at gives the same picture again and
    // holds both markers.
    const std::string_view kept = PictureText(received, capture);
    QCOMPARE(kept.substr(0, 5), std::string_view("CAM_B"));
    QCOMPARE(kept.substr(kept.size() - 5), std::string_view("CAM_E"));
    QCOMPARE(DecodeHexCapture(kept).bytes, capture.bytes);
}

QTEST_APPLESS_MAIN(PictureVerdictTest)
#include "test_picture_verdict.moc"
