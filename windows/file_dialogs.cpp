#include "windows/file_dialogs.h"

#include <QFileDialog>

namespace {

// Qt's dialogs take "description (patterns)"; a filter text without that form
// is shown as it is and taken as its own pattern.
QString qtFilter(const QString& filter) {
    if (filter.contains(u'('))
        return filter;
    QString pattern = filter;
    if (filter == QStringLiteral("*.*"))
        pattern = QStringLiteral("*"); // every file, as the filter means elsewhere
    else if (filter.startsWith(u'.'))
        pattern = u'*' + filter;
    return filter + QStringLiteral(" (") + pattern + u')';
}

class QtFileDialogs : public FileDialogs {
public:
    std::optional<QString> askOpenFile(QWidget* parent, const QString& title,
                                       const QString& filter) override {
        const QString path =
            QFileDialog::getOpenFileName(parent, title, QString(), qtFilter(filter));
        return path.isEmpty() ? std::nullopt : std::optional<QString>(path);
    }

    std::optional<QString> askSaveFile(QWidget* parent, const QString& title,
                                       const QString& filter) override {
        const QString path = QFileDialog::getSaveFileName(
            parent, title, QString(), qtFilter(filter), nullptr, QFileDialog::DontConfirmOverwrite);
        return path.isEmpty() ? std::nullopt : std::optional<QString>(path);
    }
};

FileDialogs* installedDialogs = nullptr;

} // namespace

FileDialogs& CurrentFileDialogs() {
    static QtFileDialogs qtDialogs;
    return installedDialogs ? *installedDialogs : qtDialogs;
}

void SetFileDialogs(FileDialogs* dialogs) {
    installedDialogs = dialogs;
}
