#include "platform/files.h"

#include "platform/system_error_text.h"
#include "platform/user_error.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio> // renameat2
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

const char kCannotOpen[] = "Datei %s kann nicht geöffnet werden";
const char kTooLarge[] = "Datei %s ist zu groß für den Arbeitsspeicher";
const char kShrank[] = "Datei %s wurde während des Lesens gekürzt";
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
    // Hands the descriptor to the caller, who closes it.
    int release() { return std::exchange(fd_, -1); }
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

std::size_t PageRounded(std::size_t size) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return (size + page - 1) / page * page;
}

// Clears O_NONBLOCK once the open can no longer hang: reads from a pipe then
// wait for its writer like any other program's would, and end when it closes.
bool MakeBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

// Fresh pages cost a fault each, which on virtual machines is dear; huge
// pages take 512 of them at a time. Only advice: refused, nothing changes.
void AdviseHugePages(void* memory, std::size_t length) {
    ::madvise(memory, length, MADV_HUGEPAGE);
}

} // namespace

WriteError::WriteError(std::string path, int errorNumber)
    : UserError(kWriteFailed), path_(std::move(path)), errorNumber_(errorNumber) {}

std::string WriteError::describe() const {
    return "Datei " + path_ + " kann nicht geschrieben werden: " + SystemErrorText(errorNumber_);
}

std::string DescribeFailure(const UserError& error) {
    if (const auto* write = dynamic_cast<const WriteError*>(&error))
        return write->describe();
    return error.what();
}

std::size_t RecordingMemoryBound() {
    unsigned long long memory = static_cast<unsigned long long>(::sysconf(_SC_PHYS_PAGES)) *
                                static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE));
    for (const int resource : {RLIMIT_RSS, RLIMIT_DATA, RLIMIT_AS}) {
        rlimit limit{};
        if (::getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
            memory = std::min<unsigned long long>(memory, limit.rlim_cur);
    }
    return static_cast<std::size_t>(
        std::min<unsigned long long>(memory / 4, std::numeric_limits<std::size_t>::max() / 2));
}

RecordingText::RecordingText(RecordingText&& other) noexcept
    : path_(std::move(other.path_)), data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)), capacity_(std::exchange(other.capacity_, 0)) {}

RecordingText& RecordingText::operator=(RecordingText&& other) noexcept {
    if (this != &other) {
        RecordingText gone(std::move(*this));
        path_ = std::move(other.path_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

RecordingText::~RecordingText() {
    release();
}

void RecordingText::release() noexcept {
    if (data_)
        ::munmap(data_, capacity_);
    data_ = nullptr;
    size_ = capacity_ = 0;
}

// Anonymous mappings: the system hands out pages as they are first written,
// and growing moves page tables rather than bytes.
void RecordingText::reserve(std::size_t capacity) {
    capacity = PageRounded(capacity);
    if (capacity <= capacity_)
        return;
    void* memory = data_ ? ::mremap(data_, capacity_, capacity, MREMAP_MAYMOVE)
                         : ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE,
                                  MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        throw UserError::withDetail(kTooLarge, path_);
    AdviseHugePages(memory, capacity);
    data_ = static_cast<char*>(memory);
    capacity_ = capacity;
}

void RecordingText::resize(std::size_t size) {
    if (size > RecordingMemoryBound())
        throw UserError::withDetail(kTooLarge, path_);
    reserve(size);
    size_ = size;
}

namespace {

// Opens a recording for reading as ReadRecording says and gives its status.
int OpenRecording(const std::string& path, struct stat& status) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.get() < 0)
        throw UserError::withDetail(kCannotOpen, path);
    if (::flock(file.get(), LOCK_SH | LOCK_NB) != 0)
        throw UserError::withDetail(kCannotOpen, path);
    if (::fstat(file.get(), &status) != 0 || S_ISDIR(status.st_mode) || !MakeBlocking(file.get()))
        throw UserError::withDetail(kCannotOpen, path);
    return file.release();
}

// Ending short of the size it had at the start, the file was cut while it
// was read: what came is not the recording as it was.
void RefuseIfCut(int fd, const std::string& path, bool regular, std::size_t read,
                 unsigned long long expected) {
    struct stat status {};
    if (regular && read < expected && ::fstat(fd, &status) == 0 &&
        static_cast<unsigned long long>(status.st_size) < expected)
        throw UserError::withDetail(kShrank, path);
}

} // namespace

RecordingText ReadRecording(const std::string& path) {
    struct stat status {};
    FileDescriptor file(OpenRecording(path, status));

    // The size is a first guess only: files in /proc report 0, pipes have
    // none, and a file may still grow while it is read.
    const std::size_t bound = RecordingMemoryBound();
    const bool regular = S_ISREG(status.st_mode);
    const unsigned long long expected =
        regular ? static_cast<unsigned long long>(status.st_size) : 0;
    // Reading in pieces lets the NUL rule stop early, at little cost per call.
    constexpr std::size_t kPiece = std::size_t{8} << 20;

    RecordingText text(path);
    text.reserve(std::min<unsigned long long>(expected, bound) + 1);
    std::size_t used = 0;
    for (;;) {
        if (used > bound)
            throw UserError::withDetail(kTooLarge, path);
        if (used == text.capacity_)
            text.reserve(std::min(bound + 1, used + std::max(used / 2, kPiece)));
        const std::size_t piece = std::min(kPiece, text.capacity_ - used);
        const ssize_t got = ::read(file.get(), text.data_ + used, piece);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw UserError::withDetail(kCannotOpen, path);
        if (got == 0)
            break;
        if (const void* nul = std::memchr(text.data_ + used, '\0', static_cast<std::size_t>(got))) {
            used = static_cast<std::size_t>(static_cast<const char*>(nul) - text.data_);
            // A file cut while it is read may hand out zeros where its end
            // was going: a NUL then is the cut, not the recording's.
            RefuseIfCut(file.get(), path, regular, used, expected);
            text.size_ = used;
            return text;
        }
        used += static_cast<std::size_t>(got);
    }
    RefuseIfCut(file.get(), path, regular, used, expected);
    text.size_ = used;
    return text;
}

RecordingReader::RecordingReader(const std::string& path) : path_(path) {
    struct stat status {};
    fd_ = OpenRecording(path, status);
    device_ = static_cast<unsigned long long>(status.st_dev);
    inode_ = static_cast<unsigned long long>(status.st_ino);
    regular_ = S_ISREG(status.st_mode);
    expectedSize_ = regular_ ? static_cast<std::size_t>(status.st_size) : 0;
    bound_ = RecordingMemoryBound();
}

RecordingReader::~RecordingReader() {
    ::close(fd_);
}

bool RecordingReader::isFileAt(const std::string& path) const {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 &&
           static_cast<unsigned long long>(status.st_dev) == device_ &&
           static_cast<unsigned long long>(status.st_ino) == inode_;
}

std::string_view RecordingReader::next() {
    // Small enough to stay in the processor's cache while it is worked on,
    // large enough that the calls cost little.
    constexpr std::size_t kBlock = std::size_t{256} << 10;
    if (ended_)
        return {};
    if (block_.empty())
        block_.resize(kBlock);
    for (;;) {
        const ssize_t got = ::read(fd_, block_.data(), block_.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw UserError::withDetail(kCannotOpen, path_);
        if (got == 0) {
            ended_ = true;
            RefuseIfCut(fd_, path_, regular_, read_, expectedSize_);
            return {};
        }
        std::size_t length = static_cast<std::size_t>(got);
        if (const void* nul = std::memchr(block_.data(), '\0', length)) {
            length = static_cast<std::size_t>(static_cast<const char*>(nul) - block_.data());
            ended_ = true;
            RefuseIfCut(fd_, path_, regular_, read_ + length, expectedSize_);
        }
        read_ += length;
        checkMemoryBound(read_);
        return {block_.data(), length};
    }
}

void RecordingReader::checkMemoryBound(std::size_t textLength) const {
    if (textLength > bound_)
        throw UserError::withDetail(kTooLarge, path_);
}

namespace {

// Writes all bytes; false when the file took fewer, with errno telling why
// (a write that takes nothing without a cause is counted as a full disk).
bool WriteAll(int fd, std::string_view bytes) {
    const char* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0)
            errno = ENOSPC;
        if (written <= 0)
            return false;
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

std::string RecordingText::copy() const {
    try {
        return std::string(view());
    } catch (const std::bad_alloc&) {
        throw UserError::withDetail(kTooLarge, path_);
    }
}

std::string ReadRecordingFile(const std::string& path) {
    return ReadRecording(path).copy();
}

void WriteFileReplacing(const std::string& path, std::string_view bytes) {
    RefuseNulInName(path);
    // A picture past the user's file-size limit must end in the message
    // below, not in SIGXFSZ killing the program with its unsaved state.
    static const bool fileSizeSignalIgnored = (IgnoreFileSizeSignal(), true);
    (void)fileSizeSignalIgnored;
    // Without a reader a FIFO's open would wait for one; O_NONBLOCK makes it
    // fail at once instead.
    FileDescriptor file(::open(
        path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
    if (file.get() < 0 || !MakeBlocking(file.get()))
        throw UserError::withDetail(kCannotCreate, path);
    if (!WriteAll(file.get(), bytes)) {
        const int cause = errno;
        file.close(); // with what was written
        throw WriteError(path, cause);
    }
    if (!file.close())
        throw WriteError(path, errno);
}

namespace {

// The bytes in a hidden file beside `path`, flushed to the disk; returns its
// name. A dot in front keeps the part file out of "*.jpg" listings; the
// process id and a counter keep two writers apart, and O_EXCL never reuses a
// file. The part file is removed on failure.
std::string WritePartFile(const std::string& path, std::string_view bytes) {
    RefuseNulInName(path);
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty())
        throw UserError::withDetail(kCannotCreate, path);

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

    bool written = WriteAll(file.get(), bytes) && ::fdatasync(file.get()) == 0;
    int cause = written ? 0 : errno;
    if (!file.close() && written) {
        written = false;
        cause = errno;
    }
    if (!written) {
        ::unlink(partName.c_str());
        throw WriteError(path, cause);
    }
    return partName;
}

bool Unsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP ||
           error == EPERM;
}

// Gives the part file the name unless a file holds it already. 0 when
// published, EEXIST when the name is taken, another errno when it failed.
// Each method falls back to the next where the file system refuses it.
int PublishWithoutReplacing(const std::string& part, const std::string& name,
                            PublishMethod method) {
    if (method == PublishMethod::Best) {
        if (::renameat2(AT_FDCWD, part.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0)
            return 0;
        if (!Unsupported(errno))
            return errno;
    }
    if (method != PublishMethod::ReserveThenRename) {
        if (::link(part.c_str(), name.c_str()) == 0) {
            ::unlink(part.c_str());
            return 0;
        }
        if (!Unsupported(errno))
            return errno;
    }
    // No atomic way: take the name with an empty file first, so that nobody
    // else can, then move the picture over our own reservation.
    const int reserved = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (reserved < 0)
        return errno;
    ::close(reserved);
    if (::rename(part.c_str(), name.c_str()) != 0) {
        const int error = errno;
        ::unlink(name.c_str());
        return error;
    }
    return 0;
}

} // namespace

void WriteFileAtomically(const std::string& path, std::string_view bytes) {
    const std::string partName = WritePartFile(path, bytes);
    if (::rename(partName.c_str(), path.c_str()) != 0) {
        ::unlink(partName.c_str());
        throw UserError::withDetail(kCannotCreate, path);
    }
}

std::vector<std::string> WriteNewFiles(const std::function<std::vector<std::string>(int)>& namesFor,
                                       const std::vector<std::string_view>& contents,
                                       PublishMethod method) {
    std::vector<std::string> names = namesFor(1);
    if (names.size() != contents.size() || names.empty())
        throw UserError::withDetail(kCannotCreate, names.empty() ? std::string() : names[0]);
    const std::string first = names[0];
    std::vector<std::string> parts;
    auto removeParts = [&] {
        for (const std::string& part : parts)
            ::unlink(part.c_str());
    };
    try {
        for (std::size_t i = 0; i < contents.size(); ++i)
            parts.push_back(WritePartFile(names[i], contents[i]));
    } catch (...) {
        removeParts();
        throw;
    }
    for (int number = 1; number <= kMostNameNumbers; ++number) {
        if (number > 1)
            names = namesFor(number);
        if (names.size() != parts.size())
            break;
        std::size_t published = 0;
        int result = 0;
        for (; published < parts.size(); ++published) {
            if (names[published].find('\0') != std::string::npos) {
                result = EINVAL;
                break;
            }
            result = PublishWithoutReplacing(parts[published], names[published], method);
            if (result != 0)
                break;
        }
        if (published == parts.size())
            return names;
        // Taken back to their part names, ready for the next number. One
        // that cannot be taken back stays where it is, alone but whole.
        bool takenBack = true;
        for (std::size_t i = 0; i < published; ++i)
            takenBack = ::rename(names[i].c_str(), parts[i].c_str()) == 0 && takenBack;
        if (result != EEXIST || !takenBack)
            break;
    }
    removeParts();
    throw UserError::withDetail(kCannotCreate, first);
}

std::string WriteNewFile(const std::function<std::string(int)>& nameFor, std::string_view bytes,
                         PublishMethod method) {
    return WriteNewFiles([&](int number) { return std::vector<std::string>{nameFor(number)}; },
                         {bytes}, method)
        .front();
}

std::string ResolvedPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (char* resolved = ::realpath(folder.c_str(), nullptr)) {
        std::string real = resolved;
        std::free(resolved);
        if (real.back() != '/')
            real += '/';
        return real + name;
    }
    if (!path.empty() && path.front() == '/')
        return path;
    char* here = ::getcwd(nullptr, 0);
    if (!here)
        return path;
    std::string absolute = here;
    std::free(here);
    return absolute + "/" + path;
}

void IgnoreFileSizeSignal() {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGXFSZ, &action, nullptr);
}
