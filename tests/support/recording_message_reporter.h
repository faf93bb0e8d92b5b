// Records what the message box would have shown, instead of blocking.
#pragma once

#include "windows/message_reporter.h"

#include <QStringList>

class RecordingMessageReporter : public MessageReporter {
public:
    RecordingMessageReporter() { SetMessageReporter(this); }
    ~RecordingMessageReporter() override { SetMessageReporter(nullptr); }

    void showStop(const QString& title, const QString& text) override {
        titles.append(title);
        texts.append(text);
    }

    QStringList titles;
    QStringList texts;
};
