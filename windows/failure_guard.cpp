#include "windows/failure_guard.h"

#include "platform/user_error.h"
#include "windows/message_reporter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>
#include <deque>
#include <new>

namespace {

struct HeldBackAction {
    std::function<void()> action;
    std::uint64_t tickKey; // 0: not a timer's tick
};

// All of it lives on the window thread.
int waitsUnderWay = 0;
int handlersRunning = 0; // guarded handlers, nested through modal loops and replays
// The handler depth at which held-back actions are being run, so that the
// replays' own ends leave the rest to that loop and the order stays.
int replayingAt = -1;
bool replayPosted = false;
std::deque<HeldBackAction> heldBack;

void RunHeldBackActions() {
    if (waitsUnderWay > 0 || heldBack.empty() || replayingAt == handlersRunning)
        return;
    const int outerReplay = replayingAt;
    replayingAt = handlersRunning;
    // An action that waits again holds back what comes meanwhile behind the
    // ones still held; this loop runs those too.
    while (waitsUnderWay == 0 && !heldBack.empty()) {
        std::function<void()> next = std::move(heldBack.front().action);
        heldBack.pop_front();
        Guarded(next);
    }
    replayingAt = outerReplay;
}

// A wait outside any guarded handler (a caller that is not an entry point):
// the actions run once the event loop has control again.
void PostHeldBackActions() {
    if (replayPosted || !QCoreApplication::instance())
        return;
    replayPosted = true;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            replayPosted = false;
            if (handlersRunning == 0)
                RunHeldBackActions();
        },
        Qt::QueuedConnection);
}

} // namespace

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
    struct Running {
        Running() { ++handlersRunning; }
        ~Running() { --handlersRunning; }
    };
    {
        const Running running;
        try {
            call(context);
        } catch (const UserError& error) {
            ReportFailure(QString::fromUtf8(error.what()));
        } catch (const std::bad_alloc&) {
            ReportFailure(QStringLiteral("Nicht genügend Arbeitsspeicher für diese Aktion"));
        }
    }
    RunHeldBackActions();
}

void failure_guard_detail::Arrive(std::function<void()> action, std::uint64_t tickKey) {
    if (waitsUnderWay == 0) {
        Guarded(action);
        return;
    }
    if (tickKey != 0)
        for (const HeldBackAction& held : heldBack)
            if (held.tickKey == tickKey)
                return; // this timer's tick is held already
    heldBack.push_back({std::move(action), tickKey});
}

std::uint64_t failure_guard_detail::NewTickKey() {
    static std::uint64_t last = 0;
    return ++last;
}

WaitHoldingActions::WaitHoldingActions() {
    ++waitsUnderWay;
}

WaitHoldingActions::~WaitHoldingActions() {
    if (--waitsUnderWay == 0 && handlersRunning == 0 && !heldBack.empty())
        PostHeldBackActions();
}

bool HoldBackDuringWait(std::function<void()> action) {
    if (waitsUnderWay == 0)
        return false;
    heldBack.push_back({std::move(action), 0});
    return true;
}
