// The picture view as the windows use it: what loading accepts and refuses,
// what a drawing shows, and how a failure found while drawing is reported.
#include "jpeg_samples.h"

#include "picture/picture_view.h"
#include "platform/user_error.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <jerror.h>
#include <jpeglib.h>

namespace {

bool near(QRgb actual, QColor expected, int tolerance = 12) {
    return std::abs(qRed(actual) - expected.red()) <= tolerance &&
           std::abs(qGreen(actual) - expected.green()) <= tolerance &&
           std::abs(qBlue(actual) - expected.blue()) <= tolerance;
}

QByteArray describe(QRgb pixel) {
    return QStringLiteral("(%1, %2, %3)")
        .arg(qRed(pixel))
        .arg(qGreen(pixel))
        .arg(qBlue(pixel))
        .toUtf8();
}

QString jpegError(int code) {
    return QStringLiteral("JPEG-Fehler #%1").arg(code);
}

QImage shown(PictureView& view) {
    return view.grab().toImage();
}

QRgb centreOf(const QImage& image) {
    return image.pixel(image.width() / 2, image.height() / 2);
}

std::string writeFile(const QTemporaryDir& dir, const QString& name, const std::string& bytes) {
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write the test file");
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return QFile::encodeName(file.fileName()).toStdString();
}

QString messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const UserError& error) {
        return QString::fromUtf8(error.what());
    }
    return QString();
}

} // namespace

class PictureViewTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void nothingLoadedShowsNothing();
    void emptyPictureFailsOnceAtDrawing_data();
    void emptyPictureFailsOnceAtDrawing();
    void nextPictureAfterAFailedDrawing();
    void truncatedPictureShowsWhatArrived();
    void headerErrorKeepsEarlierPicture_data();
    void headerErrorKeepsEarlierPicture();
    void unreadableFileKeepsEarlierPicture_data();
    void unreadableFileKeepsEarlierPicture();
    void loadedFileIsShown();
    void stretchesToTheWholeBox_data();
    void stretchesToTheWholeBox();
    void decodesForTheViewSize_data();
    void decodesForTheViewSize();
    void craftedHugeFileEndsQuickly_data();
    void craftedHugeFileEndsQuickly();
    void hugeDeclarationRefusedOnLoading();

private:
    QTemporaryDir dir_;
};

void PictureViewTest::init() {
    QVERIFY(dir_.isValid());
}

void PictureViewTest::nothingLoadedShowsNothing() {
    PictureView view;
    view.resize(320, 240);
    QSignalSpy failures(&view, &PictureView::drawingFailed);
    shown(view);
    QCoreApplication::processEvents();
    QVERIFY(view.decodedImage().isNull());
    QCOMPARE(failures.count(), 0);
}

void PictureViewTest::emptyPictureFailsOnceAtDrawing_data() {
    QTest::addColumn<bool>("fromFile");
    QTest::newRow("bytes") << false;
    QTest::newRow("file") << true;
}

void PictureViewTest::emptyPictureFailsOnceAtDrawing() {
    QFETCH(bool, fromFile);
    PictureView view;
    view.resize(320, 240);
    QSignalSpy failures(&view, &PictureView::drawingFailed);

    if (fromFile)
        view.loadFile(writeFile(dir_, "empty.jpg", std::string()));
    else
        view.loadBytes(std::string());
    QCoreApplication::processEvents();
    QCOMPARE(failures.count(), 0);

    shown(view);
    QCOMPARE(failures.count(), 0); // not from inside the paint
    QTRY_COMPARE(failures.count(), 1);
    QCOMPARE(failures.at(0).at(0).toString(), jpegError(JERR_INPUT_EMPTY));
    QVERIFY(view.decodedImage().isNull());

    shown(view);
    view.repaint();
    QCoreApplication::processEvents();
    QCOMPARE(failures.count(), 1);
}

void PictureViewTest::nextPictureAfterAFailedDrawing() {
    PictureView view;
    view.resize(320, 240);
    QSignalSpy failures(&view, &PictureView::drawingFailed);
    view.loadBytes(std::string());
    shown(view);
    QTRY_COMPARE(failures.count(), 1);

    view.loadBytes(SolidJpeg(32, 32, Qt::red));
    const QImage image = shown(view);
    QVERIFY2(near(centreOf(image), Qt::red), describe(centreOf(image)));
    QCoreApplication::processEvents();
    QCOMPARE(failures.count(), 1);
}

void PictureViewTest::truncatedPictureShowsWhatArrived() {
    const std::string whole = SolidJpeg(64, 64, Qt::blue);
    const std::size_t data = ScanDataOffset(whole);
    const std::string cut = whole.substr(0, data + (whole.size() - data) / 2);

    PictureView view;
    view.resize(320, 240);
    QSignalSpy failures(&view, &PictureView::drawingFailed);
    view.loadBytes(cut);
    const QImage drawn = shown(view);
    QCoreApplication::processEvents();
    QCOMPARE(failures.count(), 0);

    // The top came before the cut; below it libjpeg pads with mid-grey.
    const QImage decoded = view.decodedImage();
    QCOMPARE(decoded.size(), QSize(64, 64));
    QVERIFY2(near(decoded.pixel(0, 0), Qt::blue), describe(decoded.pixel(0, 0)));
    QVERIFY2(near(decoded.pixel(0, 63), QColor(128, 128, 128), 4), describe(decoded.pixel(0, 63)));
    QVERIFY2(near(drawn.pixel(5, 5), Qt::blue), describe(drawn.pixel(5, 5)));
    QVERIFY2(near(drawn.pixel(5, 235), QColor(128, 128, 128), 4), describe(drawn.pixel(5, 235)));
}

void PictureViewTest::headerErrorKeepsEarlierPicture_data() {
    QTest::addColumn<bool>("drawnBefore");
    QTest::newRow("before drawing") << false;
    QTest::newRow("after drawing") << true;
}

void PictureViewTest::headerErrorKeepsEarlierPicture() {
    QFETCH(bool, drawnBefore);
    std::string twelveBit = SolidJpeg(32, 32, Qt::green);
    twelveBit[FrameOffset(twelveBit) + 4] = 12;

    PictureView view;
    view.resize(320, 240);
    QSignalSpy failures(&view, &PictureView::drawingFailed);
    view.loadBytes(SolidJpeg(32, 32, Qt::red));
    if (drawnBefore)
        shown(view);

    QCOMPARE(messageOf([&] { view.loadBytes(twelveBit); }), jpegError(JERR_BAD_PRECISION));

    const QImage image = shown(view);
    QVERIFY2(near(centreOf(image), Qt::red), describe(centreOf(image)));
    QVERIFY(near(centreOf(view.decodedImage()), Qt::red));
    QCoreApplication::processEvents();
    QCOMPARE(failures.count(), 0);
}

void PictureViewTest::unreadableFileKeepsEarlierPicture_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected"); // %1 stands for the path

    QTest::newRow("missing") << "missing.jpg" << QByteArray()
                             << "Datei %1 kann nicht geöffnet werden";
    QTest::newRow("directory") << "." << QByteArray() << "Datei %1 kann nicht geöffnet werden";
    QTest::newRow("text file") << "mitschnitt.txt" << QByteArray("CAM_B FF D8 CAM_E")
                               << jpegError(JERR_NO_SOI);
}

void PictureViewTest::unreadableFileKeepsEarlierPicture() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);

    std::string path = QFile::encodeName(dir_.filePath(name)).toStdString();
    if (!content.isEmpty())
        path = writeFile(dir_, name, content.toStdString());

    PictureView view;
    view.resize(320, 240);
    view.loadBytes(SolidJpeg(32, 32, Qt::red));
    shown(view);

    QCOMPARE(messageOf([&] { view.loadFile(path); }),
             QString(expected).replace("%1", QString::fromStdString(path)));
    QVERIFY(near(centreOf(shown(view)), Qt::red));
}

void PictureViewTest::loadedFileIsShown() {
    PictureView view;
    view.resize(320, 240);
    view.loadFile(writeFile(dir_, "Kamera_4712345.jpg", SolidJpeg(80, 60, Qt::blue)));
    const QImage image = shown(view);
    QVERIFY2(near(centreOf(image), Qt::blue), describe(centreOf(image)));
}

void PictureViewTest::stretchesToTheWholeBox_data() {
    QTest::addColumn<QSize>("viewSize");
    QTest::newRow("main window's box") << QSize(320, 240);
    QTest::newRow("tall box") << QSize(100, 300);
}

void PictureViewTest::stretchesToTheWholeBox() {
    QFETCH(QSize, viewSize);

    PictureView view;
    view.resize(viewSize);
    // Wide and low: kept in proportion it would leave bands above and below.
    view.loadBytes(TwoColourJpeg(64, 16, Qt::red, Qt::blue));
    const QImage image = shown(view);
    QCOMPARE(image.size(), viewSize);

    const int w = viewSize.width(), h = viewSize.height();
    for (const QPoint at : {QPoint(2, 2), QPoint(2, h - 3), QPoint(w / 2 - 10, h / 2)})
        QVERIFY2(near(image.pixel(at), Qt::red, 40), describe(image.pixel(at)));
    for (const QPoint at : {QPoint(w - 3, 2), QPoint(w - 3, h - 3), QPoint(w / 2 + 10, h / 2)})
        QVERIFY2(near(image.pixel(at), Qt::blue, 40), describe(image.pixel(at)));
}

void PictureViewTest::decodesForTheViewSize_data() {
    QTest::addColumn<QSize>("viewSize");
    QTest::addColumn<int>("scaling");
    QTest::addColumn<QSize>("decoded");

    QTest::newRow("main window's box")
        << QSize(320, 240) << int(JpegScaling::FitBox) << QSize(320, 240);
    QTest::newRow("quarter box") << QSize(160, 120) << int(JpegScaling::FitBox) << QSize(160, 120);
    QTest::newRow("full size asked for")
        << QSize(320, 240) << int(JpegScaling::FullSize) << QSize(640, 480);
}

void PictureViewTest::decodesForTheViewSize() {
    QFETCH(QSize, viewSize);
    QFETCH(int, scaling);
    QFETCH(QSize, decoded);

    PictureView view;
    view.resize(viewSize);
    view.setScaling(JpegScaling(scaling));
    view.loadBytes(SolidJpeg(640, 480, Qt::red));
    QVERIFY(view.decodedImage().isNull()); // header only, so far
    const QImage image = shown(view);
    QCOMPARE(view.decodedImage().size(), decoded);
    QVERIFY(near(centreOf(image), Qt::red));
}

// Files of the largest size allowed, made so that every block costs the
// decoder work whatever it holds: drawn in bounded memory (the time is the
// picture benchmark's), showing the picture or the library's message.
void PictureViewTest::craftedHugeFileEndsQuickly_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("baseline") << QByteArray::fromStdString(CraftedGreyJpeg(7745, 7745, false));
    QTest::newRow("progressive, thousands of scans")
        << QByteArray::fromStdString(CraftedGreyJpeg(7745, 7745, true, 5000));
}

void PictureViewTest::craftedHugeFileEndsQuickly() {
    QFETCH(QByteArray, bytes);

    PictureView view;
    view.resize(320, 240);
    QSignalSpy failures(&view, &PictureView::drawingFailed);
    const long residentBefore = StartMemoryWatch();
    QElapsedTimer clock;
    clock.start();
    view.loadBytes(bytes.toStdString());
    shown(view);
    // The rest comes in slices from the event loop.
    QTRY_VERIFY_WITH_TIMEOUT(!view.isDrawing(), 20000);
    QCoreApplication::processEvents();
    const long growthKb = PeakResidentKb() - residentBefore;
    qInfo("%lld ms, peak growth %ld kB, %lld messages", clock.elapsed(), growthKb,
          static_cast<long long>(failures.count()));

    QVERIFY2(growthKb < 512 * 1024, QByteArray::number(qlonglong(growthKb)) + " kB");
    QCOMPARE(failures.count(), 0);
    const QImage decoded = view.decodedImage();
    QVERIFY(decoded.width() >= 320 && decoded.width() < 2 * 320);
    QVERIFY(decoded.height() >= 240 && decoded.height() < 2 * 240);
    QCOMPARE(qAlpha(centreOf(decoded)), 255);
}

// A file declaring more pixels than any camera takes is refused on loading
// with the library's own message, and the view keeps what it showed.
void PictureViewTest::hugeDeclarationRefusedOnLoading() {
    PictureView view;
    view.resize(320, 240);
    view.loadBytes(SolidJpeg(64, 48, Qt::red));
    shown(view);
    try {
        view.loadBytes(CraftedGreyJpeg(65500, 65500, false));
        QFAIL("the picture was accepted");
    } catch (const UserError& error) {
        QCOMPARE(QString::fromUtf8(error.what()),
                 QStringLiteral("JPEG-Fehler #%1").arg(int(JERR_IMAGE_TOO_BIG)));
    }
    QVERIFY(near(centreOf(view.decodedImage()), Qt::red));
}

QTEST_MAIN(PictureViewTest)
#include "test_picture_view.moc"
