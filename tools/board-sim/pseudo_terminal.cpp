#include "tools/board-sim/pseudo_terminal.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

} // namespace

PseudoTerminal::PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0)
        Fail("Pseudo-Terminal kann nicht geöffnet werden");
    char name[PATH_MAX];
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
        const int error = errno;
        close(master_);
        errno = error;
        Fail("Pseudo-Terminal kann nicht freigegeben werden");
    }
    devicePath_ = name;

    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        const int error = errno;
        close(master_);
        errno = error;
        Fail("Gerät " + devicePath_ + " kann nicht geöffnet werden");
    }
    // Raw from the start, so that nothing the simulator sends before the
    // program sets its own mode is echoed back or translated.
    termios settings{};
    if (tcgetattr(slave_, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(slave_, TCSANOW, &settings);
    }
}

PseudoTerminal::~PseudoTerminal() {
    close(slave_);
    close(master_);
}

DeviceLink::DeviceLink(std::string linkPath, std::string target)
    : linkPath_(std::move(linkPath)), target_(std::move(target)) {
    struct stat existing {};
    if (lstat(linkPath_.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        throw std::runtime_error(linkPath_ +
                                 " ist keine symbolische Verknüpfung und wird nicht ersetzt");
    }
    // Made beside it and renamed over it, so that the path never dangles
    // for a program that looks at the wrong moment.
    const std::string temporary = linkPath_ + ".tmp" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target_.c_str(), temporary.c_str()) != 0)
        Fail("Verknüpfung " + linkPath_ + " kann nicht angelegt werden");
    if (rename(temporary.c_str(), linkPath_.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        errno = error;
        Fail("Verknüpfung " + linkPath_ + " kann nicht angelegt werden");
    }
}

DeviceLink::~DeviceLink() {
    char pointsTo[PATH_MAX];
    const ssize_t length = readlink(linkPath_.c_str(), pointsTo, sizeof pointsTo);
    if (length >= 0 && std::string(pointsTo, static_cast<std::size_t>(length)) == target_)
        unlink(linkPath_.c_str());
}
