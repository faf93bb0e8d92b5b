#include "windows/failure_guard.h"

#include "platform/clock.h"
#include "platform/user_error.h"
#include "windows/message_reporter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>
#include <new>

namespace {

HeldBackActions* CurrentHeldBackActions() {
    auto* holder = dynamic_cast<HoldsActionsBack*>(&CurrentClock());
    return holder ? &holder->heldBackActions() : nullptr;
}

void RunCatching(void (*call)(void*), void* context) {
    try {
        call(context);
    } catch (const UserError& error) {
        ReportFailure(QString::fromUtf8(error.what()));
    } catch (const std::bad_alloc&) {
        ReportFailure(QStringLiteral("Nicht genügend Arbeitsspeicher für diese Aktion"));
    }
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

HeldBackActions::Wait::Wait(HeldBackActions& actions) : actions_(actions) {
    ++actions_.waitsUnderWay_;
}

HeldBackActions::Wait::~Wait() {
    if (--actions_.waitsUnderWay_ > 0)
        return;
    actions_.inputPending_ = true;
    if (actions_.handlersRunning_ == 0 && actions_.anythingHeld())
        actions_.postReplay();
}

void HeldBackActions::arrive(Action action, std::uint64_t tickKey) {
    const bool hold = waiting() || (draining_ && tickKey != 0);
    if (!hold) {
        Guarded(action);
        return;
    }
    if (ended_)
        return;
    if (tickKey == 0) {
        presses_.push_back(std::move(action));
        return;
    }
    for (const HeldTick& held : ticks_)
        if (held.key == tickKey)
            return; // this timer's tick is held already
    ticks_.push_back({tickKey, std::move(action)});
}

void HeldBackActions::holdPress(Action action) {
    if (!ended_)
        presses_.push_back(std::move(action));
}

void HeldBackActions::runHandler(void (*call)(void*), void* context) {
    ++handlersRunning_;
    struct Done {
        int& running;
        ~Done() { --running; }
    };
    {
        const Done done{handlersRunning_};
        RunCatching(call, context);
    }
    replay();
}

void HeldBackActions::endProgram() {
    ended_ = true;
    ticks_.clear();
    presses_.clear();
}

void HeldBackActions::replay() {
    if (!anythingHeld())
        inputPending_ = false; // the event loop delivers it in its turn
    if (waiting() || !anythingHeld() || replayingAt_ == handlersRunning_)
        return;
    const int outerReplay = replayingAt_;
    replayingAt_ = handlersRunning_;
    // An action that waits again holds back what comes meanwhile; this loop
    // runs that too, in the same order: the kept input first again.
    while (!waiting() && anythingHeld()) {
        if (inputPending_) {
            inputPending_ = false;
            deliverKeptInput();
            continue;
        }
        Action next;
        if (!ticks_.empty()) {
            next = std::move(ticks_.front().action);
            ticks_.pop_front();
        } else {
            next = std::move(presses_.front());
            presses_.pop_front();
        }
        Guarded(next);
    }
    replayingAt_ = outerReplay;
}

void HeldBackActions::deliverKeptInput() {
    if (!QCoreApplication::instance())
        return;
    // The clicks and keys run as they arrive; a timer that ticks meanwhile
    // folds into its held tick or is held behind them.
    draining_ = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    draining_ = false;
}

// A wait outside any guarded handler (a caller that is not an entry point):
// the actions run once the event loop has control again.
void HeldBackActions::postReplay() {
    if (replayPosted_ || !QCoreApplication::instance())
        return;
    replayPosted_ = true;
    QMetaObject::invokeMethod(
        &postedReplays_,
        [this] {
            replayPosted_ = false;
            if (handlersRunning_ == 0)
                replay();
        },
        Qt::QueuedConnection);
}

void failure_guard_detail::RunGuarded(void (*call)(void*), void* context) {
    if (HeldBackActions* held = CurrentHeldBackActions())
        held->runHandler(call, context);
    else
        RunCatching(call, context);
}

void failure_guard_detail::Arrive(std::function<void()> action, std::uint64_t tickKey) {
    if (HeldBackActions* held = CurrentHeldBackActions())
        held->arrive(std::move(action), tickKey);
    else
        Guarded(action);
}

std::uint64_t failure_guard_detail::NewTickKey() {
    static std::uint64_t last = 0;
    return ++last;
}

bool HoldBackDuringWait(std::function<void()> action) {
    HeldBackActions* held = CurrentHeldBackActions();
    if (!held || !held->waiting())
        return false;
    held->holdPress(std::move(action));
    return true;
}

void EndHeldBackActions() {
    if (HeldBackActions* held = CurrentHeldBackActions())
        held->endProgram();
}
