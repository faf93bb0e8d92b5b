// Qt's own texts speak German once the program's loader ran, and the open
// dialog takes a typed name of a missing file, so that the conversion says
// itself that it cannot open it.
#include "tests/support/recording_message_reporter.h"
#include "ui_Unit1.h"
#include "windows/Unit1.h"
#include "windows/qt_translations.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QtTest>

class GermanDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(LoadGermanQtTranslations()); }

    void qtButtonsAreGerman_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("Cancel") << int(QDialogButtonBox::Cancel) << "Abbrechen";
        QTest::newRow("Open") << int(QDialogButtonBox::Open) << "Öffnen";
        QTest::newRow("Save") << int(QDialogButtonBox::Save) << "Speichern";
    }
    void qtButtonsAreGerman() {
        QFETCH(int, button);
        QFETCH(QString, text);
        const auto which = QDialogButtonBox::StandardButton(button);
        QDialogButtonBox box(which);
        QCOMPARE(box.button(which)->text(), text);
    }

    void openingAMissingFileIsTheProgramsOwnFailure() {
        RecordingMessageReporter reporter;
        QTemporaryDir folder;
        const QString missing = folder.filePath("fehlt.txt");
        TForm1 form;
        // Types the name into the dialog once it is up, as a user would.
        QTimer typist;
        connect(&typist, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                typist.stop();
                dialog->selectFile(missing);
                static_cast<QDialog*>(dialog)->accept();
            }
        });
        typist.start(20);
        form.controls().Aufnahmeffnen1->trigger();
        QCOMPARE(reporter.texts, QStringList{"Datei " + missing + " kann nicht geöffnet werden."});
    }
};

QTEST_MAIN(GermanDialogsTest)
#include "test_german_dialogs.moc"
