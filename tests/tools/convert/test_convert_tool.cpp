// merlon-convert as a user runs it: the stored recordings turned into the
// picture they hold, the output names, the report lines and the exit codes.
#include <QtTest>

#include <sys/resource.h>

namespace {

const QString kTool = QStringLiteral(MERLON_CONVERT_PATH);
const QString kData = QStringLiteral(MERLON_TEST_DATA_DIR);

QByteArray Contents(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "(missing)";
    return file.readAll();
}

struct Run {
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QString out;
    QString err;
};

} // namespace

class TestConvertTool : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QByteArray picture_;

    // Runs the tool in the temporary directory; limit, when set, is applied
    // to the child only.
    Run runTool(const QStringList& arguments, int resource = -1, rlim_t limit = 0) {
        QProcess process;
        process.setWorkingDirectory(dir_.path());
        if (resource >= 0) {
            process.setChildProcessModifier([resource, limit] {
                rlimit lowered{limit, limit};
                ::setrlimit(resource, &lowered);
            });
        }
        process.start(kTool, arguments);
        Run run;
        if (!process.waitForFinished(60000))
            return run;
        run.exitCode = process.exitCode();
        run.status = process.exitStatus();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    QString copyRecording(const QString& name, const QString& as) {
        const QString target = dir_.filePath(as);
        QFile::remove(target);
        QFile::copy(kData + "/" + name, target);
        return target;
    }

    QString store(const QString& name, const QByteArray& bytes) {
        QFile file(dir_.filePath(name));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(bytes);
        return file.fileName();
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QVERIFY(QFile::exists(kTool));
        picture_ = Contents(kData + "/small.jpg");
        QVERIFY(picture_.startsWith("\xff\xd8"));
    }

    void convertsStoredRecordings_data() {
        QTest::addColumn<QString>("recording");
        QTest::addColumn<int>("pictureBytes");
        QTest::addColumn<QString>("endNote");
        QTest::newRow("wrapped CR LF capture")
            << "recording_wrapped.txt" << -1 << "Endemarke gesehen";
        QTest::newRow("LF-only capture") << "recording_lf.txt" << -1 << "Endemarke gesehen";
        QTest::newRow("two pictures: the first")
            << "recording_two_pictures.txt" << -1 << "Endemarke gesehen";
        QTest::newRow("cut off before the end") << "recording_cut.txt" << 300 << "keine Endemarke";
    }

    void convertsStoredRecordings() {
        QFETCH(QString, recording);
        QFETCH(int, pictureBytes);
        QFETCH(QString, endNote);
        const QByteArray expected = pictureBytes < 0 ? picture_ : picture_.left(pictureBytes);
        copyRecording(recording, "aufnahme.txt");
        QFile::remove(dir_.filePath("aufnahme.jpg"));

        const Run run = runTool({"aufnahme.txt"});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out,
                 QStringLiteral("aufnahme.jpg: %1 Bytes, %2\n").arg(expected.size()).arg(endNote));
        QCOMPARE(Contents(dir_.filePath("aufnahme.jpg")), expected);
    }

    void outputNamedExactly_data() {
        QTest::addColumn<QString>("output");
        QTest::newRow("with .jpg") << "bild.jpg";
        QTest::newRow("without extension") << "bild";
        QTest::newRow("other extension") << "bild.dat";
    }

    void outputNamedExactly() {
        QFETCH(QString, output);
        copyRecording("recording_wrapped.txt", "rec.txt");
        QFile::remove(dir_.filePath(output));
        QFile::remove(dir_.filePath(output + ".jpg"));
        const Run run = runTool({"rec.txt", "-o", output});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out,
                 output + QStringLiteral(": %1 Bytes, Endemarke gesehen\n").arg(picture_.size()));
        QCOMPARE(Contents(dir_.filePath(output)), picture_);
        QVERIFY(!QFile::exists(dir_.filePath(output + ".jpg")));
    }

    void severalIntoDirectory() {
        QDir(dir_.path()).mkpath("ein/a");
        QDir(dir_.path()).mkpath("aus");
        copyRecording("recording_wrapped.txt", "ein/eins.txt");
        copyRecording("recording_cut.txt", "ein/a/zwei.log");
        const Run run = runTool({"ein/eins.txt", "-d", "aus", "ein/a/zwei.log"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QStringLiteral("aus/eins.jpg: %1 Bytes, Endemarke gesehen\n"
                                         "aus/zwei.jpg: 300 Bytes, keine Endemarke\n")
                              .arg(picture_.size()));
        QCOMPARE(Contents(dir_.filePath("aus/eins.jpg")), picture_);
        QCOMPARE(Contents(dir_.filePath("aus/zwei.jpg")), picture_.left(300));
    }

    void severalBesideThemselves() {
        QDir(dir_.path()).mkpath("neben");
        copyRecording("recording_lf.txt", "neben/x.txt");
        copyRecording("recording_two_pictures.txt", "neben/y");
        const Run run = runTool({"neben/x.txt", "neben/y"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out.count('\n'), 2);
        QCOMPARE(Contents(dir_.filePath("neben/x.jpg")), picture_);
        QCOMPARE(Contents(dir_.filePath("neben/y.jpg")), picture_);
    }

    void recordingWithoutStream() {
        store("leer.txt", "AT\r\r\nOK\r\nNO CARRIER\r\n");
        const Run run = runTool({"leer.txt"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QStringLiteral("leer.jpg: 0 Bytes, keine Endemarke\n"));
        QVERIFY(QFile::exists(dir_.filePath("leer.jpg")));
        QCOMPARE(Contents(dir_.filePath("leer.jpg")), QByteArray());
    }

    void nulEndsTheRecording() {
        store("nul.txt", QByteArray("CAM_B\r\nFF D8 FF \0E0 CAM_E\r\n", 27));
        const Run run = runTool({"nul.txt"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.out, QStringLiteral("nul.jpg: 3 Bytes, keine Endemarke\n"));
        QCOMPARE(Contents(dir_.filePath("nul.jpg")), QByteArray("\xff\xd8\xff"));
    }

    // A failure is reported and the other recordings are still converted.
    void failuresLeaveOthersDone_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("writtenFile");
        QTest::newRow("missing recording")
            << QStringList{"fehlt.txt", "gut.txt"}
            << "merlon-convert: Datei fehlt.txt kann nicht geöffnet werden\n"
            << "gut.jpg";
        QTest::newRow("output cannot be created")
            << QStringList{"gut.txt", "-d", "kein-verzeichnis"}
            << "merlon-convert: Datei kein-verzeichnis/gut.jpg kann nicht erstellt werden\n"
            << QString();
        // A device that is always full: the write fails as on a full disk.
        QTest::newRow("disk full")
            << QStringList{"gut.txt", "-o", "/dev/full"} << "merlon-convert: Stream-Write-Fehler\n"
            << QString();
        QTest::newRow("output would replace the recording")
            << QStringList{"selbst.jpg", "gut.txt"}
            << "merlon-convert: Datei selbst.jpg ist der Mitschnitt selbst und wird nicht "
               "ersetzt\n"
            << "gut.jpg";
    }

    void failuresLeaveOthersDone() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        QFETCH(QString, writtenFile);
        copyRecording("recording_wrapped.txt", "gut.txt");
        const QString self = copyRecording("recording_wrapped.txt", "selbst.jpg");
        QFile::remove(dir_.filePath("gut.jpg"));

        const Run run = runTool(arguments);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, message);
        if (!writtenFile.isEmpty())
            QCOMPARE(Contents(dir_.filePath(writtenFile)), picture_);
        QCOMPARE(Contents(self), Contents(kData + "/recording_wrapped.txt"));
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("-o with several") << QStringList{"gut.txt", "b.txt", "-o", "x.jpg"};
        QTest::newRow("-o without name") << QStringList{"gut.txt", "-o"};
        QTest::newRow("-d without name") << QStringList{"gut.txt", "-d"};
        QTest::newRow("-o and -d") << QStringList{"gut.txt", "-o", "x.jpg", "-d", "."};
        QTest::newRow("-o twice") << QStringList{"gut.txt", "-o", "x.jpg", "-o", "y.jpg"};
        QTest::newRow("unknown option") << QStringList{"--quality", "gut.txt"};
        QTest::newRow("only an output") << QStringList{"-o", "x.jpg"};
    }

    void usageErrors() {
        QFETCH(QStringList, arguments);
        copyRecording("recording_wrapped.txt", "gut.txt");
        QFile::remove(dir_.filePath("gut.jpg"));
        QFile::remove(dir_.filePath("x.jpg"));
        const Run run = runTool(arguments);
        QCOMPARE(run.exitCode, 2);
        QCOMPARE(run.out, QString());
        QVERIFY2(run.err.contains("Aufruf: merlon-convert"), qPrintable(run.err));
        QVERIFY(!QFile::exists(dir_.filePath("gut.jpg")));
        QVERIFY(!QFile::exists(dir_.filePath("x.jpg")));
    }

    void help() {
        const Run run = runTool({"--help"});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QString());
        QVERIFY(run.out.startsWith("Aufruf: merlon-convert"));
        QVERIFY(run.out.contains("-o AUSGABE"));
        QVERIFY(run.out.contains("-d VERZEICHNIS"));
        QVERIFY(run.out.contains("Rückgabewert"));
    }

    // A full disk, played by a file-size limit on the tool: the tool reports
    // it instead of being killed, and the file keeps what was written.
    void shortWriteReported() {
        copyRecording("recording_wrapped.txt", "voll.txt");
        const Run run = runTool({"voll.txt"}, RLIMIT_FSIZE, 500);
        QCOMPARE(run.status, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, QStringLiteral("merlon-convert: Stream-Write-Fehler\n"));
        QCOMPARE(Contents(dir_.filePath("voll.jpg")), picture_.left(500));
    }

    // The tool's memory limit sets how long a text it takes may be.
    void recordingLargerThanMemory() {
        store("riesig.txt", QByteArray(3 << 20, 'F'));
        const Run run = runTool({"riesig.txt"}, RLIMIT_RSS, rlim_t{8} << 20);
        QCOMPARE(run.status, QProcess::NormalExit);
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(run.err, QStringLiteral("merlon-convert: Datei riesig.txt ist zu groß für den "
                                         "Arbeitsspeicher\n"));
        QVERIFY(!QFile::exists(dir_.filePath("riesig.jpg")));
    }
};

QTEST_GUILESS_MAIN(TestConvertTool)
#include "test_convert_tool.moc"
