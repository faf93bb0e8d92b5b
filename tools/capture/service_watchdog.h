// merlon-capture as a systemd service of Type=notify: READY=1 once it is
// set up, WATCHDOG=1 from its event loop at half the watchdog's time-out,
// STOPPING=1 as it ends. The ping comes from a timer of the event loop, so
// it stops exactly when the loop stops turning, which is what systemd's
// watchdog is there to notice. Outside systemd it does nothing.
#pragma once

#include "platform/service_notifier.h"

#include <QObject>
#include <QTimer>

class ServiceWatchdog : public QObject {
public:
    // Reads (and takes out of the environment) what systemd handed over;
    // the pings start with the event loop.
    explicit ServiceWatchdog(QObject* parent = nullptr);
    ServiceWatchdog(ServiceNotifier notifier, QObject* parent = nullptr);

    // READY=1, once; the start-up is over.
    void ready();
    // STOPPING=1, once, and no more pings.
    void stopping();

    // 0 without a watchdog.
    int pingIntervalMs() const { return ping_.interval(); }

private:
    void ping();

    ServiceNotifier notifier_;
    QTimer ping_;
    bool readySent_ = false;
    bool stoppingSent_ = false;
};
