// The seam in front of the modal message box: the program shows a real box,
// tests install a reporter that records what would have been shown.
#pragma once

#include <QString>
#include <functional>

class MessageReporter {
public:
    virtual ~MessageReporter() = default;
    // A stop icon and one OK button. Returns at once, without running an
    // event loop of its own, so that the handler that failed ends and every
    // timer keeps firing while the box is open; whenClosed runs once the
    // user has answered.
    virtual void showStop(const QString& title, const QString& text,
                          std::function<void()> whenClosed) = 0;
};

// The reporter in force; the real message box unless a test installed one.
MessageReporter& CurrentMessageReporter();
// Installs a reporter (not owned); nullptr brings back the real message box.
void SetMessageReporter(MessageReporter* reporter);
