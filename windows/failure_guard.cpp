#include "windows/failure_guard.h"

#include "platform/user_error.h"
#include "windows/message_reporter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>
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
    // The timers go on firing while a box is open: a failure that repeats
    // meanwhile would stack a new box each time, a night's worth while
    // nobody watches. One box per text.
    static QSet<QString> onScreen;
    if (onScreen.contains(message))
        return;
    onScreen.insert(message);
    const QString program = QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                                         : QStringLiteral("merlon-eva");
    try {
        CurrentMessageReporter().showStop(MessageBoxTitle(program), MessageBoxText(message),
                                          [message] { onScreen.remove(message); });
    } catch (...) {
        onScreen.remove(message);
        throw;
    }
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
