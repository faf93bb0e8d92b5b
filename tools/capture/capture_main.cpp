// merlon-capture: takes pictures from the camera board without a display,
// once, every N minutes or back to back, with the same capture session as
// the main window. One line per sound picture on standard output.
#include "platform/files.h"
#include "tools/capture/capture_options.h"
#include "tools/capture/capture_run.h"
#include "tools/capture/service_watchdog.h"
#include "tools/capture/stop_signals.h"
#include "tools/options/tool_options.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kExitUsage = 2;

} // namespace

int main(int argc, char** argv) {
    IgnoreFileSizeSignal();
    CaptureRunOptions options;
    bool helpAsked = false;
    try {
        options = ParseCaptureArguments(std::vector<std::string>(argv + 1, argv + argc), helpAsked);
    } catch (const UsageError& error) {
        std::cerr << "merlon-capture: " << error.what() << "\n" << kCaptureUsage;
        return kExitUsage;
    }
    if (helpAsked) {
        std::cout << CaptureHelpText();
        return CaptureRun::kExitOk;
    }

    // Before the application object: a stop from the first moment on is seen.
    StopSignals stop;
    InterruptibleClock clock(stop);
    QCoreApplication application(argc, argv);
    // Before the run: it starts the commands after a picture, which must not
    // find systemd's notification socket in their environment.
    ServiceWatchdog watchdog;
    CaptureRun run(options, stop);
    watchdog.ready();
    // systemd hears of a stop at once, while the station still ends its call.
    QSocketNotifier stopSeen(stop.notifyFd(), QSocketNotifier::Read);
    QObject::connect(&stopSeen, &QSocketNotifier::activated, [&] {
        stopSeen.setEnabled(false);
        watchdog.stopping();
    });
    const int exitCode = run.exec();
    watchdog.stopping();
    return exitCode;
}
