// Time from the start of main() until the main window is shown and painted,
// the way the program starts: application object, main window (with its
// logo and grids), show, first paint. Each run is a fresh process.
#include "windows/Unit1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

int measureOnce(int argc, char** argv) {
    QElapsedTimer clock;
    clock.start();
    QApplication application(argc, argv);
    const qint64 application_ms = clock.nsecsElapsed();
    TForm1 form;
    form.show();
    form.repaint();
    QApplication::processEvents();
    std::printf("%lld %lld\n", static_cast<long long>(application_ms),
                static_cast<long long>(clock.nsecsElapsed()));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--once")
        return measureOnce(argc, argv);

    const int runs = 10;
    std::vector<double> totals, applications;
    for (int i = 0; i < runs; ++i) {
        QProcess child;
        child.start(QString::fromLocal8Bit(argv[0]), {"--once"});
        child.waitForFinished(30000);
        long long application_ns = 0, total_ns = 0;
        if (std::sscanf(child.readAllStandardOutput().constData(), "%lld %lld", &application_ns,
                        &total_ns) != 2) {
            std::fprintf(stderr, "run %d gave no figures\n", i);
            return 1;
        }
        applications.push_back(application_ns / 1e6);
        totals.push_back(total_ns / 1e6);
    }
    std::sort(totals.begin(), totals.end());
    std::sort(applications.begin(), applications.end());
    std::printf("start-up until the main window is shown (%s, %d runs)\n",
                qgetenv("QT_QPA_PLATFORM").isEmpty() ? "default platform"
                                                     : qgetenv("QT_QPA_PLATFORM").constData(),
                runs);
    std::printf("  application object: median %.1f ms\n", applications[runs / 2]);
    std::printf("  main window shown:   median %.1f ms, best %.1f ms, worst %.1f ms\n",
                totals[runs / 2], totals.front(), totals.back());
    return 0;
}
