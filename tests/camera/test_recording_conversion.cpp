// The conversion the main window and merlon-convert share: the recording's
// text as loaded (line breaks widened before the decoder sees them, the
// text ending at its first NUL), the picture written whole with or without
// its end marker, the report line, and a recording that is never replaced
// by its own picture.
#include "camera/recording_conversion.h"
#include "platform/user_error.h"

#include <QtTest>

#include <unistd.h>

namespace {

void Store(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

class TestRecordingConversion : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void convertsRecording_data() {
        QTest::addColumn<QByteArray>("recording");
        QTest::addColumn<QByteArray>("loaded");
        QTest::addColumn<QByteArray>("picture");
        QTest::addColumn<QString>("report");

        QTest::newRow("CR LF") << QByteArray("OK\r\nCAM_B\r\nFF D8 \r\nFF D9 CAM_E\r\n")
                               << QByteArray("OK\r\nCAM_B\r\nFF D8 \r\nFF D9 CAM_E\r\n")
                               << QByteArray("\xff\xd8\xff\xd9")
                               << "bild.jpg: 4 Bytes, Endemarke gesehen";
        // Unwidened, the marker's line break would take the first digit.
        QTest::newRow("LF alone") << QByteArray("CAM_B\nFF D8 \nCAM_E\n")
                                  << QByteArray("CAM_B\r\nFF D8 \r\nCAM_E\r\n")
                                  << QByteArray("\xff\xd8")
                                  << "bild.jpg: 2 Bytes, Endemarke gesehen";
        QTest::newRow("CR alone") << QByteArray("CAM_B\rFF CAM_E")
                                  << QByteArray("CAM_B\r\nFF CAM_E") << QByteArray("\xff")
                                  << "bild.jpg: 1 Byte, Endemarke gesehen";
        QTest::newRow("LF CR is two breaks")
            << QByteArray("AT\n\rCAM_B\r\n41 42 ") << QByteArray("AT\r\n\r\nCAM_B\r\n41 42 ")
            << QByteArray("AB") << "bild.jpg: 2 Bytes, keine Endemarke";
        QTest::newRow("NUL ends the text")
            << QByteArray("CAM_B\r\nFF \0D8 CAM_E\r\n", 21) << QByteArray("CAM_B\r\nFF ")
            << QByteArray("\xff") << "bild.jpg: 1 Byte, keine Endemarke";
        QTest::newRow("no stream") << QByteArray("AT\r\nOK\r\n") << QByteArray("AT\r\nOK\r\n")
                                   << QByteArray() << "bild.jpg: 0 Bytes, keine Endemarke";
    }

    void convertsRecording() {
        QFETCH(QByteArray, recording);
        QFETCH(QByteArray, loaded);
        QFETCH(QByteArray, picture);
        QFETCH(QString, report);
        const QString path = dir_.filePath("aufnahme.txt");
        const QString output = dir_.filePath("bild.jpg");
        Store(path, recording);
        Store(output, QByteArray(5000, 'x')); // replaced, not overwritten in part

        QCOMPARE(QByteArray::fromStdString(LoadRecordingText(path.toStdString())), loaded);
        const DecodedCapture written = ConvertRecording(path.toStdString(), output.toStdString());
        QCOMPARE(Contents(output), picture);
        QCOMPARE(QString::fromStdString(ConversionReport("bild.jpg", written)), report);
        QCOMPARE(Contents(path), recording);
    }

    void neverReplacesItsRecording_data() {
        QTest::addColumn<QString>("output");
        QTest::newRow("same name") << "selbst.jpg";
        QTest::newRow("spelled otherwise") << "./selbst.jpg";
        QTest::newRow("hard link") << "verknuepft.jpg";
    }

    void neverReplacesItsRecording() {
        QFETCH(QString, output);
        const QByteArray recording("CAM_B\r\nFF D8 CAM_E\r\n");
        QVERIFY(QDir::setCurrent(dir_.path()));
        Store("selbst.jpg", recording);
        QFile::remove("verknuepft.jpg");
        QCOMPARE(::link("selbst.jpg", "verknuepft.jpg"), 0);

        QString message;
        try {
            ConvertRecording("selbst.jpg", output.toStdString());
        } catch (const UserError& error) {
            message = QString::fromUtf8(error.what());
        }
        QCOMPARE(message,
                 QStringLiteral("Datei %1 ist der Mitschnitt selbst und wird nicht ersetzt")
                     .arg(output));
        QCOMPARE(Contents("selbst.jpg"), recording);
    }

private:
    QTemporaryDir dir_;
};

QTEST_APPLESS_MAIN(TestRecordingConversion)
#include "test_recording_conversion.moc"
