// Qt's own texts speak German once the program's loader ran, and the open
// dialog takes a typed name of a missing file, so that the conversion says
// itself that it cannot open it.
#include "tests/support/windows/recording_message_reporter.h"
#include "ui_Unit1.h"
#include "windows/Unit1.h"
#include "windows/qt_translations.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPushButton>
#include <QLineEdit>
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
        // Types the name into the dialog once it is up, as a user would; a
        // dialog that refuses it, or any later one, is cancelled, so that the
        // test fails instead of waiting forever.
        QTimer typist;
        bool answered = false;
        connect(&typist, &QTimer::timeout, [&] {
            auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            // Queued: a refusal opens its own box, which must not block the typist.
            if (dialog && !answered) {
                answered = true;
                // Typed into the name field: selectFile() leaves a focused
                // field alone, and a missing file has nothing to select.
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                QVERIFY(name);
                name->setText(missing);
                QMetaObject::invokeMethod(modal, &QDialog::accept, Qt::QueuedConnection);
            } else if (modal) {
                // Qt's own refusal, or a dialog after it.
                QMetaObject::invokeMethod(modal, &QDialog::reject, Qt::QueuedConnection);
            }
        });
        typist.start(20);
        form.controls().Aufnahmeffnen1->trigger();
        QCOMPARE(reporter.texts, QStringList{"Datei " + missing + " kann nicht geöffnet werden."});
    }
};

QTEST_MAIN(GermanDialogsTest)
#include "test_german_dialogs.moc"
