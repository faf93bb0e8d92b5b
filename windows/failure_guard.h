// The one place where failures end: every action Qt starts (a click, a menu
// item, a timer tick) runs through Guarded(), which shows a UserError's
// message in the modal message box and lets the program go on. The box is
// opened and the handler returns: nothing waits for the user's answer. Handlers that
// other handlers invoke are called directly, so a failure ends the whole chain.
#pragma once

#include <QString>
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
}

// Runs the action; a UserError (or running out of memory) it throws is shown
// and goes no further.
template <class Action> void Guarded(Action&& action) {
    failure_guard_detail::RunGuarded(
        [](void* context) { (*static_cast<std::remove_reference_t<Action>*>(context))(); },
        &action);
}

// A slot for connect(): calls object->member() under the guard.
template <class Object> auto GuardedSlot(Object* object, void (Object::*member)()) {
    return [object, member] { Guarded([&] { (object->*member)(); }); };
}
