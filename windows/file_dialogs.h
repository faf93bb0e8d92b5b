// The seam in front of the modal file dialogs: the program shows Qt's
// dialogs, tests install scripted answers.
#pragma once

#include <QString>
#include <optional>

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

FileDialogs& CurrentFileDialogs();
// Installs dialogs (not owned); nullptr brings back Qt's dialogs.
void SetFileDialogs(FileDialogs* dialogs);
