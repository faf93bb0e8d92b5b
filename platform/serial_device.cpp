#include "platform/serial_device.h"

#include "platform/clock.h"
#include "platform/serial_speed.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

SerialWriteCall writeCall = nullptr;
SerialRestoreCall restoreCall = nullptr;
LineRestoreResult lastRestore;

// The descriptor of the device made exclusive last, or -1: read by signal
// handlers, so a plain lock-free integer.
volatile sig_atomic_t exclusiveFd = -1;

void ReleaseThenEnd(int signalNumber) {
    ReleaseSerialDeviceForExit();
    // The handler was reset to the default on entry; the signal, blocked
    // while this runs, ends the process as soon as the handler returns.
    raise(signalNumber);
}

ssize_t WriteOne(int fd, const char* byte) {
    return writeCall ? writeCall(fd, byte, 1) : ::write(fd, byte, 1);
}

int RestoreLine(int fd, const termios* settings) {
    return restoreCall ? restoreCall(fd, settings) : tcsetattr(fd, TCSANOW, settings);
}

constexpr std::size_t kChunkSize = 4096;
// Longest single wait of a write for the device, between looks at the clock.
constexpr std::int64_t kWriteSliceMs = 100;

// strerror_r comes in a GNU and an XSI flavour; both are thread-safe. Only
// the one matching the C library is called.
[[maybe_unused]] std::string ErrorTextFrom(const char* text, const char*) {
    return text;
}
[[maybe_unused]] std::string ErrorTextFrom(int result, const char* buffer) {
    return result == 0 ? buffer : "Unbekannter Fehler";
}

speed_t StandardSpeedCode(std::int32_t bitsPerSecond) {
    struct Entry {
        std::int32_t rate;
        speed_t code;
    };
    static constexpr Entry table[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto& entry : table)
        if (entry.rate == bitsPerSecond)
            return entry.code;
    return B0;
}

tcflag_t CharacterSizeFlag(int dataBits) {
    switch (dataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

} // namespace

struct SerialDevice::SavedSettings {
    termios original{};
};

SerialDevice::SerialDevice(int fd, std::unique_ptr<SavedSettings> saved)
    : fd_(fd), saved_(std::move(saved)) {}

std::unique_ptr<SerialDevice> SerialDevice::open(const std::string& path, int& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    // flock first: root passes TIOCEXCL, so the lock is what keeps a second
    // opener out, and a refused opener then never touches the tty's flag.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = (errno == EWOULDBLOCK) ? EBUSY : errno;
        ::close(fd);
        return nullptr;
    }
    auto saved = std::make_unique<SavedSettings>();
    if (tcgetattr(fd, &saved->original) != 0) {
        error = errno;
        ::close(fd);
        return nullptr;
    }
    ioctl(fd, TIOCEXCL);
    exclusiveFd = fd;
    error = 0;
    return std::unique_ptr<SerialDevice>(new SerialDevice(fd, std::move(saved)));
}

SerialDevice::~SerialDevice() {
    // Restoring at once would send the last bytes still queued with the old
    // speed and size. A vanished device has nothing left to restore, and its
    // queue may never drain.
    if (vanished_ || hungUp()) {
        lastRestore = {LineRestore::DeviceGone, 0};
    } else {
        if (stalled_)
            tcflush(fd_, TCOFLUSH);
        else
            while (tcdrain(fd_) != 0 && errno == EINTR) {
            }
        int result = 0;
        while ((result = RestoreLine(fd_, &saved_->original)) != 0 && errno == EINTR) {
        }
        lastRestore = result == 0 ? LineRestoreResult{LineRestore::Restored, 0}
                                  : LineRestoreResult{LineRestore::Failed, errno};
    }
    // The far side may keep the device open; a flag left set would lock out
    // the next non-root opener.
    ioctl(fd_, TIOCNXCL);
    if (exclusiveFd == fd_)
        exclusiveFd = -1;
    ::close(fd_);
}

LineSetup SerialDevice::applyLine(const SerialLineSettings& settings, int& error) {
    error = 0;
    if (settings.bitsPerSecond <= 0)
        return LineSetup::SpeedRefused;
    if (settings.dataBits < 5 || settings.dataBits > 8)
        return LineSetup::DataBitsRefused;

    termios line{};
    if (tcgetattr(fd_, &line) != 0) {
        error = errno;
        return LineSetup::Failed;
    }
    line.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                      IXANY | INPCK | IMAXBEL);
    line.c_oflag &= ~OPOST;
    line.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    line.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    line.c_cflag |= CharacterSizeFlag(settings.dataBits) | CLOCAL | CREAD;
    // Reads take what has arrived; the driver must never wait on its own.
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;

    const speed_t standard = StandardSpeedCode(settings.bitsPerSecond);
    if (standard != B0) {
        cfsetispeed(&line, standard);
        cfsetospeed(&line, standard);
    }
    if (tcsetattr(fd_, TCSANOW, &line) != 0) {
        error = errno;
        return LineSetup::Failed;
    }
    if (standard == B0) {
        const int speedError =
            SetAnySerialSpeed(fd_, static_cast<std::uint32_t>(settings.bitsPerSecond));
        if (speedError == EINVAL)
            return LineSetup::SpeedRefused;
        if (speedError != 0) {
            error = speedError;
            return LineSetup::Failed;
        }
    }

    // tcsetattr succeeds when any part was taken; only the read-back tells.
    const std::int64_t requested = settings.bitsPerSecond;
    const std::int64_t actual = ReadSerialSpeed(fd_);
    if (actual <= 0 || std::llabs(actual - requested) * 50 > requested)
        return LineSetup::SpeedRefused;
    termios applied{};
    if (tcgetattr(fd_, &applied) != 0) {
        error = errno;
        return LineSetup::Failed;
    }
    if ((applied.c_cflag & CSIZE) != CharacterSizeFlag(settings.dataBits))
        return LineSetup::DataBitsRefused;

    int rts = TIOCM_RTS;
    int dtr = TIOCM_DTR;
    // Pseudo-terminals and some adapters have no modem lines (ENOTTY,
    // EINVAL); the line works without them.
    ioctl(fd_, TIOCMBIS, &rts);
    ioctl(fd_, TIOCMBIC, &dtr);
    return LineSetup::Applied;
}

bool SerialDevice::hungUp() const {
    pollfd probe{fd_, POLLIN, 0};
    while (poll(&probe, 1, 0) < 0) {
        if (errno != EINTR)
            return true;
    }
    return (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

SerialStatus SerialDevice::readWaiting(std::size_t maxBytes, std::string& bytes) {
    if (vanished_)
        return SerialStatus::Vanished;
    std::size_t got = 0;
    char chunk[kChunkSize];
    while (got < maxBytes) {
        const ssize_t count = ::read(fd_, chunk, std::min(kChunkSize, maxBytes - got));
        if (count > 0) {
            bytes.append(chunk, static_cast<std::size_t>(count));
            got += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        // With VMIN and VTIME at zero an empty tty reads as 0 bytes, just
        // like a hung-up one; poll tells the two apart.
        if (count == 0 || errno == EAGAIN) {
            if (hungUp())
                vanished_ = true;
            break;
        }
        vanished_ = true;
        break;
    }
    return (vanished_ && got == 0) ? SerialStatus::Vanished : SerialStatus::Ok;
}

SerialStatus SerialDevice::write(std::string_view bytes, std::int64_t limitMs) {
    if (vanished_)
        return SerialStatus::Vanished;
    Clock& clock = CurrentClock();
    const std::int64_t deadlineMs = clock.nowMs() + limitMs;
    for (const char byte : bytes) {
        for (;;) {
            if (vanished_)
                return SerialStatus::Vanished;
            const ssize_t written = WriteOne(fd_, &byte);
            if (written == 1)
                break;
            if (written < 0 && errno == EINTR)
                continue;
            if (written == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
                const std::int64_t leftMs = deadlineMs - clock.nowMs();
                if (leftMs <= 0) {
                    stalled_ = true;
                    return SerialStatus::Stalled;
                }
                // In slices, so that the limit holds on whichever clock is
                // in force, not on poll's own.
                pollfd watch{fd_, POLLOUT, 0};
                const int ready = poll(
                    &watch, 1, static_cast<int>(std::min<std::int64_t>(leftMs, kWriteSliceMs)));
                if (ready < 0 && errno != EINTR)
                    vanished_ = true;
                else if (ready > 0 && (watch.revents & (POLLHUP | POLLERR | POLLNVAL)))
                    vanished_ = true;
                continue;
            }
            vanished_ = true;
        }
    }
    return SerialStatus::Ok;
}

std::string DeviceErrorText(int error) {
    switch (error) {
    case ENOENT:
        return "Datei oder Verzeichnis nicht gefunden";
    case EBUSY:
    case EWOULDBLOCK:
        return "Das Gerät oder die Ressource ist belegt";
    case EACCES:
    case EPERM:
        return "Keine Berechtigung";
    case ENXIO:
        return "Kein solches Gerät oder keine solche Adresse";
    case ENODEV:
        return "Kein passendes Gerät gefunden";
    case ENOTTY:
        return "Das Gerät ist keine serielle Schnittstelle";
    case EIO:
        return "Eingabe-/Ausgabefehler";
    default:
        break;
    }
    // Rarer errors: German where the system has the translation.
    if (const locale_t german = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(0))) {
        std::string text = strerror_l(error, german);
        freelocale(german);
        return text;
    }
    char buffer[256];
    return ErrorTextFrom(strerror_r(error, buffer, sizeof buffer), buffer);
}

void ReleaseSerialDeviceForExit() {
    const int fd = exclusiveFd;
    if (fd >= 0)
        ioctl(fd, TIOCNXCL);
}

void ReleaseSerialDeviceOnTerminationSignals() {
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction previous {};
        if (sigaction(signalNumber, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN)
            continue;
        struct sigaction release {};
        release.sa_handler = ReleaseThenEnd;
        sigemptyset(&release.sa_mask);
        release.sa_flags = SA_RESETHAND;
        sigaction(signalNumber, &release, nullptr);
    }
}

void SetSerialWriteCall(SerialWriteCall call) {
    writeCall = call;
}

LineRestoreResult LastLineRestore() {
    return lastRestore;
}

void SetSerialRestoreCall(SerialRestoreCall call) {
    restoreCall = call;
}
