#include "platform/files.h"

#include "platform/user_error.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kCannotOpen[] = "Datei %s kann nicht geöffnet werden";
const char kTooLarge[] = "Datei %s ist zu groß für den Arbeitsspeicher";
const char kCannotCreate[] = "Datei %s kann nicht erstellt werden";
const char kWriteFailed[] = "Stream-Write-Fehler";

// The system would take a name only up to a NUL byte: another file.
void RefuseNulInName(const std::string& path) {
    const std::size_t nul = path.find('\0');
    if (nul != std::string::npos)
        throw UserError::withDetail(kCannotCreate, path.substr(0, nul));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }

    int get() const { return fd_; }
    // Closes now; false when the system reports that data may not have been
    // stored (a deferred write error shows here on some file systems).
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// Reads until end of file; false on a read error.
bool ReadAppending(int fd, std::string& text, std::size_t used) {
    constexpr std::size_t kMinimumChunk = 64 * 1024;
    for (;;) {
        if (text.size() - used < kMinimumChunk)
            text.resize(used + std::max(kMinimumChunk, used / 2));
        const ssize_t got = ::read(fd, text.data() + used, text.size() - used);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0) {
            text.resize(used);
            return true;
        }
        used += static_cast<std::size_t>(got);
    }
}

} // namespace

std::string ReadRecordingFile(const std::string& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        throw UserError::withDetail(kCannotOpen, path);
    if (::flock(file.get(), LOCK_SH | LOCK_NB) != 0)
        throw UserError::withDetail(kCannotOpen, path);
    struct stat status {};
    if (::fstat(file.get(), &status) != 0 || S_ISDIR(status.st_mode))
        throw UserError::withDetail(kCannotOpen, path);

    std::string text;
    try {
        // The size is a first guess only: files in /proc report 0, and a
        // file may still grow while it is read.
        std::size_t expected = 0;
        if (S_ISREG(status.st_mode) && status.st_size > 0) {
            if (static_cast<unsigned long long>(status.st_size) >= text.max_size())
                throw UserError::withDetail(kTooLarge, path);
            expected = static_cast<std::size_t>(status.st_size);
        }
        // Room beyond the file's size costs address space only until used.
        // The line-break rules widen a text by a few per cent at most in
        // practice; with room for that they work in place instead of taking
        // a second buffer of the recording's size.
        text.reserve(expected + expected / 32 + 4096);
        // One byte more than expected, so that the end of the file shows
        // without growing the buffer.
        text.resize(expected + 1);
        std::size_t used = 0;
        while (used < text.size()) {
            const ssize_t got = ::read(file.get(), text.data() + used, text.size() - used);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                throw UserError::withDetail(kCannotOpen, path);
            if (got == 0)
                break;
            used += static_cast<std::size_t>(got);
        }
        if (used < text.size())
            text.resize(used);
        else if (!ReadAppending(file.get(), text, used))
            throw UserError::withDetail(kCannotOpen, path);
    } catch (const std::bad_alloc&) {
        throw UserError::withDetail(kTooLarge, path);
    } catch (const std::length_error&) {
        throw UserError::withDetail(kTooLarge, path);
    }
    return text;
}

namespace {

// Writes all bytes; false when the file took fewer.
bool WriteAll(int fd, std::string_view bytes) {
    const char* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

void WriteFileReplacing(const std::string& path, std::string_view bytes) {
    RefuseNulInName(path);
    // A picture past the user's file-size limit must end in the message
    // below, not in SIGXFSZ killing the program with its unsaved state.
    static const bool fileSizeSignalIgnored = (IgnoreFileSizeSignal(), true);
    (void)fileSizeSignalIgnored;
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (file.get() < 0)
        throw UserError::withDetail(kCannotCreate, path);
    const char* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(file.get(), next, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            file.close();
            throw UserError(kWriteFailed);
        }
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    if (!file.close())
        throw UserError(kWriteFailed);
}

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    RefuseNulInName(path);
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty())
        throw UserError::withDetail(kCannotCreate, path);

    // A dot in front keeps the part file out of "*.jpg" listings; the process
    // id and a counter keep two writers apart. O_EXCL never reuses a file.
    static unsigned counter = 0;
    std::string partName;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        partName = folder + "." + base + "." + std::to_string(::getpid()) + "." +
                   std::to_string(++counter) + ".part";
        fd = ::open(partName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        throw UserError::withDetail(kCannotCreate, path);
    FileDescriptor file(fd);

    const bool written = WriteAll(file.get(), bytes) && ::fdatasync(file.get()) == 0;
    if (!file.close() || !written) {
        ::unlink(partName.c_str());
        throw UserError(kWriteFailed);
    }
    if (::rename(partName.c_str(), path.c_str()) != 0) {
        ::unlink(partName.c_str());
        throw UserError::withDetail(kCannotCreate, path);
    }
}

void IgnoreFileSizeSignal() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGXFSZ, &action, nullptr);
}
