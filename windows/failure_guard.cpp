#include "windows/failure_guard.h"

#include "platform/user_error.h"
#include "windows/message_reporter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <new>

QString MessageBoxTitle(const QString& programFilePath) {
    const QString name = QFileInfo(programFilePath).completeBaseName();
    if (name.isEmpty())
        return name;
    return name.left(1) + name.mid(1).toLower();
}

QString MessageBoxText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

void ReportFailure(const QString& message) {
    const QString program = QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                                         : QStringLiteral("merlon-eva");
    CurrentMessageReporter().showStop(MessageBoxTitle(program), MessageBoxText(message));
}

void failure_guard_detail::RunGuarded(void (*call)(void*), void* context) {
    try {
        call(context);
    } catch (const UserError& error) {
        ReportFailure(QString::fromUtf8(error.what()));
    } catch (const std::bad_alloc&) {
        ReportFailure(QStringLiteral("Nicht genügend Arbeitsspeicher für diese Aktion"));
    }
}
