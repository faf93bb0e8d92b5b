#include "windows/message_reporter.h"

#include <QApplication>
#include <QMessageBox>

namespace {

class MessageBoxReporter : public MessageReporter {
public:
    void showStop(const QString& title, const QString& text,
                  std::function<void()> whenClosed) override {
        // exec() would run a nested event loop inside the handler that
        // failed; Qt never runs a timer's handler again while it runs, so a
        // box opened from a timer would stop that timer until it is closed.
        auto* box = new QMessageBox(QMessageBox::Critical, title, text, QMessageBox::Ok,
                                    QApplication::activeWindow());
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::ApplicationModal);
        QObject::connect(box, &QDialog::finished, box,
                         [whenClosed = std::move(whenClosed)] { whenClosed(); });
        box->show();
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
