// Converts a recording through the main window, as a user would through the
// menu, and saves a picture of the window. The file dialogs are answered by
// the command line instead of a user.
#include "ui_Unit1.h"
#include "windows/Unit1.h"
#include "windows/failure_guard.h"
#include "windows/file_dialogs.h"

#include <QApplication>
#include <QTimer>
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

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 4) {
        std::fprintf(stderr, "usage: merlon-screenshot RECORDING OUTPUT-STEM PICTURE.png\n");
        return 2;
    }
    AnsweredDialogs dialogs(arguments[1], arguments[2]);
    SetFileDialogs(&dialogs);

    TForm1 form;
    form.show();
    Guarded([&] { form.Button1Click(); });
    form.controls().StringGrid1->setCurrentCell(3, 2);

    int status = 1;
    QTimer::singleShot(800, [&] {
        status = form.grab().save(arguments[3]) ? 0 : 1;
        QApplication::quit();
    });
    application.exec();
    return status;
}
