// Converts a recording through the main window, as a user would through the
// menu, and saves a picture of the window. The file dialogs are answered by
// the command line instead of a user; with --dialogs the program's own
// dialogs come up and are pictured before they are answered.
#include "ui_Unit1.h"
#include "windows/Unit1.h"
#include "windows/failure_guard.h"
#include "windows/file_dialogs.h"
#include "windows/qt_translations.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QTimer>
#include <QTreeView>
#include <cstdio>

namespace {

class AnsweredDialogs : public FileDialogs {
public:
    AnsweredDialogs(QString recording, QString output)
        : recording_(std::move(recording)), output_(std::move(output)) {}
    std::optional<QString> askOpenFile(QWidget*, const QString&, const QString&) override {
        return recording_;
    }
    std::optional<QString> askSaveFile(QWidget*, const QString&, const QString&) override {
        return output_;
    }

private:
    QString recording_, output_;
};

// Answers each file dialog the program shows, once it has had time to list
// its folder: a picture of it first, then the answer typed in.
class DialogPhotographer : public QObject {
public:
    struct Answer {
        QString path;    // typed into the dialog, in its folder
        QString picture; // where the dialog's picture goes
    };
    explicit DialogPhotographer(QList<Answer> answers) : answers_(std::move(answers)) {
        connect(&timer_, &QTimer::timeout, this, [this] { look(); });
        timer_.start(100);
    }
    bool allSaved() const { return failed_ == 0 && answers_.isEmpty(); }

private:
    void look() {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog || answers_.isEmpty()) {
            seen_ = nullptr;
            return;
        }
        const Answer& answer = answers_.first();
        const QFileInfo path(answer.path);
        if (dialog != seen_) {
            seen_ = dialog;
            dialog->resize(760, 420);
            dialog->setDirectory(path.absolutePath());
            dialog->selectFile(path.fileName());
            ticks_ = 0;
            return;
        }
        if (++ticks_ < 8) // the folder's listing comes in the background
            return;
        if (auto* list = dialog->findChild<QTreeView*>())
            for (int column = 1; column < list->header()->count(); ++column)
                list->resizeColumnToContents(column);
        if (!dialog->grab().save(answer.picture))
            ++failed_;
        answers_.removeFirst();
        static_cast<QDialog*>(dialog)->accept(); // QFileDialog keeps its override protected
    }

    QList<Answer> answers_;
    QTimer timer_;
    QFileDialog* seen_ = nullptr;
    int ticks_ = 0;
    int failed_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    LoadGermanQtTranslations();
    QStringList arguments = QApplication::arguments();
    const bool withDialogs = arguments.size() == 7 && arguments[1] == "--dialogs";
    if (withDialogs)
        arguments.removeAt(1);
    if (arguments.size() != 4 && !withDialogs) {
        std::fprintf(stderr, "usage: merlon-screenshot RECORDING OUTPUT-STEM PICTURE.png\n"
                             "       merlon-screenshot --dialogs RECORDING OUTPUT-STEM PICTURE.png "
                             "OPEN.png SAVE.png\n");
        return 2;
    }
    AnsweredDialogs dialogs(arguments[1], arguments[2]);
    std::unique_ptr<DialogPhotographer> photographer;
    if (withDialogs)
        photographer.reset(
            new DialogPhotographer({{arguments[1], arguments[4]}, {arguments[2], arguments[5]}}));
    else
        SetFileDialogs(&dialogs);

    TForm1 form;
    form.show();
    Guarded([&] { form.Button1Click(); });
    form.controls().StringGrid1->setCurrentCell(3, 2);

    int status = 1;
    QTimer::singleShot(800, [&] {
        status = form.grab().save(arguments[3]) ? 0 : 1;
        if (photographer && !photographer->allSaved())
            status = 1;
        QApplication::quit();
    });
    application.exec();
    return status;
}
