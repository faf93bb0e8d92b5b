#include "platform/service_notifier.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace {

// A decimal number without sign, blanks or anything after it.
bool ParsePositive(const char* text, std::int64_t& value) {
    if (!text || *text < '0' || *text > '9')
        return false;
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed <= 0)
        return false;
    value = parsed;
    return true;
}

// The address for the name, false for one that is neither an absolute path
// nor an abstract name, or too long for an address.
bool AddressOf(const std::string& name, sockaddr_un& address, socklen_t& length) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (name.size() < 2 || (name[0] != '/' && name[0] != '@') ||
        name.size() > sizeof address.sun_path - (name[0] == '/' ? 1 : 0))
        return false;
    std::memcpy(address.sun_path, name.data(), name.size());
    // An abstract name starts with a NUL byte and has no terminating one:
    // its length is the address's.
    if (name[0] == '@')
        address.sun_path[0] = '\0';
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size() +
                                    (name[0] == '/' ? 1 : 0));
    return true;
}

} // namespace

std::int64_t WatchdogTimeoutUs(const char* watchdogUsec, const char* watchdogPid, pid_t self) {
    std::int64_t timeout = 0;
    if (!ParsePositive(watchdogUsec, timeout))
        return 0;
    if (watchdogPid) {
        std::int64_t pid = 0;
        if (!ParsePositive(watchdogPid, pid) || pid != self)
            return 0;
    }
    return timeout;
}

ServiceNotifier::ServiceNotifier(std::string socketName, std::int64_t watchdogTimeoutUs)
    : socketName_(std::move(socketName)), watchdogTimeoutUs_(watchdogTimeoutUs) {}

ServiceNotifier::~ServiceNotifier() {
    if (fd_ >= 0)
        ::close(fd_);
}

ServiceNotifier::ServiceNotifier(ServiceNotifier&& other) noexcept
    : socketName_(std::move(other.socketName_)), watchdogTimeoutUs_(other.watchdogTimeoutUs_),
      fd_(std::exchange(other.fd_, -1)) {
    other.socketName_.clear();
}

ServiceNotifier& ServiceNotifier::operator=(ServiceNotifier&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        socketName_ = std::move(other.socketName_);
        other.socketName_.clear();
        watchdogTimeoutUs_ = other.watchdogTimeoutUs_;
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

ServiceNotifier ServiceNotifier::fromEnvironment() {
    const char* socket = std::getenv("NOTIFY_SOCKET");
    if (!socket)
        return ServiceNotifier();
    ServiceNotifier notifier(socket, WatchdogTimeoutUs(std::getenv("WATCHDOG_USEC"),
                                                       std::getenv("WATCHDOG_PID"), getpid()));
    for (const char* name : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID"})
        unsetenv(name);
    return notifier;
}

std::int64_t ServiceNotifier::pingIntervalMs() const {
    if (!active() || watchdogTimeoutUs_ <= 0)
        return 0;
    // At least a millisecond: a time-out below two would ask for none.
    const std::int64_t half = watchdogTimeoutUs_ / 2000;
    return half > 0 ? half : 1;
}

bool ServiceNotifier::send(std::string_view state) {
    sockaddr_un address{};
    socklen_t length = 0;
    if (!active() || !AddressOf(socketName_, address, length))
        return false;
    // Never blocking: a manager that is slow to read loses a ping rather
    // than holding up the event loop the ping speaks for.
    if (fd_ < 0)
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0)
        return false;
    ssize_t sent = 0;
    do {
        sent = ::sendto(fd_, state.data(), state.size(), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&address), length);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(state.size());
}
