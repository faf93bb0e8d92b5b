// The main window: its definition at start, and the recording conversion
// with every way it can end, as a user meets them through the dialogs.
#include "capture/hex_capture.h"
#include "picture/jpeg_encoder.h"
#include "picture/picture_view.h"
#include "tests/support/windows/recording_message_reporter.h"
#include "tests/support/windows/scripted_file_dialogs.h"
#include "ui_Unit1.h"
#include "ui_Unit2.h"
#include "windows/Unit1.h"
#include "windows/failure_guard.h"
#include "windows/program_windows.h"

#include <QMessageBox>
#include <QtTest>
#include <csignal>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string smallJpeg() {
    std::vector<unsigned char> rgb;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x)
            rgb.insert(rgb.end(),
                       {static_cast<unsigned char>(x * 6), 90, static_cast<unsigned char>(y * 10)});
    return EncodeJpeg(rgb.data(), 40, 24, 85);
}

// A terminal capture: modem chatter, then the stream, then more chatter.
std::string recordingOf(const std::string& bytes) {
    return "AT\r\r\nOK\r\nATD 0157\r\r\nCONNECT 9600\r\nCAM_B\r\n" + EncodeHexPairs(bytes) +
           "CAM_E\r\n\r\nNO CARRIER\r\n";
}

void writeFile(const QString& path, const std::string& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

std::string readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll().toStdString();
}

// The message libjpeg gives for a stream that holds no data at all.
int emptyInputCode() {
    return JERR_INPUT_EMPTY;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

private slots:
    void startsAsDefined() {
        TForm1 form;
        form.show();
        Ui::TForm1& ui = form.controls();
        QCOMPARE(form.windowTitle(), QStringLiteral("Merlon EVA [QX-PC-Konverter]"));
        QCOMPARE(form.centralWidget()->size(), QSize(705, 486));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(form.Timer1().isActive());
        QCOMPARE(form.Timer1().interval(), 1000);
        QVERIFY(!form.Timer2().isActive());
        QVERIFY(form.captureBuffer().empty());
        QCOMPARE(ui.Memo2->toPlainText().split(u'\n'),
                 QStringList(
                     {"Programmbeschreibung:", QString(37, u'-'), "",
                      "Das Programm dient der Erweiterung", "der Merlon Evolutionboards.", "",
                      "Das Programm konvertiert formatierte", "StringHex Dateien in Bilddateien.",
                      "", "Die Bilddateien können sowohl in", "Hex-, als auch in ASCII-Darstellung",
                      "betrachtet werden.", "", "Bilder können automatisiert über die serielle",
                      "Schnittstelle erfasst werden."}));
        QVERIFY(!ui.Memo2->isReadOnly());
        // The grids as the window shows them: one empty row under the header.
        QCOMPARE(ui.StringGrid1->cells().gridRows(), 2);
        QCOMPARE(ui.StringGrid1->cells().gridColumns(), 17);
        QCOMPARE(ui.StringGrid1->width(), 380);
        QCOMPARE(ui.StringGrid2->width(), 300);
        QCOMPARE(ui.StringGrid1->cells().cell(0, 0), QStringLiteral("  /"));
        QCOMPARE(ui.StringGrid2->cells().cell(0, 0), QStringLiteral("/"));
        // The logo is the first picture shown.
        ui.Image1->grab();
        QCOMPARE(ui.Image1->decodedImage().size(), QSize(32, 32));
    }

    void controlsSitWhereDefined_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("CheckBox1") << "CheckBox1" << QRect(400, 216, 97, 17) << "Bild anzeigen";
        QTest::newRow("Button3") << "Button3" << QRect(400, 296, 145, 25)
                                 << "Datenverbindung aufbauen";
        QTest::newRow("Edit1") << "Edit1" << QRect(480, 272, 105, 21) << "0157";
        QTest::newRow("Button4") << "Button4" << QRect(400, 352, 75, 25) << "BILD";
        QTest::newRow("Edit2") << "Edit2" << QRect(480, 248, 105, 21) << "Kamera";
        QTest::newRow("CheckBox2") << "CheckBox2" << QRect(488, 360, 49, 17) << "Blitz";
        QTest::newRow("CheckBox3") << "CheckBox3" << QRect(536, 360, 49, 17) << "Direkt";
        QTest::newRow("CheckBox4") << "CheckBox4" << QRect(592, 360, 49, 17) << "Groß";
        QTest::newRow("CheckBox5") << "CheckBox5" << QRect(512, 328, 105, 17) << "ohne Reconnect";
        QTest::newRow("CheckBox6") << "CheckBox6" << QRect(400, 328, 41, 17) << "alle";
        QTest::newRow("Edit3") << "Edit3" << QRect(440, 328, 25, 21) << "3";
        QTest::newRow("CheckBox7") << "CheckBox7" << QRect(624, 328, 97, 17) << "Fortlaufend";
        QTest::newRow("Memo2") << "Memo2" << QRect(400, 392, 297, 65) << "";
        QTest::newRow("Image1") << "Image1" << QRect(8, 216, 320, 240) << "";
        QTest::newRow("StringGrid1") << "StringGrid1" << QRect(8, 16, 380, 177) << "";
        QTest::newRow("StringGrid2") << "StringGrid2" << QRect(400, 16, 300, 177) << "";
        QTest::newRow("Label1") << "Label1" << QRect(8, 0, -1, -1) << "HEX-Darstellung";
        QTest::newRow("Label2") << "Label2" << QRect(400, 0, -1, -1) << "ASCII-Darstellung";
        QTest::newRow("Label3") << "Label3" << QRect(8, 200, -1, -1) << "Bilddarstellung";
        QTest::newRow("Label4") << "Label4" << QRect(400, 272, -1, -1) << "Telefonnummer:";
        QTest::newRow("Label5") << "Label5" << QRect(400, 248, -1, -1) << "Speichername:";
        QTest::newRow("Label6") << "Label6" << QRect(584, 256, -1, -1) << ".jpg";
        QTest::newRow("Label7") << "Label7" << QRect(464, 328, -1, -1) << "Minuten";
    }
    void controlsSitWhereDefined() {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        TForm1 form;
        form.show();
        auto* widget = form.findChild<QWidget*>(name);
        QVERIFY(widget);
        QVERIFY(widget->isVisible());
        QCOMPARE(widget->pos(), geometry.topLeft());
        if (geometry.width() > 0)
            QCOMPARE(widget->size(), geometry.size());
        if (!text.isEmpty())
            QCOMPARE(widget->property("text").toString(), text);
        if (name.startsWith("CheckBox"))
            QCOMPARE(widget->property("checked").toBool(), name == "CheckBox1");
    }

    void menuHoldsBothEntriesInOrder() {
        TForm1 form;
        QStringList seen;
        for (QAction* top : form.menuBar()->actions()) {
            seen << top->text();
            for (QAction* item : top->menu()->actions())
                seen << "  " + item->text();
        }
        QCOMPARE(seen, QStringList({"Datei", "  Aufnahme öffnen", "  Beenden", "Aufnahme",
                                    "  COM-Einstellungen", "  COM schließen", "  Listenansicht"}));
    }

    void beendenEndsTheProcessAtOnce() {
        TForm1 form;
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            form.Beenden1Click();
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    void conversionWritesShowsAndLists() {
        RecordingMessageReporter reporter;
        ScriptedFileDialogs dialogs;
        const std::string jpeg = smallJpeg();
        writeFile(path("aufnahme.txt"), recordingOf(jpeg));
        dialogs.openAnswers = {path("aufnahme.txt")};
        dialogs.saveAnswers = {path("bild")};
        TForm1 form;
        form.show();
        form.controls().Aufnahmeffnen1->trigger();

        QCOMPARE(dialogs.asked, QStringList({"open|Mitschnitt oeffnen.|*.*",
                                             "save|Speicherort und Dateinamen eingeben.|.jpg"}));
        QVERIFY(reporter.texts.isEmpty());
        QCOMPARE(readFile(path("bild.jpg")), jpeg);
        PictureView* view = form.controls().Image1;
        view->grab();
        QCOMPARE(view->decodedImage().size(), QSize(40, 24));
        StringGrid* hex = form.controls().StringGrid1;
        StringGrid* ascii = form.controls().StringGrid2;
        QCOMPARE(hex->cells().gridRows(), int(jpeg.size() / 16 + 2));
        QCOMPARE(ascii->cells().gridRows(), int(jpeg.size() / 16 + 2));
        QCOMPARE(hex->cells().cell(1, 1), QStringLiteral("FF"));
        QCOMPARE(hex->cells().cell(2, 1), QStringLiteral("D8"));
        QCOMPARE(ascii->cells().cell(1, 1), QString(QChar(0xFF)));
        const int last = int(jpeg.size());
        QCOMPARE(hex->cells().cell((last - 1) % 16 + 1, (last - 1) / 16 + 1), QStringLiteral("D9"));
    }

    void outputNameAlwaysGetsJpgAppended_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::newRow("plain name") << "bild"
                                    << "bild.jpg";
        QTest::newRow("already .jpg") << "bild.jpg"
                                      << "bild.jpg.jpg";
        QTest::newRow("other extension") << "bild.txt"
                                         << "bild.txt.jpg";
    }
    void outputNameAlwaysGetsJpgAppended() {
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        RecordingMessageReporter reporter;
        ScriptedFileDialogs dialogs;
        QTemporaryDir here;
        writeFile(here.filePath("r.txt"), recordingOf("\x01\x02"));
        dialogs.openAnswers = {here.filePath("r.txt")};
        dialogs.saveAnswers = {here.filePath(chosen)};
        TForm1 form;
        form.controls().CheckBox1->setChecked(false);
        form.Button1Click();
        QStringList expected{"r.txt", written};
        expected.sort();
        QCOMPARE(QDir(here.path()).entryList(QDir::Files, QDir::Name), expected);
        QCOMPARE(readFile(here.filePath(written)), std::string("\x01\x02"));
    }

    void recordingIsLoadedByTheTextRules_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("buffer");
        QTest::newRow("CR LF kept") << QByteArray("a\r\nb") << QByteArray("a\r\nb");
        QTest::newRow("LF alone") << QByteArray("a\nb\n") << QByteArray("a\r\nb\r\n");
        QTest::newRow("CR alone") << QByteArray("a\rb") << QByteArray("a\r\nb");
        QTest::newRow("LF CR is two breaks") << QByteArray("a\n\rb") << QByteArray("a\r\n\r\nb");
        QTest::newRow("NUL ends the text")
            << QByteArray("CAM_B\r\nFF \0D8 ", 14) << QByteArray("CAM_B\r\nFF ");
        QTest::newRow("8-bit letters kept") << QByteArray("Gr\xf6\xdf"
                                                          "e \x80")
                                            << QByteArray("Gr\xf6\xdf"
                                                          "e \x80");
    }
    void recordingIsLoadedByTheTextRules() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, buffer);
        RecordingMessageReporter reporter;
        ScriptedFileDialogs dialogs;
        writeFile(path("rules.txt"), file.toStdString());
        dialogs.openAnswers = {path("rules.txt")};
        dialogs.saveAnswers = {path("rules")};
        TForm1 form;
        form.controls().CheckBox1->setChecked(false);
        form.Button1Click();
        QCOMPARE(QByteArray::fromStdString(form.captureBuffer()), buffer);
    }

    void cancelledOpenGoesOnWithTheBuffer() {
        RecordingMessageReporter reporter;
        ScriptedFileDialogs dialogs;
        writeFile(path("first.txt"), recordingOf("\xAB\xCD"));
        dialogs.openAnswers = {path("first.txt"), std::nullopt};
        dialogs.saveAnswers = {path("one"), path("two")};
        TForm1 form;
        form.controls().CheckBox1->setChecked(false);
        form.Button1Click();
        form.Button1Click();
        QVERIFY(reporter.texts.isEmpty());
        QCOMPARE(readFile(path("two.jpg")), std::string("\xAB\xCD"));
    }

    void eachFailureReachesTheMessageBox_data() {
        QTest::addColumn<QString>("recording"); // empty: a recording that exists
        QTest::addColumn<QString>("saveAs");    // empty: cancel the save dialog
        QTest::addColumn<QString>("message");
        const QString missing = dir_.filePath("fehlt.txt");
        QTest::newRow("recording missing") << missing << "x"
                                           << "Datei " + missing + " kann nicht geöffnet werden.";
        QTest::newRow("save cancelled") << ""
                                        << ""
                                        << "Datei  kann nicht erstellt werden.";
        const QString noDir = dir_.filePath("gibtsnicht/bild");
        QTest::newRow("folder missing")
            << "" << noDir << "Datei " + noDir + ".jpg kann nicht erstellt werden.";
    }
    void eachFailureReachesTheMessageBox() {
        QFETCH(QString, recording);
        QFETCH(QString, saveAs);
        QFETCH(QString, message);
        RecordingMessageReporter reporter;
        ScriptedFileDialogs dialogs;
        writeFile(path("gut.txt"), recordingOf(smallJpeg()));
        dialogs.openAnswers = {recording.isEmpty() ? path("gut.txt") : recording};
        if (saveAs.isEmpty())
            dialogs.saveAnswers = {std::nullopt};
        else
            dialogs.saveAnswers = {QDir::isAbsolutePath(saveAs) ? saveAs : path(saveAs)};
        TForm1 form;
        form.show();
        form.controls().Aufnahmeffnen1->trigger();
        QCOMPARE(reporter.texts, QStringList{message});
        QCOMPARE(reporter.titles.first(), MessageBoxTitle(QCoreApplication::applicationFilePath()));
        // Nothing was listed: the grids keep their one empty row.
        QCOMPARE(form.controls().StringGrid1->cells().gridRows(), 2);
    }

    // Saving over the recording just opened, under whatever name, is refused
    // with the recording, the picture view and the grids as they were.
    void neverSavesOverTheRecordingOpened_data() {
        QTest::addColumn<QString>("saveAs"); // ".jpg" is appended
        QTest::newRow("same name") << "mitschnitt";
        QTest::newRow("spelled otherwise") << "./mitschnitt";
        QTest::newRow("hard link") << "verknuepft";
    }
    void neverSavesOverTheRecordingOpened() {
        QFETCH(QString, saveAs);
        RecordingMessageReporter reporter;
        ScriptedFileDialogs dialogs;
        QTemporaryDir here;
        const std::string recording = "CAM_B\r\n" + EncodeHexPairs(smallJpeg()) + "CAM_E\r\n";
        writeFile(here.filePath("mitschnitt.jpg"), recording);
        QCOMPARE(::link(QFile::encodeName(here.filePath("mitschnitt.jpg")).constData(),
                        QFile::encodeName(here.filePath("verknuepft.jpg")).constData()),
                 0);
        const QString output = here.path() + "/" + saveAs + ".jpg";
        dialogs.openAnswers = {here.filePath("mitschnitt.jpg")};
        dialogs.saveAnswers = {here.path() + "/" + saveAs};
        TForm1 form;
        form.show();
        form.controls().Aufnahmeffnen1->trigger();
        QCOMPARE(reporter.texts, QStringList{"Datei " + output +
                                             " ist der Mitschnitt selbst und wird nicht ersetzt."});
        QCOMPARE(readFile(here.filePath("mitschnitt.jpg")), recording);
        QCOMPARE(form.captureBuffer(), recording);
        QCOMPARE(form.controls().StringGrid1->cells().gridRows(), 2);
        form.controls().Image1->grab();
        QCOMPARE(form.controls().Image1->decodedImage().size(), QSize(32, 32)); // the logo stays
    }

    // A folder nobody may write to (as root, where permissions give way, one
    // of the kernel's): the message, and the recording stays in the capture
    // buffer, so the next save with the open dialog cancelled writes it whole.
    void unwritableFolderKeepsTheCapture() {
        RecordingMessageReporter reporter;
        ScriptedFileDialogs dialogs;
        QString folder = QStringLiteral("/proc/self");
        if (::geteuid() != 0) {
            folder = path("schreibgeschuetzt");
            QVERIFY(QDir().mkdir(folder));
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        }
        writeFile(path("gut.txt"), recordingOf(smallJpeg()));
        dialogs.openAnswers = {path("gut.txt"), std::nullopt};
        dialogs.saveAnswers = {folder + "/bild", path("danach")};
        TForm1 form;
        form.controls().CheckBox1->setChecked(false);
        Guarded([&] { form.Button1Click(); });
        QCOMPARE(reporter.texts,
                 QStringList{"Datei " + folder + "/bild.jpg kann nicht erstellt werden."});
        Guarded([&] { form.Button1Click(); });
        QCOMPARE(reporter.texts.size(), 1);
        QCOMPARE(readFile(path("danach.jpg")), smallJpeg());
    }

    void badHeaderIsReportedAfterTheFileIsWritten() {
        RecordingMessageReporter reporter;
        ScriptedFileDialogs dialogs;
        writeFile(path("kaputt.txt"), recordingOf(std::string("\x00\x11\x22", 3)));
        dialogs.openAnswers = {path("kaputt.txt")};
        dialogs.saveAnswers = {path("kaputt")};
        TForm1 form;
        form.show();
        form.controls().Aufnahmeffnen1->trigger();
        QCOMPARE(reporter.texts.size(), 1);
        QVERIFY2(reporter.texts.first().startsWith("JPEG-Fehler #"),
                 qPrintable(reporter.texts.first()));
        QCOMPARE(readFile(path("kaputt.jpg")), std::string("\x00\x11\x22", 3));
        QCOMPARE(form.controls().StringGrid1->cells().gridRows(), 2);
        form.controls().Image1->grab();
        QCOMPARE(form.controls().Image1->decodedImage().size(), QSize(32, 32)); // the logo stays
    }

    void noStartMarkerGivesAnEmptyFileAndADrawingError() {
        RecordingMessageReporter reporter;
        ScriptedFileDialogs dialogs;
        writeFile(path("ohne.txt"), "AT\r\nOK\r\nFF D8 FF D9 \r\n");
        dialogs.openAnswers = {path("ohne.txt")};
        dialogs.saveAnswers = {path("leer")};
        TForm1 form;
        form.show();
        form.controls().Aufnahmeffnen1->trigger();
        QVERIFY(reporter.texts.isEmpty());
        QCOMPARE(readFile(path("leer.jpg")), std::string());
        QCOMPARE(form.controls().StringGrid1->cells().gridRows(), 2);
        form.controls().Image1->grab();
        QTRY_COMPARE(reporter.texts.size(), 1);
        QCOMPARE(reporter.texts.first(), QString("JPEG-Fehler #%1.").arg(emptyInputCode()));
        form.controls().Image1->grab();
        QCoreApplication::processEvents();
        QCOMPARE(reporter.texts.size(), 1); // reported once, not on every drawing
    }

    void fullDiskIsAStreamWriteError() {
        RecordingMessageReporter reporter;
        ScriptedFileDialogs dialogs;
        const std::string jpeg = smallJpeg();
        writeFile(path("gross.txt"), recordingOf(jpeg));
        dialogs.openAnswers = {path("gross.txt")};
        dialogs.saveAnswers = {path("voll")};
        TForm1 form;
        form.controls().CheckBox1->setChecked(false);

        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 100;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        Guarded([&] { form.Button1Click(); });
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        QCOMPARE(reporter.texts, QStringList{"Stream-Write-Fehler."});
        QCOMPARE(readFile(path("voll.jpg")), jpeg.substr(0, 100));
    }

    // The real box, opened from the capture tick: the tick goes on under it,
    // so a picture whose folder appears meanwhile is stored while the box
    // is still open.
    void failureBoxLeavesTheCaptureRunning() {
        const QString folder = path("spaeter");
        ProgramWindows windows;
        Ui::TForm1& ui = windows.form1.controls();
        ui.CheckBox1->setChecked(false);
        ui.Edit2->setText(folder + "/Kamera");
        ui.Edit3->setText("1");
        ui.CheckBox6->setChecked(true); // interval mode, as a station runs at night
        windows.form2.controls().Memo1->appendBytes(recordingOf(smallJpeg()));
        auto openBox = [] {
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                    return box;
            return static_cast<QMessageBox*>(nullptr);
        };
        // Should a box ever block the tick again, close it after a while so
        // that the test fails instead of hanging.
        QTimer::singleShot(20000, [&] {
            if (QMessageBox* box = openBox())
                box->reject();
        });
        QTRY_VERIFY_WITH_TIMEOUT(openBox() != nullptr, 5000);
        QVERIFY(openBox()->text().endsWith(QStringLiteral(" kann nicht erstellt werden.")));
        QCOMPARE(openBox()->icon(), QMessageBox::Critical);

        QVERIFY(QDir().mkdir(folder));
        QTRY_COMPARE_WITH_TIMEOUT(QDir(folder).entryList({"*.jpg"}, QDir::Files).size(), 1,
                                  5000);
        QVERIFY(openBox() != nullptr);
        QCOMPARE(readFile(folder + "/" + QDir(folder).entryList({"*.jpg"}).first()),
                 smallJpeg());
        openBox()->accept();
    }

    void checkBoxClearKeepsThePicture() {
        RecordingMessageReporter reporter;
        ScriptedFileDialogs dialogs;
        writeFile(path("zwei.txt"), recordingOf(smallJpeg()));
        dialogs.openAnswers = {path("zwei.txt")};
        dialogs.saveAnswers = {path("zwei")};
        TForm1 form;
        form.controls().CheckBox1->setChecked(false);
        form.Button1Click();
        form.controls().Image1->grab();
        QCOMPARE(form.controls().Image1->decodedImage().size(), QSize(32, 32));
        QVERIFY(reporter.texts.isEmpty());
    }

    void hexSelectionMovesTheAsciiCellOneWay() {
        RecordingMessageReporter reporter;
        ScriptedFileDialogs dialogs;
        writeFile(path("auswahl.txt"), recordingOf(smallJpeg()));
        dialogs.openAnswers = {path("auswahl.txt")};
        dialogs.saveAnswers = {path("auswahl")};
        TForm1 form;
        form.show();
        form.controls().CheckBox1->setChecked(false);
        form.Button1Click();
        StringGrid* hex = form.controls().StringGrid1;
        StringGrid* ascii = form.controls().StringGrid2;
        hex->setCurrentCell(5, 3);
        QCOMPARE(ascii->currentCell(), QPoint(5, 3));
        ascii->setCurrentCell(9, 7);
        QCOMPARE(hex->currentCell(), QPoint(5, 3));
        QCOMPARE(ascii->currentCell(), QPoint(9, 7));
    }

    void minutesMessageQuotesWhatWasTyped_data() {
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<QString>("message");
        QTest::newRow("umlaut") << "fünf"
                                << "'fünf' ist kein gültiger Integerwert.";
        QTest::newRow("euro sign, a high byte in Windows-1252")
            << "€5"
            << "'€5' ist kein gültiger Integerwert.";
        QTest::newRow("space after") << "-1 "
                                     << "'-1 ' ist kein gültiger Integerwert.";
        QTest::newRow("too many") << "71583"
                                  << "'71583' ist keine gültige Anzahl Minuten, erlaubt sind 0 "
                                     "bis 71582.";
    }
    void minutesMessageQuotesWhatWasTyped() {
        QFETCH(QString, minutes);
        QFETCH(QString, message);
        RecordingMessageReporter reporter;
        TForm1 form;
        form.controls().Edit3->setText(minutes);
        form.controls().CheckBox6->setChecked(true);
        QCOMPARE(reporter.texts, QStringList{message});
    }

    void modeBoxesFollowTheirInterlocks_data() {
        QTest::addColumn<QString>("clicks"); // the boxes ticked or cleared, in order
        QTest::addColumn<QString>("ticked"); // afterwards: 5, 6, 7
        QTest::addColumn<bool>("buttonsShown");
        QTest::newRow("alle") << "6" << "6" << false;
        QTest::newRow("Fortlaufend after alle") << "6 7" << "5 7" << true;
        QTest::newRow("alle after Fortlaufend") << "7 6" << "5 6" << false;
        QTest::newRow("ohne Reconnect held by Fortlaufend") << "7 5" << "5 7" << true;
        QTest::newRow("bad minutes") << "3 6" << "6" << false;
    }
    void modeBoxesFollowTheirInterlocks() {
        QFETCH(QString, clicks);
        RecordingMessageReporter reporter;
        TForm1 form;
        Ui::TForm1& ui = form.controls();
        QCheckBox* boxes[] = {ui.CheckBox5, ui.CheckBox6, ui.CheckBox7};
        for (const QString& click : clicks.split(u' ')) {
            if (click == "3") {
                ui.Edit3->setText(QStringLiteral("drei"));
                continue;
            }
            QCheckBox* box = boxes[click.toInt() - 5];
            box->setChecked(!box->isChecked());
        }
        QStringList ticked;
        for (int k = 0; k < 3; ++k)
            if (boxes[k]->isChecked())
                ticked << QString::number(k + 5);
        QTEST(ticked.join(u' '), "ticked");
        QTEST(!ui.Button3->isHidden(), "buttonsShown");
        QTEST(!ui.Button4->isHidden(), "buttonsShown");
        QCOMPARE(reporter.texts.size(), clicks.startsWith(u'3') ? 1 : 0);
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
