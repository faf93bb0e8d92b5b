#include "windows/message_reporter.h"

#include <QApplication>
#include <QMessageBox>

namespace {

class MessageBoxReporter : public MessageReporter {
public:
    void showStop(const QString& title, const QString& text) override {
        QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    }
};

MessageReporter* installedReporter = nullptr;

} // namespace

MessageReporter& CurrentMessageReporter() {
    static MessageBoxReporter messageBox;
    return installedReporter ? *installedReporter : messageBox;
}

void SetMessageReporter(MessageReporter* reporter) {
    installedReporter = reporter;
}
