// File dialogs that answer from a script and record what they were asked.
#pragma once

#include "windows/file_dialogs.h"

#include <QStringList>
#include <deque>

class ScriptedFileDialogs : public FileDialogs {
public:
    ScriptedFileDialogs() { SetFileDialogs(this); }
    ~ScriptedFileDialogs() override { SetFileDialogs(nullptr); }

    // The next answers; nullopt stands for Cancel.
    std::deque<std::optional<QString>> openAnswers;
    std::deque<std::optional<QString>> saveAnswers;

    // "title|filter" of each dialog shown, in order.
    QStringList asked;

    std::optional<QString> askOpenFile(QWidget*, const QString& title,
                                       const QString& filter) override {
        return answer(openAnswers, QStringLiteral("open|") + title + u'|' + filter);
    }
    std::optional<QString> askSaveFile(QWidget*, const QString& title,
                                       const QString& filter) override {
        return answer(saveAnswers, QStringLiteral("save|") + title + u'|' + filter);
    }

private:
    std::optional<QString> answer(std::deque<std::optional<QString>>& answers,
                                  const QString& question) {
        asked.append(question);
        if (answers.empty())
            return std::nullopt;
        auto next = answers.front();
        answers.pop_front();
        return next;
    }
};
