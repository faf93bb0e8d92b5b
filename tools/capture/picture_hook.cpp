#include "tools/capture/picture_hook.h"

#include <QProcessEnvironment>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

std::string DurationText(int ms) {
    if (ms % 60000 == 0)
        return std::to_string(ms / 60000) + (ms == 60000 ? " Minute" : " Minuten");
    if (ms % 1000 == 0)
        return std::to_string(ms / 1000) + (ms == 1000 ? " Sekunde" : " Sekunden");
    return std::to_string(ms) + " ms";
}

QString Local(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

} // namespace

PictureHook::PictureHook(std::string command, std::function<void(const std::string&)> report,
                         HookLimits limits)
    : command_(std::move(command)), report_(std::move(report)), limits_(limits) {
    tooLong_.setSingleShot(true);
    connect(&tooLong_, &QTimer::timeout, this, [this] {
        report_("Der Befehl nach dem Bild " + running_ + " läuft länger als " +
                DurationText(limits_.runMs) + " und wird beendet");
        ending_ = true;
        endGroup();
    });
}

PictureHook::~PictureHook() {
    if (process_) {
        process_->disconnect(this);
        endGroup();
    }
    // The grace after SIGTERM, for the shell and for whatever else of its
    // groups is still there; then SIGKILL to all of them.
    QElapsedTimer grace;
    grace.start();
    if (process_)
        process_->waitForFinished(limits_.killAfterMs);
    auto anyLeft = [this] {
        for (const pid_t group : endingGroups_)
            if (::kill(-group, 0) == 0)
                return true;
        return false;
    };
    while (anyLeft() && grace.elapsed() < limits_.killAfterMs)
        ::usleep(20000);
    for (const pid_t group : endingGroups_)
        ::kill(-group, SIGKILL);
    if (process_)
        process_->waitForFinished(-1);
}

void PictureHook::picture(const Picture& picture) {
    if (!process_) {
        start(picture);
        return;
    }
    if (waiting_) {
        ++counts_.skipped;
        report_("Der Befehl nach dem Bild " + waiting_->path +
                " entfällt: ein neueres Bild ist da, bevor der vorige Befehl endete (" +
                std::to_string(counts_.skipped) + " übersprungen)");
    }
    waiting_ = picture;
}

void PictureHook::start(const Picture& picture) {
    running_ = picture.path;
    ending_ = false;
    process_ = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MERLON_DATEI"), Local(picture.path));
    environment.insert(QStringLiteral("MERLON_BYTES"), QString::number(picture.bytes));
    environment.insert(QStringLiteral("MERLON_ZEIT"), QString::fromStdString(picture.time));
    environment.insert(QStringLiteral("MERLON_VERSUCH"), QString::number(picture.attempt));
    process_->setProcessEnvironment(environment);
    process_->setStandardInputFile(QProcess::nullDevice());
    process_->setProcessChannelMode(QProcess::ForwardedChannels);
    process_->setChildProcessModifier([] {
        // A group of its own, so that ending it ends whatever it started;
        // what it prints goes to standard error, away from the picture
        // lines; and the signals this program ignores are the command's
        // again (an ignored signal stays ignored across exec).
        ::setpgid(0, 0);
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGXFSZ, SIG_DFL);
    });
    connect(process_.get(), &QProcess::finished, this, &PictureHook::ended);
    connect(process_.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        ++counts_.failed;
        report_("Der Befehl nach dem Bild " + running_ +
                " konnte nicht gestartet werden: " + process_->errorString().toStdString());
        ended(-1, QProcess::NormalExit);
    });
    const QByteArray script = QByteArray::fromStdString(command_) + " \"$@\"";
    process_->start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), QString::fromLocal8Bit(script),
                     QStringLiteral("merlon-capture"), Local(picture.path)});
    // The same from this side, so that the group exists whichever runs first.
    group_ = static_cast<pid_t>(process_->processId());
    if (group_ > 0)
        ::setpgid(group_, group_);
    tooLong_.start(limits_.runMs);
}

void PictureHook::ended(int exitCode, QProcess::ExitStatus status) {
    if (!process_)
        return;
    tooLong_.stop();
    group_ = 0;
    if (exitCode >= 0) { // -1: it never started, counted already
        if (ending_) {
            ++counts_.timedOut;
        } else if (status == QProcess::CrashExit) {
            ++counts_.failed;
            report_("Der Befehl nach dem Bild " + running_ + " wurde durch Signal " +
                    std::to_string(exitCode) + " (" + ::strsignal(exitCode) + ") beendet");
        } else if (exitCode != 0) {
            ++counts_.failed;
            report_("Der Befehl nach dem Bild " + running_ + " endete mit Rückgabewert " +
                    std::to_string(exitCode));
        } else {
            ++counts_.ok;
        }
    }
    // Still inside one of its signals: let it go once they have returned.
    process_.release()->deleteLater();
    emit runEnded();
    if (waiting_) {
        const Picture next = *waiting_;
        waiting_.reset();
        start(next);
    }
}

void PictureHook::endGroup() {
    const pid_t group = group_;
    if (group <= 0)
        return;
    ::kill(-group, SIGTERM);
    // Once the shell has gone, what it started may still be there: the
    // SIGKILL goes to the group, not to the shell, and whether or not the
    // shell is still running by then.
    endingGroups_.push_back(group);
    QTimer::singleShot(limits_.killAfterMs, this, [this, group] {
        ::kill(-group, SIGKILL);
        endingGroups_.erase(std::remove(endingGroups_.begin(), endingGroups_.end(), group),
                            endingGroups_.end());
    });
}
