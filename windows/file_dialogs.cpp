#include "windows/file_dialogs.h"

#include <QFileDialog>
#include <memory>

namespace {

// Qt's dialogs take "description (patterns)"; a filter text without that form
// is shown as it is and taken as its own pattern.
QString QtFilter(const QString& filter) {
    if (filter.contains(u'('))
        return filter;
    QString pattern = filter;
    if (filter == QStringLiteral("*.*"))
        pattern = QStringLiteral("*"); // every file, as the filter means elsewhere
    else if (filter.startsWith(u'.'))
        pattern = u'*' + filter;
    return filter + QStringLiteral(" (") + pattern + u')';
}

std::optional<QString> Ask(QFileDialog* dialog) {
    const std::unique_ptr<QFileDialog> owned(dialog);
    if (owned->exec() != QDialog::Accepted || owned->selectedFiles().isEmpty())
        return std::nullopt;
    const QString path = owned->selectedFiles().first();
    return path.isEmpty() ? std::nullopt : std::optional<QString>(path);
}

class QtFileDialogs : public FileDialogs {
public:
    std::optional<QString> askOpenFile(QWidget* parent, const QString& title,
                                       const QString& filter) override {
        return Ask(CreateOpenFileDialog(parent, title, filter));
    }

    std::optional<QString> askSaveFile(QWidget* parent, const QString& title,
                                       const QString& filter) override {
        return Ask(CreateSaveFileDialog(parent, title, filter));
    }
};

FileDialogs* installedDialogs = nullptr;

} // namespace

QFileDialog* CreateOpenFileDialog(QWidget* parent, const QString& title, const QString& filter) {
    auto* dialog = new QFileDialog(parent, title, QString(), QtFilter(filter));
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    // Qt's own dialog: it speaks the program's German and takes a missing
    // name, where a desktop's dialog may do neither.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    // Not ExistingFile: that mode refuses a missing name with Qt's own message.
    dialog->setFileMode(QFileDialog::AnyFile);
    return dialog;
}

QFileDialog* CreateSaveFileDialog(QWidget* parent, const QString& title, const QString& filter) {
    auto* dialog = new QFileDialog(parent, title, QString(), QtFilter(filter));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    return dialog;
}

FileDialogs& CurrentFileDialogs() {
    static QtFileDialogs qtDialogs;
    return installedDialogs ? *installedDialogs : qtDialogs;
}

void SetFileDialogs(FileDialogs* dialogs) {
    installedDialogs = dialogs;
}
