// Records what the message box would have shown, instead of showing it. Each
// box is answered at once, unless the test keeps them open and closes them
// later.
#pragma once

#include "windows/message_reporter.h"

#include <QStringList>
#include <vector>

class RecordingMessageReporter : public MessageReporter {
public:
    RecordingMessageReporter() { SetMessageReporter(this); }
    ~RecordingMessageReporter() override { SetMessageReporter(nullptr); }

    void showStop(const QString& title, const QString& text,
                  std::function<void()> whenClosed) override {
        titles.append(title);
        texts.append(text);
        if (keepOpen)
            open.push_back(std::move(whenClosed));
        else
            whenClosed();
    }

    // The user answers every box still open.
    void closeAll() {
        auto answering = std::move(open);
        open.clear();
        for (auto& whenClosed : answering)
            whenClosed();
    }

    QStringList titles;
    QStringList texts;
    bool keepOpen = false;
    std::vector<std::function<void()>> open;
};
