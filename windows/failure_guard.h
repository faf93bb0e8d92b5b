// The one place where failures end: every action Qt starts (a click, a menu
// item, a timer tick) runs through Guarded(), which shows a UserError's
// message in the modal message box and lets the program go on. The box is
// opened and the handler returns: nothing waits for the user's answer.
// Handlers that other handlers invoke are called directly, so a failure ends
// the whole chain.
//
// The guard also holds actions back while the window waits. The sequences'
// waits keep the window painting and answering (see WindowClock), but what a
// blocked window would not have done meanwhile is not done then. Once the
// guarded handler that waited has returned, what came meanwhile is acted on
// in this order:
//   1. The input that came meanwhile: the clicks, keys and menu choices made
//      with mouse and keyboard. The wait's loop leaves them queued in the
//      window system, so the guard never sees them held; it lets the event
//      loop deliver them, as they came, before anything it holds.
//   2. The folded timer ticks: of each guarded timer whose ticks came during
//      the wait, one tick, in the order of the timers' first ticks, and only
//      if it still applies then (the condition given with
//      GuardedTimerSlot): a tick due while the port was open does not read
//      it once it is closed. A blocked window's timers fire once the queue
//      is otherwise empty, missed ticks folded into one.
//   3. The held presses: what reached the window during the wait in spite of
//      the held input, in the order it came: presses, toggles and menu items
//      over the accessibility bus, and the close box (HoldBackDuringWait).
// Once the program ends ("Beenden", the close box accepted: EndHeldBackActions)
// nothing held runs any more. An action replayed here that waits itself holds
// back again; what it holds joins the rest, in the same order.
//
// The held actions belong to the clock that waits (WindowClock, or the tests'
// FakeWindowClock): with any other clock nothing is held.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <deque>
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

// What a waiting clock holds back, and the guarded handlers under way. It
// lives on the window thread.
class HeldBackActions {
public:
    using Action = std::function<void()>;

    // While one lives, the clock is waiting. Waits may nest.
    class Wait {
    public:
        explicit Wait(HeldBackActions& actions);
        ~Wait();
        Wait(const Wait&) = delete;
        Wait& operator=(const Wait&) = delete;

    private:
        HeldBackActions& actions_;
    };

    bool waiting() const { return waitsUnderWay_ > 0; }

    // A press (tickKey 0) or a timer's tick arrives: run it under the guard
    // now, or hold it back. Of the ticks with the same key one is held.
    void arrive(Action action, std::uint64_t tickKey);
    // For what does not come through a guarded slot: held as a press.
    void holdPress(Action action);
    // Counts the guarded handlers under way, and once the outermost returns
    // acts on what came during its waits.
    void runHandler(void (*call)(void*), void* context);
    // The program ends: what is held is dropped and nothing more is held.
    void endProgram();

private:
    struct HeldTick {
        std::uint64_t key;
        Action action;
    };
    void replay();
    void deliverKeptInput();
    void postReplay();
    bool anythingHeld() const { return !ticks_.empty() || !presses_.empty(); }

    int waitsUnderWay_ = 0;
    int handlersRunning_ = 0; // guarded handlers, nested through modal loops and replays
    // The handler depth at which held-back actions are being run, so that the
    // replays' own ends leave the rest to that loop and the order stays.
    int replayingAt_ = -1;
    bool draining_ = false; // the event loop delivers the input the window system kept
    bool replayPosted_ = false;
    QObject postedReplays_;     // a replay posted to the event loop dies with this
    bool inputPending_ = false; // a wait ended: the window system may hold input
    bool ended_ = false;
    std::deque<HeldTick> ticks_;
    std::deque<Action> presses_;
};

// A clock that holds the window's actions back while it waits.
class HoldsActionsBack {
public:
    virtual ~HoldsActionsBack() = default;
    HeldBackActions& heldBackActions() { return held_; }

private:
    HeldBackActions held_;
};

namespace failure_guard_detail {
void RunGuarded(void (*call)(void*), void* context);
void Arrive(std::function<void()> action, std::uint64_t tickKey);
std::uint64_t NewTickKey();

// object->member(), as an action that may run later: a window gone by then
// is not called.
// With a condition, only while it holds; it is asked only while the object
// lives.
template <class Object>
std::function<void()> MemberCall(Object* object, void (Object::*member)(),
                                 std::function<bool()> stillApplies = {}) {
    if constexpr (std::is_base_of_v<QObject, Object>)
        return [alive = QPointer<Object>(object), member, stillApplies = std::move(stillApplies)] {
            if (alive && (!stillApplies || stillApplies()))
                (alive.data()->*member)();
        };
    else
        return [object, member, stillApplies = std::move(stillApplies)] {
            if (!stillApplies || stillApplies())
                (object->*member)();
        };
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
// single tick after it, which runs only if stillApplies() says so then (no
// condition: always).
template <class Object>
auto GuardedTimerSlot(Object* object, void (Object::*member)(),
                      std::function<bool()> stillApplies = {}) {
    return [call = failure_guard_detail::MemberCall(object, member, std::move(stillApplies)),
            key = failure_guard_detail::NewTickKey()] { failure_guard_detail::Arrive(call, key); };
}

// For what does not come through a guarded slot (the close box): during a
// wait, holds the action back as a press and returns true; otherwise returns
// false and the caller acts at once.
bool HoldBackDuringWait(std::function<void()> action);

// The program ends (the close box accepted, "Beenden"): nothing held back
// runs any more.
void EndHeldBackActions();
