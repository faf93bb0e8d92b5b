// Tells the service manager how the service fares, over the datagram
// protocol systemd hands a Type=notify service in NOTIFY_SOCKET: READY=1
// once it is up, WATCHDOG=1 while it is alive, STOPPING=1 as it ends. The
// watchdog's interval comes from WATCHDOG_USEC (for this process only, when
// WATCHDOG_PID names another). Outside systemd, NOTIFY_SOCKET is unset and
// nothing is sent at all.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

// The watchdog's time-out in microseconds from the two variables' texts
// (nullptr for an unset one), or 0 when there is none for the process
// `self`: unset, no positive number, or meant for another process.
std::int64_t WatchdogTimeoutUs(const char* watchdogUsec, const char* watchdogPid, pid_t self);

class ServiceNotifier {
public:
    // Nothing to tell: every message is dropped.
    ServiceNotifier() = default;
    // Tells the socket named as in NOTIFY_SOCKET: a path, or an abstract
    // name written with a leading '@'. An empty name tells nobody.
    ServiceNotifier(std::string socketName, std::int64_t watchdogTimeoutUs);
    ~ServiceNotifier();
    ServiceNotifier(ServiceNotifier&& other) noexcept;
    ServiceNotifier& operator=(ServiceNotifier&& other) noexcept;
    ServiceNotifier(const ServiceNotifier&) = delete;
    ServiceNotifier& operator=(const ServiceNotifier&) = delete;

    // From NOTIFY_SOCKET, WATCHDOG_USEC and WATCHDOG_PID, which are then
    // taken out of the environment: the commands the service starts are not
    // the service and must not speak for it.
    static ServiceNotifier fromEnvironment();

    bool active() const { return !socketName_.empty(); }
    // How often to say WATCHDOG=1: half the time-out, so that one late
    // ping is no miss; 0 without a watchdog.
    std::int64_t pingIntervalMs() const;

    // One datagram with the given state lines ("READY=1"). Returns whether
    // it went out; a service manager that cannot be told is no failure of
    // the service, so callers may ignore it.
    bool send(std::string_view state);
    bool ready() { return send("READY=1"); }
    bool stopping() { return send("STOPPING=1"); }
    bool watchdogPing() { return send("WATCHDOG=1"); }

private:
    std::string socketName_;
    std::int64_t watchdogTimeoutUs_ = 0;
    int fd_ = -1;
};
