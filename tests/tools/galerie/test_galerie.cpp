#include "picture/jpeg_reading.h"
#include "picture/jpeg_thumbnail.h"
#include "tools/board-sim/picture_scene.h"
#include "tools/galerie/journal.h"
#include "tools/galerie/site_builder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

// 09.12.2026 04:10:00 at the station, an hour ahead of UTC.
const QDateTime kMorning =
    QDateTime::fromString(QStringLiteral("2026-12-09T04:10:00+01:00"), Qt::ISODate);

std::string Line(const QString& time, const char* outcome, const char* file,
                 const char* message = nullptr) {
    const auto text = [](const char* value) {
        return value ? "\"" + std::string(value) + "\"" : std::string("null");
    };
    return "{\"time\":\"" + time.toStdString() +
           "\",\"port\":\"COM1\",\"attempt\":1,\"attempts\":3,"
           "\"outcome\":\"" +
           outcome + "\",\"dial\":\"connect\",\"file\":" + text(file) +
           ",\"bytes\":100,\"seconds\":31.5,\"message\":" + text(message) + "}";
}

void Write(const QString& path, const std::string& bytes,
           QIODevice::OpenMode mode = QIODevice::WriteOnly) {
    QFile file(path);
    QVERIFY(file.open(mode));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

QString Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TestGalerie : public QObject {
    Q_OBJECT

private slots:
    void thumbnailCoversTheBox_data();
    void thumbnailCoversTheBox();
    void journalLineForm_data();
    void journalLineForm();
    void textsFromTheJournalAreEscaped();
    void refusedPictureNames_data();
    void refusedPictureNames();
    void unreadableLines_data();
    void unreadableLines();
    void updateRedoesOnlyWhatChanged_data();
    void updateRedoesOnlyWhatChanged();
};

void TestGalerie::thumbnailCoversTheBox_data() {
    QTest::addColumn<bool>("large");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("320 x 240: at half size") << false << 160 << 120;
    QTest::newRow("640 x 480: at a quarter") << true << 160 << 120;
}

void TestGalerie::thumbnailCoversTheBox() {
    QFETCH(bool, large);
    QFETCH(int, width);
    QFETCH(int, height);
    SceneRequest request;
    request.options.large = large;
    request.time = "04:10:00";
    const std::optional<JpegThumbnail> thumbnail = MakeJpegThumbnail(TakePicture(request, 85), 160);
    QVERIFY(thumbnail);
    QCOMPARE(thumbnail->width, width);
    QCOMPARE(thumbnail->height, height);
    const JpegHeader header = ReadJpegHeader(thumbnail->bytes);
    QCOMPARE(header.width, width);
    QCOMPARE(header.height, height);
    QVERIFY(!InspectJpeg(thumbnail->bytes).errorCode);
    QVERIFY(!MakeJpegThumbnail("keine JPEG-Datei", 160));
}

void TestGalerie::journalLineForm_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("offsetSeconds");
    const QString good =
        QString::fromStdString(Line(QStringLiteral("2026-12-09T04:10:00+01:00"), "sound", "a.jpg"));
    QTest::newRow("with offset") << good << true << 3600;
    QTest::newRow("UTC") << QString::fromStdString(Line(QStringLiteral("2026-12-09T03:10:00.250Z"),
                                                        "damaged", nullptr))
                         << true << 0;
    QTest::newRow("no offset") << QString::fromStdString(
                                      Line(QStringLiteral("2026-12-09T04:10:00"), "sound", nullptr))
                               << false << 0;
    QTest::newRow("unknown outcome")
        << QString::fromStdString(Line(QStringLiteral("2026-12-09T04:10:00Z"), "great", nullptr))
        << false << 0;
    QTest::newRow("no attempt") << QString(good).replace(QStringLiteral("\"attempt\":1,"),
                                                         QString())
                                << false << 0;
    QTest::newRow("file a number")
        << QString(good).replace(QStringLiteral("\"a.jpg\""), QStringLiteral("7")) << false << 0;
    QTest::newRow("an array") << QStringLiteral("[1,2]") << false << 0;
}

void TestGalerie::journalLineForm() {
    QFETCH(QString, line);
    QFETCH(bool, accepted);
    QFETCH(int, offsetSeconds);
    std::string reason;
    const std::optional<JournalEntry> entry = ParseJournalLine(line.toStdString(), reason);
    QCOMPARE(entry.has_value(), accepted);
    QCOMPARE(reason.empty(), accepted);
    if (entry) {
        QCOMPARE(entry->offsetSeconds, offsetSeconds);
        QCOMPARE(entry->attempts, 3);
        QCOMPARE(entry->seconds, 31.5);
        QCOMPARE(entry->dial.value_or(""), std::string("connect"));
    }
}

void TestGalerie::textsFromTheJournalAreEscaped() {
    QTemporaryDir dir;
    const QString station = dir.filePath(QStringLiteral("<b>Hof&"));
    QVERIFY(QDir().mkpath(station));
    Write(station + "/protokoll.jsonl", Line(kMorning.toString(Qt::ISODate), "dial_failed", nullptr,
                                             "<script>alert(1)</script> \\\"x\\\" & 'y'") +
                                            "\n");
    const GalleryReport report = BuildGallery({dir.filePath(QStringLiteral("site")).toStdString(),
                                               {(station + "/protokoll.jsonl").toStdString()},
                                               kMorning.toMSecsSinceEpoch()});
    QVERIFY(!report.faulty);
    const QString index = Read(dir.filePath(QStringLiteral("site/index.html")));
    QVERIFY(index.contains(
        QStringLiteral("&lt;script&gt;alert(1)&lt;/script&gt; &quot;x&quot; &amp; &#39;y&#39;")));
    QVERIFY(index.contains(QStringLiteral("&lt;b&gt;Hof&amp;")));
    QVERIFY(!index.contains(QStringLiteral("<script>alert")));
    QVERIFY(!index.contains(QStringLiteral("<b>")));
}

void TestGalerie::refusedPictureNames_data() {
    QTest::addColumn<QString>("name"); // "@" stands for the journal's folder, "^" for the one above
    QTest::addColumn<bool>("taken");
    QTest::newRow("inside") << "a.jpg" << true;
    QTest::newRow("inside, absolute") << "@/a.jpg" << true;
    QTest::newRow("in a subfolder through dot-dot") << "sub/../a.jpg" << false;
    QTest::newRow("dot-dot") << "../aussen.jpg" << false;
    QTest::newRow("absolute elsewhere") << "^/aussen.jpg" << false;
    QTest::newRow("a link pointing out") << "link.jpg" << false;
    QTest::newRow("missing") << "fehlt.jpg" << false;
}

void TestGalerie::refusedPictureNames() {
    QFETCH(QString, name);
    QFETCH(bool, taken);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("station"));
    QVERIFY(QDir().mkpath(folder + "/sub"));
    QVERIFY(QFile::copy(QStringLiteral(SMALL_JPEG), folder + "/a.jpg"));
    QVERIFY(QFile::copy(QStringLiteral(SMALL_JPEG), dir.filePath(QStringLiteral("aussen.jpg"))));
    QVERIFY(::symlink("../aussen.jpg", (folder + "/link.jpg").toLocal8Bit().constData()) == 0);
    name.replace(QLatin1Char('@'), folder).replace(QLatin1Char('^'), dir.path());

    std::string reason;
    const auto location =
        LocatePicture((folder + "/protokoll.jsonl").toStdString(), name.toStdString(), reason);
    QCOMPARE(location.has_value(), taken);
    QCOMPARE(reason.empty(), taken);

    // The site builds the rest and reports the name; nothing from outside lands in it.
    Write(folder + "/protokoll.jsonl",
          Line(kMorning.toString(Qt::ISODate), "sound", name.toUtf8().constData()) + "\n");
    const QString site = dir.filePath(QStringLiteral("site"));
    const GalleryReport report = BuildGallery({site.toStdString(),
                                               {(folder + "/protokoll.jsonl").toStdString()},
                                               kMorning.toMSecsSinceEpoch()});
    QCOMPARE(report.faulty, !taken);
    QCOMPARE(QFile::exists(site + "/station/bilder/a.jpg"), taken);
    QVERIFY(QDir(site + "/station/bilder").entryList(QDir::Files).size() <= 1);
    QVERIFY(QFile::exists(site + "/index.html"));
}

void TestGalerie::unreadableLines_data() {
    QTest::addColumn<QByteArray>("tail"); // after one good line
    QTest::addColumn<bool>("faulty");
    QTest::addColumn<int>("entries");
    QTest::addColumn<QString>("note");
    QTest::newRow("whole") << QByteArray() << false << 1 << QString();
    QTest::newRow("torn last line")
        << QByteArray("{\"time\":\"2026-12-09T04:20") << false << 1 << "Zeile 2 ist unvollständig";
    QTest::newRow("bad line inside") << QByteArray("kaputt\n") << true << 1 << "Zeile 2 übergangen";
    QTest::newRow("another kind") << QByteArray("\xff\xd8\xff\xe0\0JFIF", 9) << true << 0
                                  << "keine Protokolldatei von merlon-capture";
}

void TestGalerie::unreadableLines() {
    QFETCH(QByteArray, tail);
    QFETCH(bool, faulty);
    QFETCH(int, entries);
    QFETCH(QString, note);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Hof.jsonl"));
    Write(path,
          Line(kMorning.toString(Qt::ISODate), "no_picture", nullptr) + "\n" + tail.toStdString());
    const Journal journal = ReadJournal(path.toStdString());
    QCOMPARE(journal.faulty, faulty);
    QCOMPARE(static_cast<int>(journal.entries.size()), entries);
    QCOMPARE(journal.notes.size(), note.isEmpty() ? 0u : 1u);
    if (!note.isEmpty())
        QVERIFY2(QString::fromStdString(journal.notes[0]).contains(note), journal.notes[0].c_str());
}

void TestGalerie::updateRedoesOnlyWhatChanged_data() {
    QTest::addColumn<int>("minutesLater");
    QTest::addColumn<QByteArray>("outcome");
    QTest::addColumn<int>("pagesWritten");
    QTest::addColumn<int>("thumbnailsMade");
    QTest::newRow("same day, a picture") << 10 << QByteArray("sound") << 1 << 1;
    QTest::newRow("same day, no picture") << 10 << QByteArray("line_dropped") << 1 << 0;
    QTest::newRow("next day: the day before links to it")
        << 24 * 60 << QByteArray("damaged") << 2 << 1;
}

void TestGalerie::updateRedoesOnlyWhatChanged() {
    QFETCH(int, minutesLater);
    QFETCH(QByteArray, outcome);
    QFETCH(int, pagesWritten);
    QFETCH(int, thumbnailsMade);
    QTemporaryDir dir;
    const QString journal = dir.filePath(QStringLiteral("Hof.jsonl"));
    std::string lines;
    for (int day = -2; day <= 0; ++day)
        for (int picture = 0; picture < 3; ++picture) {
            const QString name = QStringLiteral("b%1_%2.jpg").arg(day + 2).arg(picture);
            QVERIFY(QFile::copy(QStringLiteral(SMALL_JPEG), dir.filePath(name)));
            const QDateTime at = kMorning.addDays(day).addSecs(picture * 600);
            lines += Line(at.toString(Qt::ISODate), "sound", name.toUtf8().constData()) + "\n";
        }
    Write(journal, lines);
    const std::string site = dir.filePath(QStringLiteral("site")).toStdString();
    const GalleryReport first =
        BuildGallery({site, {journal.toStdString()}, kMorning.toMSecsSinceEpoch()});
    QCOMPARE(first.dayPagesWritten, 3);
    QCOMPARE(first.thumbnailsMade, 9);

    const QDateTime later = kMorning.addSecs(minutesLater * 60);
    QVERIFY(QFile::copy(QStringLiteral(SMALL_JPEG), dir.filePath(QStringLiteral("neu.jpg"))));
    const bool withPicture = outcome != "line_dropped";
    Write(
        journal,
        Line(later.toString(Qt::ISODate), outcome.constData(), withPicture ? "neu.jpg" : nullptr) +
            "\n",
        QIODevice::Append);
    const QDateTime now = later.addSecs(3600);
    const GalleryReport update =
        BuildGallery({site, {journal.toStdString()}, now.toMSecsSinceEpoch()});
    QVERIFY(!update.faulty);
    QCOMPARE(update.dayPagesWritten, pagesWritten);
    QCOMPARE(update.thumbnailsMade, thumbnailsMade);

    // The strip shows one mark per attempt of the last 24 hours: the day's
    // three and the new one, or the new one alone on the next day.
    const QString index = Read(QString::fromStdString(site + "/index.html"));
    QCOMPARE(index.count(QStringLiteral("data-outcome=")), minutesLater >= 24 * 60 ? 1 : 4);
}

QTEST_GUILESS_MAIN(TestGalerie)
#include "test_galerie.moc"
