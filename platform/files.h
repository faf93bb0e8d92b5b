// Reading recordings and writing picture files, with the program's failure
// messages. Every failure is a UserError naming the file.
#pragma once

#include "platform/user_error.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// A write that the file took only in part (a full disk, a file-size limit,
// a failing device). Its what() is the program's fixed message,
// "Stream-Write-Fehler"; beside it are the file meant and the system's
// cause, for a front end that words the failure itself (the station's log).
class WriteError : public UserError {
public:
    WriteError(std::string path, int errorNumber);

    const std::string& path() const { return path_; }
    int errorNumber() const { return errorNumber_; }
    // "Datei <path> kann nicht geschrieben werden: <the cause in German>".
    std::string describe() const;

private:
    std::string path_;
    int errorNumber_;
};

// A failure as a log line says it: a WriteError with its file and cause,
// any other UserError with its message.
std::string DescribeFailure(const UserError& error);

// A recording's text: the file's bytes up to its first NUL byte (the text
// ends there, so nothing after it is read), read in large blocks into memory
// that is never zero-filled first and grows without copying.
class RecordingText {
public:
    RecordingText() = default;
    RecordingText(RecordingText&& other) noexcept;
    RecordingText& operator=(RecordingText&& other) noexcept;
    RecordingText(const RecordingText&) = delete;
    RecordingText& operator=(const RecordingText&) = delete;
    ~RecordingText();

    std::string_view view() const { return {data_, size_}; }
    // The text as a string: "Datei %s ist zu groß für den Arbeitsspeicher"
    // when there is no memory for the copy.
    std::string copy() const;
    char* data() { return data_; }
    std::size_t size() const { return size_; }

    // Makes the text size bytes long, keeping what it holds; added bytes are
    // unset. "Datei %s ist zu groß für den Arbeitsspeicher" beyond
    // RecordingMemoryBound() or when the system refuses the memory.
    void resize(std::size_t size);

private:
    friend RecordingText ReadRecording(const std::string& path);
    explicit RecordingText(std::string path) : path_(std::move(path)) {}
    void reserve(std::size_t capacity);
    void release() noexcept;

    std::string path_;
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// Reads the file up to its first NUL byte. Other programs may go on reading
// it; a program holding it for writing (an exclusive flock) makes the read
// fail, as do a missing file, a directory or missing permission: "Datei %s
// kann nicht geöffnet werden". A FIFO, pipe or device never blocks the open;
// one that no program writes to reads as empty. A text longer than
// RecordingMemoryBound(), however it arrives (an endless pipe included):
// "Datei %s ist zu groß für den Arbeitsspeicher". A file that another program
// shortens while it is read: "Datei %s wurde während des Lesens gekürzt".
RecordingText ReadRecording(const std::string& path);

// The same, as a string.
std::string ReadRecordingFile(const std::string& path);

// The same text handed out block by block through one buffer used for every
// block, so that a recording of any length costs the same memory. The same
// rules and messages as ReadRecording: the constructor's when opening, next()'s
// while reading.
class RecordingReader {
public:
    explicit RecordingReader(const std::string& path);
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;
    ~RecordingReader();

    // Whether path names the file being read, under whatever name (another
    // spelling, a hard link).
    bool isFileAt(const std::string& path) const;
    // The file's size when it was opened; 0 where there is none (a pipe).
    std::size_t expectedSize() const { return expectedSize_; }
    // The next block, valid until the next call; empty at the end of the text.
    std::string_view next();
    // A text of textLength characters made from the recording (its line
    // breaks widened, say) is held to the same bound: "Datei %s ist zu groß
    // für den Arbeitsspeicher" beyond it.
    void checkMemoryBound(std::size_t textLength) const;

private:
    std::string path_;
    int fd_ = -1;
    unsigned long long device_ = 0;
    unsigned long long inode_ = 0;
    bool regular_ = false;
    std::size_t expectedSize_ = 0;
    std::size_t bound_ = 0;
    std::size_t read_ = 0;
    bool ended_ = false;
    std::vector<char> block_;
};

// The longest recording text taken into memory: a quarter of the physical
// memory or of the process's own memory limits (RLIMIT_RSS, RLIMIT_DATA,
// RLIMIT_AS), whichever is least, leaving room for the widened text and the
// picture decoded from it.
std::size_t RecordingMemoryBound();

// Creates the file or empties an existing one (mode 0666 less the umask) and
// writes the bytes. "Datei %s kann nicht erstellt werden" when it cannot be
// created (an empty name included, and a FIFO no program reads from, which
// would otherwise block); a WriteError ("Stream-Write-Fehler") when fewer
// bytes could be written, after closing the file with what was written.
void WriteFileReplacing(const std::string& path, std::string_view bytes);

// Like WriteFileReplacing, but the bytes go to a hidden temporary file in the
// same folder first, which is flushed to the disk and then renamed: under
// `path` there is either the old file or the whole new one, never a part,
// whatever stops the program or the machine. The temporary file is removed
// on failure. Same messages as WriteFileReplacing.
void WriteFileAtomically(const std::string& path, std::string_view bytes);

// How a new file is published without replacing another. Best is a rename
// that refuses to replace (renameat2 with RENAME_NOREPLACE); where the file
// system refuses that, a hard link and an unlink; where that fails too, the
// name is first reserved with an empty file (O_CREAT | O_EXCL) and the file
// moved over it. Tests pick a fallback directly.
enum class PublishMethod { Best, LinkThenUnlink, ReserveThenRename };

// How many names WriteNewFile tries before it gives up.
constexpr int kMostNameNumbers = 10000;

// Like WriteFileAtomically, but never replaces a file: the bytes go under
// nameFor(1), or where that name is taken (also by a file that appeared while
// they were written) under nameFor(2), nameFor(3), ... All names lie in the
// folder of nameFor(1). Returns the name the file got. Same messages, naming
// nameFor(1).
std::string WriteNewFile(const std::function<std::string(int)>& nameFor, std::string_view bytes,
                         PublishMethod method = PublishMethod::Best);

// The same for files that belong together under one number (a picture and
// the text it was decoded from): contents[i] goes under namesFor(n)[i], with
// one n for all, the first for which every name is free. They are published
// in order; when a later name is taken, the ones published under that n are
// taken back and the next n is tried, so that no file is ever replaced and
// none is left without the others. Returns the names the files got. Same
// messages, naming namesFor(1)'s first name.
std::vector<std::string> WriteNewFiles(const std::function<std::vector<std::string>(int)>& namesFor,
                                       const std::vector<std::string_view>& contents,
                                       PublishMethod method = PublishMethod::Best);

// The path a file really lies under, from the root: its folder through
// realpath() (links and ".." as the system follows them), then its name. A
// folder that cannot be resolved leaves the path as the system would read
// it from the working folder, ".." and all: never a path to another file.
std::string ResolvedPath(const std::string& path);

// Exceeding the file-size limit then makes write() fail with EFBIG instead of
// killing the process. WriteFileReplacing does this before its first write;
// a program writing files by other means calls it first.
void IgnoreFileSizeSignal();
