#include "tools/capture/picture_hook.h"

#include "platform/clock.h"
#include "platform/system_error_text.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// How often a run's end is looked for: a wake-up a tenth of a second while
// a command runs, and no descriptor needed for it (a station short of them
// can still run its command).
constexpr int kWatchEveryMs = 100;

std::string DurationText(int ms) {
    if (ms % 60000 == 0)
        return std::to_string(ms / 60000) + (ms == 60000 ? " Minute" : " Minuten");
    if (ms % 1000 == 0)
        return std::to_string(ms / 1000) + (ms == 1000 ? " Sekunde" : " Sekunden");
    return std::to_string(ms) + " ms";
}

// This program's environment with the picture's variables set anew.
std::vector<std::string> CommandEnvironment(const PictureHook::Picture& picture) {
    const std::vector<std::pair<std::string, std::string>> own = {
        {"MERLON_DATEI", picture.path},
        {"MERLON_BYTES", std::to_string(picture.bytes)},
        {"MERLON_ZEIT", picture.time},
        {"MERLON_VERSUCH", std::to_string(picture.attempt)}};
    std::vector<std::string> environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view variable(*entry);
        const bool replaced = std::any_of(own.begin(), own.end(), [&](const auto& named) {
            return variable.substr(0, named.first.size() + 1) == named.first + "=";
        });
        if (!replaced)
            environment.emplace_back(variable);
    }
    for (const auto& [name, value] : own)
        environment.push_back(name + "=" + value);
    return environment;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Starts the shell with the command in a process group of its own, input
// from /dev/null, its output on standard error, and the signals this
// program ignores (SIGPIPE, SIGXFSZ) back at their defaults. Returns 0 and
// the shell's process id, or the errno that kept it from starting (exec's
// own included).
int SpawnShell(const std::string& shell, std::vector<std::string> arguments,
               std::vector<std::string> environment, pid_t& pid) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGXFSZ);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETSIGMASK);
    const std::vector<char*> argv = Pointers(arguments);
    const std::vector<char*> envp = Pointers(environment);
    const int result =
        ::posix_spawn(&pid, shell.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return result;
}

} // namespace

PictureHook::PictureHook(std::string command, std::function<void(const std::string&)> report,
                         HookLimits limits)
    : command_(std::move(command)), report_(std::move(report)), limits_(std::move(limits)) {
    tooLong_.setSingleShot(true);
    connect(&tooLong_, &QTimer::timeout, this, [this] {
        report_("Der Befehl nach dem Bild " + running_ + " läuft länger als " +
                DurationText(limits_.runMs) + " und wird beendet");
        ending_ = true;
        endGroup(shell_);
    });
    watching_.setInterval(kWatchEveryMs);
    connect(&watching_, &QTimer::timeout, this, &PictureHook::watch);
}

PictureHook::~PictureHook() {
    for (const Leftover& leftover : leftovers_)
        if (groupAlive(leftover.group))
            endGroup(leftover.group);
    if (shell_ > 0)
        endGroup(shell_);
    // The grace after SIGTERM, for the shell and for whatever else of the
    // groups is still there; then SIGKILL to all of them. On the system's
    // clock: a stop that ends the station must not cut the grace short.
    Clock& clock = SystemClock();
    const auto noneLeft = [this] {
        if (shell_ > 0 && ::waitpid(shell_, nullptr, WNOHANG) == shell_)
            shell_ = 0;
        return std::none_of(endingGroups_.begin(), endingGroups_.end(), groupAlive);
    };
    clock.waitFor(noneLeft, clock.nowMs() + limits_.killAfterMs);
    for (const pid_t group : endingGroups_)
        ::kill(-group, SIGKILL);
    if (shell_ > 0)
        ::waitpid(shell_, nullptr, 0);
}

void PictureHook::picture(const Picture& picture) {
    if (!busy()) {
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
    pid_t pid = 0;
    const int failure = SpawnShell(
        limits_.shell, {limits_.shell, "-c", command_ + " \"$@\"", "merlon-capture", picture.path},
        CommandEnvironment(picture), pid);
    if (failure != 0) {
        ++counts_.failed;
        report_("Der Befehl nach dem Bild " + running_ +
                " konnte nicht gestartet werden: " + SystemErrorText(failure));
        emit runEnded();
        if (waiting_) {
            const Picture next = *waiting_;
            waiting_.reset();
            start(next);
        }
        return;
    }
    shell_ = pid;
    startedMs_ = CurrentClock().nowMs();
    tooLong_.start(limits_.runMs);
    watching_.start();
}

void PictureHook::watch() {
    if (shell_ > 0) {
        int status = 0;
        if (::waitpid(shell_, &status, WNOHANG) == shell_)
            ended(status);
    }
    const std::int64_t now = CurrentClock().nowMs();
    for (auto leftover = leftovers_.begin(); leftover != leftovers_.end();) {
        if (!groupAlive(leftover->group)) {
            leftover = leftovers_.erase(leftover);
            continue;
        }
        if (now >= leftover->endAtMs) {
            report_("Was der Befehl nach dem Bild " + leftover->picture +
                    " im Hintergrund gestartet hat, läuft länger als " +
                    DurationText(limits_.runMs) + " und wird beendet");
            endGroup(leftover->group);
            leftover = leftovers_.erase(leftover);
            continue;
        }
        ++leftover;
    }
    if (shell_ == 0 && leftovers_.empty())
        watching_.stop();
}

void PictureHook::ended(int status) {
    tooLong_.stop();
    const pid_t group = shell_;
    shell_ = 0;
    if (ending_) {
        ++counts_.timedOut;
    } else if (WIFSIGNALED(status)) {
        ++counts_.failed;
        const int signal = WTERMSIG(status);
        report_("Der Befehl nach dem Bild " + running_ + " wurde durch Signal " +
                std::to_string(signal) + " (" + ::strsignal(signal) + ") beendet");
    } else if (WEXITSTATUS(status) != 0) {
        ++counts_.failed;
        report_("Der Befehl nach dem Bild " + running_ + " endete mit Rückgabewert " +
                std::to_string(WEXITSTATUS(status)));
    } else {
        ++counts_.ok;
    }
    // What it left running in its group gets the rest of the run's time.
    // Being ended already, it needs no more watching.
    const bool beingEnded =
        std::find(endingGroups_.begin(), endingGroups_.end(), group) != endingGroups_.end();
    if (!beingEnded && groupAlive(group))
        leftovers_.push_back({group, running_, startedMs_ + limits_.runMs});
    emit runEnded();
    if (waiting_) {
        const Picture next = *waiting_;
        waiting_.reset();
        start(next);
    }
}

bool PictureHook::groupAlive(pid_t group) {
    return group > 0 && ::kill(-group, 0) == 0;
}

void PictureHook::endGroup(pid_t group) {
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
