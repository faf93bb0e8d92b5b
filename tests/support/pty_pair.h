// A pseudo-terminal pair for the serial tests: the program under test opens
// the slave by its path, the test plays the far side on the master.
#pragma once

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

class PtyPair {
public:
    PtyPair() {
        char name[128] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            master_ = slave_ = -1;
            return;
        }
        slavePath_ = name;
        // The far side must see bytes exactly as written, both ways.
        termios raw{};
        tcgetattr(master_, &raw);
        cfmakeraw(&raw);
        tcsetattr(master_, TCSANOW, &raw);
    }
    ~PtyPair() {
        closeMaster();
        if (slave_ >= 0)
            ::close(slave_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool ok() const { return master_ >= 0; }
    int master() const { return master_; }
    // The test's own descriptor on the slave, for tcgetattr and ioctl probes.
    int slave() const { return slave_; }
    const std::string& slavePath() const { return slavePath_; }

    bool sendFromFarSide(const std::string& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Waits until at least `count` bytes the far side sent are waiting to be
    // read on the slave (the pseudo-terminal hands them over a moment after
    // the write), at most `waitMs`.
    bool waitUntilPending(std::size_t count, int waitMs = 5000) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        for (;;) {
            int pending = 0;
            if (::ioctl(slave_, FIONREAD, &pending) == 0 &&
                static_cast<std::size_t>(pending) >= count)
                return true;
            if (std::chrono::steady_clock::now() >= end)
                return false;
            pollfd readable{slave_, POLLIN, 0};
            ::poll(&readable, 1, 5);
        }
    }

    // What the far side receives: up to `count` bytes, waiting at most
    // `waitMs` for them all.
    std::string receiveOnFarSide(std::size_t count, int waitMs = 1000) const {
        std::string bytes;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        while (bytes.size() < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd watch{master_, POLLIN, 0};
            if (poll(&watch, 1, static_cast<int>(left.count())) <= 0)
                continue;
            char buffer[256];
            const ssize_t n =
                ::read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (n <= 0)
                break;
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
        return bytes;
    }

    void closeMaster() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};
