// The one place where failures end: every action Qt starts (a click, a menu
// item, a timer tick) runs through Guarded(), which shows a UserError's
// message in the modal message box and lets the program go on. The box is
// opened and the handler returns: nothing waits for the user's answer.
// Handlers that other handlers invoke are called directly, so a failure ends
// the whole chain.
//
// The guard also holds actions back while the window waits. The sequences'
// waits keep the window painting and answering (see WindowClock), but what a
// blocked window would not have done meanwhile is not done: an action that
// arrives through a guarded slot during a wait runs only once the guarded
// handler that waited has returned, in the order the actions came, a
// timer's missed ticks collapsed into one.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <type_traits>
#include <utility>

// The message box title: the program file's name without directory and
// extension, its first letter unchanged and every later letter in lower case.
QString MessageBoxTitle(const QString& programFilePath);

// The message as the box shows it: a full stop is added when the last
// character's code is above that of the full stop.
QString MessageBoxText(const QString& message);

// Shows a message through the current reporter, with the title and full-stop
// rules applied, and returns at once; while a box with the same text is still
// open, nothing more.
void ReportFailure(const QString& message);

namespace failure_guard_detail {
void RunGuarded(void (*call)(void*), void* context);
// Runs the action under the guard now, or holds it back while a wait is
// under way. Of the actions with the same non-zero tick key, one at a time
// is held back.
void Arrive(std::function<void()> action, std::uint64_t tickKey);
std::uint64_t NewTickKey();

// object->member(), as an action that may run later: a window gone by then
// is not called.
template <class Object> std::function<void()> MemberCall(Object* object, void (Object::*member)()) {
    if constexpr (std::is_base_of_v<QObject, Object>)
        return [alive = QPointer<Object>(object), member] {
            if (alive)
                (alive.data()->*member)();
        };
    else
        return [object, member] { (object->*member)(); };
}
} // namespace failure_guard_detail

// Runs the action now; a UserError (or running out of memory) it throws is
// shown and goes no further. Actions held back during the action's waits run
// when it returns.
template <class Action> void Guarded(Action&& action) {
    failure_guard_detail::RunGuarded(
        [](void* context) { (*static_cast<std::remove_reference_t<Action>*>(context))(); },
        &action);
}

// A slot for connect(): calls object->member() under the guard. Each call
// during a wait is held back (two clicks are two clicks).
template <class Object> auto GuardedSlot(Object* object, void (Object::*member)()) {
    return [object, member] {
        failure_guard_detail::Arrive(failure_guard_detail::MemberCall(object, member), 0);
    };
}

// The same for a timer's timeout: the ticks that come during a wait make a
// single tick after it.
template <class Object> auto GuardedTimerSlot(Object* object, void (Object::*member)()) {
    return [object, member, key = failure_guard_detail::NewTickKey()] {
        failure_guard_detail::Arrive(failure_guard_detail::MemberCall(object, member), key);
    };
}

// While one lives, the window is waiting: guarded slots hold their actions
// back. Waits may nest.
class WaitHoldingActions {
public:
    WaitHoldingActions();
    ~WaitHoldingActions();
    WaitHoldingActions(const WaitHoldingActions&) = delete;
    WaitHoldingActions& operator=(const WaitHoldingActions&) = delete;
};

// For what does not come through a guarded slot (the close box): during a
// wait, holds the action back like a guarded one and returns true; otherwise
// returns false and the caller acts at once.
bool HoldBackDuringWait(std::function<void()> action);
