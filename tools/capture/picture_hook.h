// The command merlon-capture runs after each sound picture (--danach): an
// upload, a copy to a web server, a notification. It runs beside the
// capture and never holds it up: one run at a time, at most one picture
// waiting, a newer picture replacing the waiting one (the one replaced is
// counted as skipped). Each run has a process group of its own: a run that
// takes too long is ended, its whole group with it; what a run leaves in
// the background ends within the same time limit, and whatever of any group
// is still there when the station stops is ended with it. Every run is
// reaped; nothing is left behind but what left the group itself (setsid).
// A command that cannot be started is one line with the system's cause and
// counts as failed.
//
// The command is run as /bin/sh -c 'BEFEHL "$@"' merlon-capture PATH, so the
// picture's path is an argument, never pasted into the command's text; its
// environment adds MERLON_DATEI, MERLON_BYTES, MERLON_ZEIT and
// MERLON_VERSUCH; its standard input is /dev/null and what it prints goes to
// merlon-capture's standard error, never between the picture lines.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// How long a run may take before its group gets SIGTERM, and how long after
// that SIGKILL follows.
struct HookLimits {
    int runMs = 10 * 60 * 1000;
    int killAfterMs = 5 * 1000;
    // The shell the command runs in.
    std::string shell = "/bin/sh";
};

class PictureHook : public QObject {
    Q_OBJECT
public:
    struct Picture {
        std::string path; // absolute
        std::int64_t bytes = 0;
        std::string time; // ISO 8601 with the UTC offset
        int attempt = 1;
    };
    // How runs ended, for the station's metrics.
    struct Counts {
        std::uint64_t ok = 0;
        std::uint64_t failed = 0;
        std::uint64_t timedOut = 0;
        std::uint64_t skipped = 0;
    };

    // report gets each German line meant for standard error (without the
    // program's prefix).
    PictureHook(std::string command, std::function<void(const std::string&)> report,
                HookLimits limits = HookLimits());
    // A run still going, and what any run left in its group, is ended the
    // same way as a run that takes too long.
    ~PictureHook() override;

    // Runs the command for this picture now, or after the run in progress.
    void picture(const Picture& picture);

    const Counts& counts() const { return counts_; }
    bool busy() const { return shell_ > 0; }

signals:
    // A run has ended, however (counts() tells).
    void runEnded();

private:
    // What a run left in its group after its shell ended, and when the run's
    // time is up.
    struct Leftover {
        pid_t group;
        std::string picture;
        std::int64_t endAtMs;
    };

    void start(const Picture& picture);
    // Looks whether the shell has ended, and after the groups left behind.
    void watch();
    void ended(int status);
    // Whether any process is still in the group.
    static bool groupAlive(pid_t group);
    // SIGTERM to the process group now, SIGKILL to it after the grace,
    // whatever has ended by then.
    void endGroup(pid_t group);

    std::string command_;
    std::function<void(const std::string&)> report_;
    HookLimits limits_;
    Counts counts_;
    pid_t shell_ = 0; // the run in progress: its shell, which leads its group
    std::int64_t startedMs_ = 0;
    std::string running_; // the picture of the run in progress, for messages
    std::optional<Picture> waiting_;
    QTimer tooLong_;
    QTimer watching_;
    bool ending_ = false;
    std::vector<Leftover> leftovers_;
    std::vector<pid_t> endingGroups_; // sent SIGTERM, SIGKILL still to come
};
