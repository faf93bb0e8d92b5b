// The seam in front of the modal file dialogs: the program shows Qt's
// dialogs, tests install scripted answers.
#pragma once

#include <QString>
#include <optional>

class QFileDialog;
class QWidget;

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<QString> askOpenFile(QWidget* parent, const QString& title,
                                               const QString& filter) = 0;
    virtual std::optional<QString> askSaveFile(QWidget* parent, const QString& title,
                                               const QString& filter) = 0;
};

// The dialogs the program shows, built but not yet shown (owned by the
// caller). The open dialog takes a typed name of a missing file as well, so
// that the program itself says the file cannot be opened.
QFileDialog* CreateOpenFileDialog(QWidget* parent, const QString& title, const QString& filter);
// The save dialog replaces an existing file without asking.
QFileDialog* CreateSaveFileDialog(QWidget* parent, const QString& title, const QString& filter);

FileDialogs& CurrentFileDialogs();
// Installs dialogs (not owned); nullptr brings back Qt's dialogs.
void SetFileDialogs(FileDialogs* dialogs);
